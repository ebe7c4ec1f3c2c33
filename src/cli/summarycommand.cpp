#include "cli/summarycommand.h"

#include "cli/cliapp.h"
#include "cli/terminaltext.h"
#include "core/base/csvtable.h"
#include "core/base/numberformat.h"
#include "core/base/textencoding.h"
#include "core/entry/messages.h"
#include "core/results/totalsfile.h"

#include <CLI/CLI.hpp>

#include <iostream>

namespace fenlowick {

namespace {

const char* const kSummaryHelp = R"(Exit codes:
  0  the statistics were printed
  2  the command line is wrong
  3  the file could not be read, or it is not a totals file)";

std::string padLeft(const std::string& text, std::size_t width) {
    const std::size_t length = utf8Length(text);
    return length >= width ? text : std::string(width - length, ' ') + text;
}

std::string padRight(const std::string& text, std::size_t width) {
    const std::size_t length = utf8Length(text);
    return length >= width ? text : text + std::string(width - length, ' ');
}

/// A figure for reading: thousandths or hundredths with a digit before the point.
std::string tableFigure(const std::optional<double>& value, int decimals) {
    if (!value) {
        return "-";
    }
    if (decimals == 2) {
        return formatFixed(*value);
    }
    std::string text = formatThousandths(*value);
    const bool negative = text.front() == '-';
    const std::size_t digitsStart = negative ? 1 : 0;
    if (text[digitsStart] == '.') {
        text.insert(digitsStart, "0");
    }
    return text;
}

std::string csvFigure(const std::optional<double>& value) {
    return value ? formatDouble(*value) : std::string();
}

} // namespace

std::string summaryTable(const TotalsFile& totals) {
    std::string out = "Title:      " + totals.title + "\n" + "Increment:  " + totals.increment +
                      "\n" + "Tolerance:  " + totals.tolerance + "\n" +
                      "Feasible solutions: " + formatCount(totals.observations) + "\n";
    if (totals.observations == 0) {
        out += std::string(messages::kNoObservations) + "\n";
        return out;
    }
    if (totals.observations == 1) {
        out += "(one feasible solution: the standard deviation cannot be computed)\n";
    }
    std::size_t labelWidth = utf8Length("Source");
    for (const std::string& source : totals.sources) {
        labelWidth = std::max(labelWidth, utf8Length(source));
    }
    constexpr std::size_t kWidth = 8;
    out += "\n" + padRight("Source", labelWidth);
    for (const char* heading : {"Mean", "Min", "P1", "P50", "P99", "Max", "SD"}) {
        out += padLeft(heading, kWidth);
    }
    out += "\n";
    for (std::size_t s = 0; s < totals.sources.size(); ++s) {
        const SourceFigures& f = totals.figures[s];
        out += padRight(totals.sources[s], labelWidth) + padLeft(tableFigure(f.mean, 3), kWidth) +
               padLeft(tableFigure(f.minimum, 2), kWidth) + padLeft(tableFigure(f.p1, 2), kWidth) +
               padLeft(tableFigure(f.p50, 2), kWidth) + padLeft(tableFigure(f.p99, 2), kWidth) +
               padLeft(tableFigure(f.maximum, 2), kWidth) +
               padLeft(tableFigure(f.stdDev, 3), kWidth) + "\n";
    }
    return out;
}

std::string summaryCsv(const TotalsFile& totals) {
    std::string out = "source,feasible_count,mean,minimum,p1,p50,p99,maximum,sd\n";
    for (std::size_t s = 0; s < totals.sources.size(); ++s) {
        const SourceFigures& f = totals.figures[s];
        out += csvField(totals.sources[s]) + "," + formatCount(totals.observations) + "," +
               csvFigure(f.mean) + "," + csvFigure(f.minimum) + "," + csvFigure(f.p1) + "," +
               csvFigure(f.p50) + "," + csvFigure(f.p99) + "," + csvFigure(f.maximum) + "," +
               csvFigure(f.stdDev) + "\n";
    }
    return out;
}

SummaryCommand::SummaryCommand(CLI::App& app) {
    m_command = app.add_subcommand(
        "summary", "Print the statistics of a totals file (.tot) as a table or as CSV");
    m_command->add_option("TOTALS", m_totals, "The totals file of a run")->required();
    m_command->add_flag("--csv", m_csv,
                        "Print CSV (source, feasible_count, mean, minimum, p1, p50, p99, "
                        "maximum, sd) instead of a table");
    m_command->footer(kSummaryHelp);
}

bool SummaryCommand::parsed() const {
    return m_command->parsed();
}

int SummaryCommand::run() const {
    Expected<TotalsFile> totals = readTotalsFile(m_totals);
    if (!totals) {
        std::cerr << "fenlowick-cli: " << terminalText(totals.error().message) << "\n";
        return kExitFile;
    }
    std::cout << (m_csv ? summaryCsv(*totals) : terminalText(summaryTable(*totals)));
    return kExitDone;
}

} // namespace fenlowick
