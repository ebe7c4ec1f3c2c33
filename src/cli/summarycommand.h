#pragma once

#include <string>

namespace CLI {
class App;
}

namespace fenlowick {

struct TotalsFile;

/// `fenlowick-cli summary`: the statistics of a totals file as a table or as CSV.
class SummaryCommand {
public:
    /// Adds the subcommand and its options to the program's command line.
    explicit SummaryCommand(CLI::App& app);

    /// True when the command line chose this subcommand.
    bool parsed() const;

    /// Prints the summary; returns the exit code (0, or 3 when the file cannot be read or
    /// is not a totals file).
    int run() const;

private:
    CLI::App* m_command = nullptr;
    std::string m_totals;
    bool m_csv = false;
};

/// The statistics as an aligned table for reading: title, increment, tolerance, the count
/// of feasible solutions, then one line per source with mean, minimum, 1st, 50th and 99th
/// percentile, maximum and standard deviation ("-" where the file gives none).
std::string summaryTable(const TotalsFile& totals);

/// The statistics as CSV: a header, then per source: source, feasible_count, mean,
/// minimum, p1, p50, p99, maximum, sd (the columns of a batch's summary.csv without the
/// mixture), one line each.
std::string summaryCsv(const TotalsFile& totals);

} // namespace fenlowick
