#include "core/tables/spreadsheetimport.h"

#include "core/base/exactdecimal.h"
#include "core/base/numerictext.h"
#include "core/base/textencoding.h"
#include "core/entry/checks.h"
#include "core/entry/messages.h"
#include "core/tables/isotopename.h"
#include "core/tables/labelledtable.h"

#include <algorithm>
#include <filesystem>

namespace fenlowick {

namespace {

/// The longest text a signature or mixture box of the window takes.
constexpr std::size_t kBoxCharacters = 8;

const std::vector<std::string> kSourceNames = {"source", "sources"};
const std::vector<std::string> kMixtureNames = {"mixture", "mixtures"};

Error fileError(std::string message) {
    return Error{Error::Kind::FileRead, std::move(message)};
}

Error refusal(std::string message) {
    return Error{Error::Kind::Refused, std::move(message)};
}

std::string ordinal(int n) {
    const int lastTwo = n % 100;
    const char* suffix = "th";
    if (lastTwo < 11 || lastTwo > 13) {
        suffix = n % 10 == 1 ? "st" : n % 10 == 2 ? "nd" : n % 10 == 3 ? "rd" : "th";
    }
    return std::to_string(n) + suffix;
}

std::string baseName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

/// Ignored columns and changed labels of a table, as notes.
void addNotes(const LabelledTable& table, std::vector<std::string>& notes) {
    if (!table.ignoredColumns.empty()) {
        std::string list;
        for (const std::string& column : table.ignoredColumns) {
            list += (list.empty() ? "" : ", ") + column;
        }
        notes.push_back(table.fileName + ": columns ignored: " + list);
    }
    notes.insert(notes.end(), table.warnings.begin(), table.warnings.end());
}

/// Refuses a table whose isotopes differ from the sources' isotopes.
Status sameIsotopes(const CsvTable& csv, const LabelledTable& table, const CsvTable& sourcesCsv,
                    const LabelledTable& sources) {
    for (std::size_t k = 0; k < sources.isotopeKeys.size(); ++k) {
        if (table.isotopeIndex(sources.isotopeKeys[k]) < 0) {
            return fileError(csv.fileName() + ", line " + std::to_string(csv.headerLine()) +
                             ": no column for the isotope " + sources.isotopes[k] + " (" +
                             sourcesCsv.whereHeader(sources.isotopeColumns[k]) + ")");
        }
    }
    for (std::size_t k = 0; k < table.isotopeKeys.size(); ++k) {
        if (sources.isotopeIndex(table.isotopeKeys[k]) < 0) {
            return fileError(csv.whereHeader(table.isotopeColumns[k]) + ": " +
                             sourcesCsv.fileName() + " has no column for this isotope");
        }
    }
    return ok();
}

/// Why an entry has more than 6 decimal places, naming the text that counts most.
std::string decimalPlacesReason(const Entry& entry, int sources, int isotopes,
                                const std::vector<std::vector<std::string>>& originals,
                                const std::vector<std::vector<std::string>>& corrections) {
    const int incrementDecimals = numberOfDecimals(entry.increment);
    int best = -1;
    int bestRow = 0;
    int bestColumn = 0;
    for (int i = 0; i < sources; ++i) {
        for (int k = 0; k < isotopes; ++k) {
            const int decimals = numberOfDecimals(entry.col[k][i]);
            if (decimals > best) {
                best = decimals;
                bestRow = i;
                bestColumn = k;
            }
        }
    }
    if (incrementDecimals + best > 6) {
        std::string reason = "The increment " + entry.increment + " has " +
                             std::to_string(incrementDecimals) + " decimal places and the " +
                             "signature " + entry.col[bestColumn][bestRow] + " of " +
                             entry.sources[bestRow] + " (" + entry.isotope[bestColumn] + ")";
        const std::string& correction = corrections[bestRow][bestColumn];
        if (!correction.empty()) {
            reason +=
                ", corrected from " + originals[bestRow][bestColumn] + " by " + correction + ",";
        }
        reason += " has " + std::to_string(best) +
                  ": together more than 6. Give the corrections or the signatures fewer "
                  "decimals, or use a whole-number increment.";
        return reason;
    }
    for (int k = 0; k < isotopes; ++k) {
        if (numberOfDecimals(entry.mixture[k]) > 6) {
            return "The mixture " + entry.mixture[k] + " (" + entry.isotope[k] +
                   ") has more than 6 decimal places.";
        }
    }
    return "The tolerance " + entry.threshold + " has more than 6 decimal places.";
}

} // namespace

Expected<std::vector<std::string>> parseCorrectionList(std::string_view text) {
    std::vector<std::string> values;
    const char divider = text.find(';') != std::string_view::npos ? ';' : ',';
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(divider, start);
        std::string item(trimBlanks(text.substr(start, end - start)));
        // Divided by semicolons, a list may use decimal commas: "1,63;3,54".
        if (divider == ';' && std::count(item.begin(), item.end(), ',') == 1 &&
            item.find('.') == std::string::npos) {
            item[item.find(',')] = '.';
        }
        if (!isNumeric(item)) {
            return refusal("the correction \"" + item + "\" in \"" + std::string(text) +
                           "\" is not a number (write them as 1.63,3.54)");
        }
        values.push_back(item);
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return values;
}

Expected<ImportResult> importEntries(const ImportRequest& request) {
    ImportResult result;
    const CsvTable& sourcesCsv = *request.sources;

    IsotopeColumns sourceColumns;
    sourceColumns.recognise = request.isotopeNames.empty();
    for (const std::string& name : request.isotopeNames) {
        sourceColumns.known.push_back(isotopeKey(name));
    }
    Expected<LabelledTable> read = readLabelledTable(sourcesCsv, kSourceNames, true, sourceColumns);
    if (!read) {
        return read.error();
    }
    const LabelledTable& sources = *read;
    for (const std::string& name : request.isotopeNames) {
        if (sources.isotopeIndex(isotopeKey(name)) < 0) {
            return fileError(sourcesCsv.fileName() + ", line " +
                             std::to_string(sourcesCsv.headerLine()) + ": no column named \"" +
                             name + "\", which --isotopes asks for");
        }
    }
    addNotes(sources, result.notes);
    if (sources.isotopes.size() > kIsotopeColumns) {
        return fileError(sourcesCsv.whereHeader(sources.isotopeColumns[kIsotopeColumns]) +
                         ": the " + ordinal(kIsotopeColumns + 1) +
                         " isotope; a run takes at most " + std::to_string(kIsotopeColumns) +
                         " isotopes");
    }
    if (sources.labels.size() > kSourceRows) {
        return fileError(sourcesCsv.where(kSourceRows, sources.labelColumn) + ": \"" +
                         sources.labels[kSourceRows] + "\" is the " + ordinal(kSourceRows + 1) +
                         " source; a run takes at most " + std::to_string(kSourceRows) +
                         " sources");
    }
    const int sourceCount = static_cast<int>(sources.labels.size());
    const int isotopeCount = static_cast<int>(sources.isotopes.size());

    // The other tables recognise their isotope columns the way the sources table did.
    IsotopeColumns otherColumns;
    otherColumns.known = sources.isotopeKeys;
    otherColumns.recognise = request.isotopeNames.empty();

    std::optional<LabelledTable> mixtures;
    if (request.mixtures != nullptr) {
        Expected<LabelledTable> mixtureTable =
            readLabelledTable(*request.mixtures, kMixtureNames, true, otherColumns);
        if (!mixtureTable) {
            return mixtureTable.error();
        }
        if (Status s = sameIsotopes(*request.mixtures, *mixtureTable, sourcesCsv, sources); !s) {
            return s.error();
        }
        if (mixtureTable->labels.empty()) {
            return fileError(request.mixtures->fileName() + ": no mixture rows below the header");
        }
        addNotes(*mixtureTable, result.notes);
        mixtures = std::move(*mixtureTable);
    }

    // corrections[i][k]: the correction of source i for isotope k; empty for none.
    std::vector<std::vector<std::string>> corrections(
        static_cast<std::size_t>(sourceCount),
        std::vector<std::string>(static_cast<std::size_t>(isotopeCount)));
    std::string correctionNote;
    const auto describeCommon = [&](const std::vector<std::string>& values,
                                    const std::vector<std::string>& labels) {
        std::string note;
        for (std::size_t k = 0; k < values.size(); ++k) {
            const std::string& value = values[k];
            note += (note.empty() ? "" : ", ") + labels[k] + " " +
                    (value.front() == '-' || value.front() == '+' ? value : "+" + value);
        }
        return "(TEF corrected: " + note + ")";
    };
    if (!request.correctionValues.empty()) {
        if (request.correctionValues.size() != sources.isotopes.size()) {
            std::string list;
            for (const std::string& isotope : sources.isotopes) {
                list += (list.empty() ? "" : ", ") + isotope;
            }
            return refusal("--tef gives " + std::to_string(request.correctionValues.size()) +
                           " corrections, but " + sourcesCsv.fileName() + " has " +
                           std::to_string(isotopeCount) + " isotopes (" + list +
                           "); give one per isotope in that order");
        }
        for (auto& row : corrections) {
            row = request.correctionValues;
        }
        correctionNote = describeCommon(request.correctionValues, sources.isotopes);
    } else if (request.corrections != nullptr) {
        const CsvTable& csv = *request.corrections;
        Expected<LabelledTable> table = readLabelledTable(csv, kSourceNames, false, otherColumns);
        if (!table) {
            return table.error();
        }
        if (Status s = sameIsotopes(csv, *table, sourcesCsv, sources); !s) {
            return s.error();
        }
        addNotes(*table, result.notes);
        if (!table->hasLabels) {
            if (table->labels.size() != 1) {
                return fileError(csv.fileName() + ": " + std::to_string(table->labels.size()) +
                                 " rows of corrections but no \"source\" column saying which " +
                                 "source each is for (one row applies to every source)");
            }
            // Corrections in the sources' isotope order.
            std::vector<std::string> values;
            for (const std::string& key : sources.isotopeKeys) {
                values.push_back(
                    table->values[0][static_cast<std::size_t>(table->isotopeIndex(key))]);
            }
            for (auto& row : corrections) {
                row = values;
            }
            correctionNote = describeCommon(values, sources.isotopes);
        } else {
            for (std::size_t r = 0; r < table->labels.size(); ++r) {
                const int i = sources.rowIndex(table->labels[r]);
                if (i < 0) {
                    return fileError(csv.where(static_cast<int>(r), table->labelColumn) + ": \"" +
                                     table->labels[r] + "\" is not a source of " +
                                     sourcesCsv.fileName());
                }
                for (int k = 0; k < isotopeCount; ++k) {
                    corrections[static_cast<std::size_t>(i)][static_cast<std::size_t>(k)] =
                        table->values[r][static_cast<std::size_t>(
                            table->isotopeIndex(sources.isotopeKeys[static_cast<std::size_t>(k)]))];
                }
            }
            for (int i = 0; i < sourceCount; ++i) {
                if (table->rowIndex(sources.labels[static_cast<std::size_t>(i)]) < 0) {
                    return fileError(csv.fileName() + ": no correction for the source \"" +
                                     sources.labels[static_cast<std::size_t>(i)] + "\" (" +
                                     sourcesCsv.fileName() + ", line " +
                                     std::to_string(sources.lines[static_cast<std::size_t>(i)]) +
                                     ")");
                }
            }
            correctionNote = "(TEF corrected per source: " + baseName(csv.fileName()) + ")";
        }
    }

    Entry base;
    base.increment = request.increment;
    base.threshold = request.tolerance;
    if (auto negative = negativeToleranceMessage(base)) {
        return refusal(*negative);
    }
    for (int k = 0; k < isotopeCount; ++k) {
        base.isotope[k] = sources.isotopes[static_cast<std::size_t>(k)];
    }
    for (int i = 0; i < sourceCount; ++i) {
        const auto row = static_cast<std::size_t>(i);
        base.sources[i] = sources.labels[row];
        for (int k = 0; k < isotopeCount; ++k) {
            const auto column = static_cast<std::size_t>(k);
            const std::string& value = sources.values[row][column];
            const std::string& correction = corrections[row][column];
            if (correction.empty()) {
                base.col[k][i] = value;
            } else {
                Expected<ExactDecimal> a = ExactDecimal::fromText(value);
                Expected<ExactDecimal> b = ExactDecimal::fromText(correction);
                Expected<ExactDecimal> sum =
                    a && b ? a->plus(*b) : Expected<ExactDecimal>(a ? b.error() : a.error());
                if (!sum) {
                    return fileError(sourcesCsv.where(i, sources.isotopeColumns[column]) + ": " +
                                     sum.error().message);
                }
                base.col[k][i] = sum->text();
            }
            if (utf8Length(base.col[k][i]) > kBoxCharacters) {
                result.notes.push_back("The signature " + base.col[k][i] + " of " +
                                       base.sources[i] + " (" + base.isotope[k] + ") is longer " +
                                       "than the 8 characters a box of the window shows");
            }
        }
    }

    const auto finish = [&](Entry entry, std::string label, int line) -> Status {
        std::string title = request.title;
        if (!label.empty()) {
            title = title.empty() ? label : title + ": " + label;
        }
        if (title.empty()) {
            title = std::filesystem::path(sourcesCsv.fileName()).stem().string();
        }
        if (!correctionNote.empty()) {
            title += " " + correctionNote;
        }
        entry.title = title;
        Expected<CalculationInput> checked = checkEntry(entry);
        if (!checked) {
            std::string message = checked.error().message;
            if (message == messages::kTooManyDecimals) {
                message += "\n" + decimalPlacesReason(entry, sourceCount, isotopeCount,
                                                      sources.values, corrections);
            }
            if (!label.empty()) {
                message += "\n(mixture \"" + label + "\", " + request.mixtures->fileName() +
                           ", line " + std::to_string(line) + ")";
            }
            return refusal(message);
        }
        result.entries.push_back(ImportedEntry{std::move(label), line, std::move(entry)});
        return ok();
    };

    if (!mixtures) {
        if (Status s = finish(base, {}, 0); !s) {
            return s.error();
        }
        return result;
    }
    for (std::size_t r = 0; r < mixtures->labels.size(); ++r) {
        Entry entry = base;
        for (int k = 0; k < isotopeCount; ++k) {
            const int column =
                mixtures->isotopeIndex(sources.isotopeKeys[static_cast<std::size_t>(k)]);
            entry.mixture[k] = mixtures->values[r][static_cast<std::size_t>(column)];
            if (utf8Length(entry.mixture[k]) > kBoxCharacters) {
                result.notes.push_back("The mixture " + entry.mixture[k] + " of \"" +
                                       mixtures->labels[r] + "\" (" + entry.isotope[k] +
                                       ") is longer than the 8 characters a box of the window " +
                                       "shows");
            }
        }
        if (Status s = finish(std::move(entry), mixtures->labels[r], mixtures->lines[r]); !s) {
            return s.error();
        }
    }
    return result;
}

} // namespace fenlowick
