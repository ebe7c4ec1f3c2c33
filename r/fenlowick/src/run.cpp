// fl_run(): one exact run, as `fenlowick-cli run` does it, without its files.

#include "core/analysis/diagnosis.h"
#include "core/engine/engine.h"
#include "core/entry/checks.h"
#include "core/entry/datafile.h"
#include "core/entry/messages.h"
#include "core/results/totalsstatistics.h"
#include "core/tables/spreadsheetimport.h"
#include "core/workflows/calculationrun.h"
#include "interruptible.h"
#include "tableinput.h"

#include <Rcpp.h>

#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

using namespace fenlowick;
using namespace fenlowick::rpackage;

namespace {

/// Keeps the shares of every feasible record, as the feasible-output file writes them.
class ShareSink : public RecordSink {
public:
    explicit ShareSink(int sources) : m_sources(sources) {}

    bool write(std::string_view records) override {
        while (!records.empty()) {
            const std::size_t end = records.find('\n');
            std::string_view record = records.substr(0, end);
            for (int s = 0; s < m_sources; ++s) {
                const std::size_t comma = record.find(',');
                const std::string_view field = record.substr(0, comma);
                double share = NAN;
                std::from_chars(field.data(), field.data() + field.size(), share);
                m_shares.push_back(share);
                record.remove_prefix(comma == std::string_view::npos ? record.size() : comma + 1);
            }
            records.remove_prefix(end == std::string_view::npos ? records.size() : end + 1);
        }
        return true;
    }

    /// The shares, a row of `sources` values per solution.
    const std::vector<double>& shares() const { return m_shares; }

private:
    int m_sources;
    std::vector<double> m_shares;
};

/// The entry of the run: the data file, or the tables turned into an entry as `import` does.
Expected<Entry> entryOf(SEXP entryPath, SEXP sources, SEXP mixture, SEXP increment, SEXP tolerance,
                        SEXP title, SEXP isotopes) {
    if (!Rf_isNull(entryPath)) {
        return readDataFile(Rcpp::as<std::string>(entryPath));
    }
    Expected<std::optional<CsvTable>> sourceTable = readTableArgument(sources);
    if (!sourceTable) {
        return sourceTable.error();
    }
    Expected<std::optional<CsvTable>> mixtureTable = readTableArgument(mixture);
    if (!mixtureTable) {
        return mixtureTable.error();
    }
    ImportRequest request;
    request.sources = &**sourceTable;
    request.mixtures = &**mixtureTable;
    if (!Rf_isNull(isotopes)) {
        request.isotopeNames = Rcpp::as<std::vector<std::string>>(isotopes);
    }
    request.increment = textArgument(increment);
    request.tolerance = textArgument(tolerance);
    request.title = textArgument(title);
    Expected<ImportResult> imported = importEntries(request);
    if (!imported) {
        return imported.error();
    }
    if (imported->entries.size() != 1) {
        return Error{Error::Kind::Refused, "The mixture table has " +
                                               std::to_string(imported->entries.size()) +
                                               " mixtures; a run takes one (fl_study runs many)"};
    }
    return imported->entries.front().entry;
}

/// Each source's figures as the totals file prints them, a column per figure.
Rcpp::DataFrame statisticsOf(const Entry& entry, const CalculationInput& input,
                             const EngineResult& result) {
    const int sources = input.sourceCount();
    const TotalsStatistics statistics =
        computeTotalsStatistics(result.histograms, sources, input.incrementPercent);
    Rcpp::CharacterVector labels(sources);
    Rcpp::NumericVector mean(sources), minimum(sources), p1(sources), p50(sources), p99(sources),
        maximum(sources), sd(sources);
    const auto figure = [](const std::optional<double>& value) { return value ? *value : NA_REAL; };
    for (int s = 0; s < sources; ++s) {
        const SourceFigures f = figuresOf(statistics, s);
        labels[s] = Rcpp::String(entry.sources[static_cast<std::size_t>(s)], CE_UTF8);
        mean[s] = figure(f.mean);
        minimum[s] = figure(f.minimum);
        p1[s] = figure(f.p1);
        p50[s] = figure(f.p50);
        p99[s] = figure(f.p99);
        maximum[s] = figure(f.maximum);
        sd[s] = figure(f.stdDev);
    }
    return Rcpp::DataFrame::create(
        Rcpp::Named("source") = labels,
        Rcpp::Named("feasible_count") =
            Rcpp::NumericVector(sources, static_cast<double>(result.feasibleCount)),
        Rcpp::Named("mean") = mean, Rcpp::Named("minimum") = minimum, Rcpp::Named("p1") = p1,
        Rcpp::Named("p50") = p50, Rcpp::Named("p99") = p99, Rcpp::Named("maximum") = maximum,
        Rcpp::Named("sd") = sd, Rcpp::Named("stringsAsFactors") = false);
}

} // namespace

// [[Rcpp::export(.fl_run_cpp)]]
Rcpp::List flRunCpp(SEXP entryPath, SEXP sources, SEXP mixture, SEXP increment, SEXP tolerance,
                    SEXP title, SEXP isotopes, SEXP concentrations, Rcpp::CharacterVector limits,
                    bool solutions, double maxSolutions, int threads, bool asStudy) {
    Expected<Entry> entry =
        entryOf(entryPath, sources, mixture, increment, tolerance, title, isotopes);
    if (!entry) {
        return errorList(entry.error());
    }
    const CheckRules rules = asStudy ? kStudyCheckRules : CheckRules{};
    Expected<CalculationInput> checked = checkEntry(*entry, rules);
    if (!checked) {
        return errorList(checked.error());
    }
    Expected<std::optional<CsvTable>> table = readTableArgument(concentrations);
    if (!table) {
        return errorList(table.error());
    }
    const Expected<MixingConstraints> constraints = readRunConstraints(
        *entry, *checked, *table ? &**table : nullptr, Rcpp::as<std::vector<std::string>>(limits));
    if (!constraints) {
        return errorList(constraints.error());
    }
    Expected<CalculationInput> input = checkRun(*entry, rules, *constraints);
    if (!input) {
        return errorList(input.error());
    }
    std::atomic<bool> cancel{false};
    EngineControl control;
    control.cancel = &cancel;
    control.threads = threads;
    const CalculationInput& run = *input;
    const EngineResult counted =
        runInterruptibly([&run, &control] { return runSearch(run, nullptr, control); }, cancel);
    Rcpp::List outcome =
        Rcpp::List::create(Rcpp::Named("feasible") = static_cast<double>(counted.feasibleCount),
                           Rcpp::Named("combinations") = static_cast<double>(counted.visitedCount),
                           Rcpp::Named("statistics") = statisticsOf(*entry, run, counted));
    if (counted.feasibleCount == 0) {
        outcome["notice"] = messages::kNoObservations;
        // As the command-line tool: the diagnosis reasons about the linear model over the
        // whole grid.
        if (constraints->empty()) {
            DiagnosisLimits diagnosisLimits;
            diagnosisLimits.approach.cancel = &cancel;
            const Diagnosis diagnosis = runInterruptibly(
                [&] { return diagnoseEntry(*entry, run, diagnosisLimits); }, cancel);
            outcome["diagnosis"] = Rcpp::String(diagnosis.message, CE_UTF8);
        }
    }
    if (!solutions) {
        return outcome;
    }
    if (static_cast<double>(counted.feasibleCount) > maxSolutions) {
        return errorList(
            {Error::Kind::Refused, "The run keeps " + std::to_string(counted.feasibleCount) +
                                       " feasible solutions, more than max_solutions (" +
                                       std::to_string(static_cast<std::uint64_t>(maxSolutions)) +
                                       "); raise max_solutions to have them all, or leave out "
                                       "solutions = TRUE for the statistics alone"});
    }
    const int sourceCount = run.sourceCount();
    ShareSink sink(sourceCount);
    const EngineResult written = runInterruptibly(
        [&run, &control, &sink] { return runSearch(run, &sink, control); }, cancel);
    const auto rows = static_cast<int>(written.feasibleCount);
    Rcpp::NumericMatrix shares(rows, sourceCount);
    for (int r = 0; r < rows; ++r) {
        for (int s = 0; s < sourceCount; ++s) {
            shares(r, s) = sink.shares()[static_cast<std::size_t>(r * sourceCount + s)];
        }
    }
    outcome["solutions"] = shares;
    return outcome;
}
