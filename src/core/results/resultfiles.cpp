#include "core/results/resultfiles.h"

#include "core/base/numberformat.h"
#include "core/base/numerictext.h"
#include "core/results/recordwriter.h"
#include "core/results/totalsstatistics.h"

#include <array>
#include <cmath>

namespace fenlowick {

namespace {

const std::string kAsterisks(15, '*');
const std::string kHyphens(15, '-');

/// The records the two result files share: title, increment, tolerance and isotope labels.
void writeEntrySummary(RecordWriter& out, const Entry& entry, const CalculationInput& input,
                       const DateTimeTexts& now) {
    const int isotopes = input.isotopeCount();
    out.text("Date: ");
    out.text(now.date);
    out.text("Time: ");
    out.text(now.time);
    out.padRecord(8);
    out.text("Title: ");
    out.text(entry.title);
    out.padRecord(10);
    out.text("Increment: ");
    out.text(entry.increment + "%");
    out.padRecord(10);
    out.text("Tolerance:");
    out.text(entry.threshold);
    out.padRecord(10);
    out.text("Isotopes:");
    for (int k = 0; k < isotopes; ++k) {
        out.text(entry.isotope[k]);
    }
    out.padRecord(11 - isotopes);
}

/// The source rows with their signatures as typed, and the row of asterisks.
void writeSourceRows(RecordWriter& out, const Entry& entry, const CalculationInput& input) {
    const int isotopes = input.isotopeCount();
    out.text("Sources:");
    out.padRecord(11);
    for (int i = 0; i < input.sourceCount(); ++i) {
        out.text(entry.sources[i]);
        for (int k = 0; k < isotopes; ++k) {
            out.text(entry.col[k][i]);
        }
        out.padRecord(11 - isotopes);
    }
    out.text("");
    for (int k = 0; k < isotopes; ++k) {
        out.text(kAsterisks);
    }
    out.padRecord(11 - isotopes);
}

void writeLabels(RecordWriter& out, const Entry& entry, int sources) {
    for (int i = 0; i < sources; ++i) {
        out.text(entry.sources[i]);
    }
}

void writeRule(RecordWriter& out, int count) {
    for (int i = 0; i < count; ++i) {
        out.text(kHyphens);
    }
}

std::string levelText(float value) {
    return value == -99.0f ? "???" : formatHundredths(value);
}

} // namespace

std::string composeFeasibleHeader(const Entry& entry, const CalculationInput& input,
                                  const DateTimeTexts& now) {
    std::string text;
    RecordWriter out(text);
    const int sources = input.sourceCount();
    const int isotopes = input.isotopeCount();
    writeEntrySummary(out, entry, input, now);
    out.text("Mixtures:");
    for (int k = 0; k < isotopes; ++k) {
        out.dbl(input.mixture100[k] / 100.0);
    }
    out.padRecord(11 - isotopes);
    writeSourceRows(out, entry, input);
    out.text("FEASIBLE OUTPUT:");
    out.padRecord(11);
    writeLabels(out, entry, sources);
    out.padRecord(12 - sources);
    writeRule(out, sources);
    out.padRecord(12 - sources);
    return text;
}

TotalsText composeTotals(const Entry& entry, const CalculationInput& input,
                         const ShareHistograms& histograms, const DateTimeTexts& now) {
    TotalsText result;
    RecordWriter out(result.text);
    const int sources = input.sourceCount();
    const int last = sources - 1;
    const int isotopes = input.isotopeCount();

    writeEntrySummary(out, entry, input, now);
    out.text("Mixtures:");
    for (int k = 0; k < isotopes; ++k) {
        out.single(toFloat(entry.mixture[k]).value_or(0.0f));
    }
    out.padRecord(11 - isotopes);
    writeSourceRows(out, entry, input);
    out.padRecord(12);

    // Histogram table: one row per level 0..T, the level's share and every source's count.
    const TotalsStatistics statistics =
        computeTotalsStatistics(histograms, sources, input.incrementPercent);
    const int levels = statistics.lastLevel;
    const std::uint64_t observations = statistics.observations;
    result.observations = observations;

    out.text("HISTOGRAM DATA");
    out.padRecord(11);
    out.text("INC");
    writeLabels(out, entry, sources);
    out.padRecord(10 - last);
    writeRule(out, sources + 1);
    out.padRecord(10 - last);
    for (int b = 0; b <= levels; ++b) {
        const auto level = static_cast<std::size_t>(b);
        out.single(statistics.levelValue[level]);
        for (int s = 0; s < sources; ++s) {
            out.count(histograms[static_cast<std::size_t>(s)][level]);
        }
        out.padRecord(10 - last);
    }
    out.padRecord(12);
    out.padRecord(12);

    if (observations == 0) {
        for (const char* field :
             {"Total", "Observations", "= 0", "so no", "statistics", "could be", "generated."}) {
            out.text(field);
        }
        out.endLine();
        out.padRecord(5);
        return result;
    }

    const auto block = [&](const char* title, auto&& writeValue, bool trailingBlankRecords) {
        out.text(title);
        out.padRecord(11);
        writeLabels(out, entry, sources);
        out.padRecord(11 - last);
        writeRule(out, sources);
        out.padRecord(11 - last);
        for (int s = 0; s < sources; ++s) {
            writeValue(statistics.source[static_cast<std::size_t>(s)]);
        }
        out.padRecord(11 - last);
        if (trailingBlankRecords) {
            out.padRecord(12);
            out.padRecord(12);
        }
    };

    out.text("N");
    out.count(observations);
    out.endLine();
    out.padRecord(10);
    out.padRecord(12);
    block(
        "MEAN", [&](const SourceStatistics& st) { out.dbl(*toDouble(formatThousandths(st.mean))); },
        true);

    block(
        "MINIMUM", [&](const SourceStatistics& st) { out.text(levelText(st.minimum)); }, true);
    block(
        "MAXIMUM", [&](const SourceStatistics& st) { out.text(levelText(st.maximum)); }, true);
    block(
        "1 %ile", [&](const SourceStatistics& st) { out.text(levelText(st.p1)); }, true);
    block(
        "50 %ile", [&](const SourceStatistics& st) { out.text(levelText(st.p50)); }, true);
    block(
        "99 %ile", [&](const SourceStatistics& st) { out.text(levelText(st.p99)); }, true);

    if (observations > 1) {
        block(
            "STD DEV",
            [&](const SourceStatistics& st) { out.single(*toFloat(formatThousandths(st.stdDev))); },
            false);
    } else {
        for (const char* field : {"STD DEV", "could", "not be", "computed", "because", "there",
                                  "is only 1", "observation."}) {
            out.text(field);
        }
        out.padRecord(4);
    }
    return result;
}

} // namespace fenlowick
