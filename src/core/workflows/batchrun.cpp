#include "core/workflows/batchrun.h"

#include "core/base/numberformat.h"
#include "core/base/numerictext.h"
#include "core/base/safefilename.h"
#include "core/entry/checks.h"
#include "core/tables/isotopename.h"
#include "core/tables/labelledtable.h"

namespace fenlowick {

namespace {

Error fileError(std::string message) {
    return Error{Error::Kind::FileRead, std::move(message)};
}

std::string figureCell(const std::optional<double>& figure) {
    return figure ? formatDouble(*figure) : std::string();
}

} // namespace

Expected<BatchPlan> planBatch(const Entry& entry, const CsvTable& mixtures) {
    int isotopes = 0;
    for (int k = 0; k < kIsotopeColumns; ++k) {
        for (int i = 0; i < kSourceRows; ++i) {
            if (isNumeric(entry.col[k][i])) {
                isotopes = k + 1;
            }
        }
    }
    IsotopeColumns columns;
    columns.recognise = false;
    for (int k = 0; k < isotopes; ++k) {
        columns.known.push_back(isotopeKey(entry.isotope[k]));
    }
    Expected<LabelledTable> read =
        readLabelledTable(mixtures, {"mixture", "mixtures"}, true, columns);
    if (!read) {
        return read.error();
    }
    const LabelledTable& table = *read;
    BatchPlan plan;
    for (int k = 0; k < isotopes; ++k) {
        if (table.isotopeIndex(columns.known[static_cast<std::size_t>(k)]) < 0) {
            return fileError(mixtures.fileName() + ", line " +
                             std::to_string(mixtures.headerLine()) +
                             ": no column for the isotope " + entry.isotope[k] + " of the entry");
        }
    }
    if (table.labels.empty()) {
        return fileError(mixtures.fileName() + ": no mixture rows below the header");
    }
    if (!table.ignoredColumns.empty()) {
        std::string list;
        for (const std::string& column : table.ignoredColumns) {
            list += (list.empty() ? "" : ", ") + column;
        }
        plan.notes.push_back(mixtures.fileName() + ": columns ignored: " + list);
    }
    plan.notes.insert(plan.notes.end(), table.warnings.begin(), table.warnings.end());

    for (std::size_t r = 0; r < table.labels.size(); ++r) {
        BatchMixture mixture;
        mixture.label = table.labels[r];
        mixture.line = table.lines[r];
        mixture.fileName = safeFileName(mixture.label);
        for (int k = 0; k < isotopes; ++k) {
            const int index = table.isotopeIndex(columns.known[static_cast<std::size_t>(k)]);
            mixture.mixture[static_cast<std::size_t>(k)] =
                table.values[r][static_cast<std::size_t>(index)];
        }
        for (const BatchMixture& earlier : plan.mixtures) {
            if (foldCase(earlier.fileName) == foldCase(mixture.fileName)) {
                return fileError(mixtures.fileName() + ", line " + std::to_string(mixture.line) +
                                 ": the mixtures \"" + mixture.label + "\" and \"" + earlier.label +
                                 "\" (line " + std::to_string(earlier.line) +
                                 ") would both be written as " + mixture.fileName +
                                 ".tot; give them labels that differ in letters or digits");
            }
        }
        plan.mixtures.push_back(std::move(mixture));
    }
    return plan;
}

Entry batchEntry(const Entry& entry, const BatchMixture& mixture) {
    Entry result = entry;
    for (int k = 0; k < kIsotopeColumns; ++k) {
        result.mixture[k] = mixture.mixture[static_cast<std::size_t>(k)];
    }
    result.title =
        isMissingLabel(entry.title) ? mixture.label : entry.title + " - mixture " + mixture.label;
    return result;
}

BatchResult runBatch(const BatchRequest& request) {
    BatchResult result;
    for (std::size_t index = 0; index < request.mixtures.size(); ++index) {
        if (request.cancel != nullptr && request.cancel->load()) {
            result.cancelled = true;
            break;
        }
        BatchItem item;
        item.mixture = request.mixtures[index];
        RunRequest run;
        run.entry = batchEntry(request.entry, item.mixture);
        run.folder = request.folder;
        run.typedName = item.mixture.fileName;
        run.writeFeasibleFile = request.writeFeasibleFile;
        run.cancel = request.cancel;
        run.clock = request.clock;
        item.outcome = runCalculation(run);
        using RunStatus = RunOutcome::Status;
        switch (item.outcome.status) {
        case RunStatus::Cancelled:
            result.cancelled = true;
            return result;
        case RunStatus::Completed:
            item.totals = item.outcome.totals;
            break;
        case RunStatus::Refused:
            item.failure = "refused: " + item.outcome.message;
            break;
        case RunStatus::NoName:
            item.failure = "the result files have no name";
            break;
        case RunStatus::FileError:
            item.failure = item.outcome.message;
            break;
        }
        result.items.push_back(std::move(item));
        if (request.finished) {
            request.finished(index, result.items.back());
        }
    }
    return result;
}

std::string composeBatchSummary(const std::vector<BatchItem>& items) {
    std::string text = "mixture,source,feasible_count,mean,minimum,p1,p50,p99,maximum,sd\n";
    for (const BatchItem& item : items) {
        if (item.failed() || !item.totals) {
            continue;
        }
        const RunTotals& totals = *item.totals;
        for (std::size_t s = 0; s < totals.sources.size(); ++s) {
            const SourceFigures& f = totals.figures[s];
            text += csvField(item.mixture.label) + "," + csvField(totals.sources[s]) + "," +
                    formatCount(totals.observations) + "," + figureCell(f.mean) + "," +
                    figureCell(f.minimum) + "," + figureCell(f.p1) + "," + figureCell(f.p50) + "," +
                    figureCell(f.p99) + "," + figureCell(f.maximum) + "," + figureCell(f.stdDev) +
                    "\n";
        }
    }
    return text;
}

} // namespace fenlowick
