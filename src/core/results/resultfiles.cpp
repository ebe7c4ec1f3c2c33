#include "core/results/resultfiles.h"

#include "core/base/numerictext.h"
#include "core/results/recordwriter.h"
#include "core/results/resultformat.h"
#include "core/results/totalsstatistics.h"

#include <string_view>
#include <utility>

namespace fenlowick {

namespace {

/// The records the two result files share: title, increment, tolerance and isotope labels.
void writeEntrySummary(RecordWriter& out, const Entry& entry, const CalculationInput& input,
                       const DateTimeTexts& now) {
    const int isotopes = input.isotopeCount();
    out.text(kDateTitle);
    out.text(now.date);
    out.text(kTimeTitle);
    out.text(now.time);
    out.padRecord(kRecordFields - 4);
    out.text(kTitleTitle);
    out.text(entry.title);
    out.padRecord(kRecordFields - 2);
    out.text(kIncrementTitle);
    out.text(entry.increment + "%");
    out.padRecord(kRecordFields - 2);
    out.text(kToleranceTitle);
    out.text(entry.threshold);
    out.padRecord(kRecordFields - 2);
    out.text(kIsotopesTitle);
    for (int k = 0; k < isotopes; ++k) {
        out.text(entry.isotope[k]);
    }
    out.padRecord(kRecordFields - 1 - isotopes);
}

/// The source rows with their signatures as typed, and the row of asterisks.
void writeSourceRows(RecordWriter& out, const Entry& entry, const CalculationInput& input) {
    const int isotopes = input.isotopeCount();
    out.text(kSourcesTitle);
    out.padRecord(kRecordFields - 1);
    for (int i = 0; i < input.sourceCount(); ++i) {
        out.text(entry.sources[i]);
        for (int k = 0; k < isotopes; ++k) {
            out.text(entry.col[k][i]);
        }
        out.padRecord(kRecordFields - 1 - isotopes);
    }
    out.text("");
    for (int k = 0; k < isotopes; ++k) {
        out.text(kAsteriskField);
    }
    out.padRecord(kRecordFields - 1 - isotopes);
}

void writeLabels(RecordWriter& out, const Entry& entry, int sources) {
    for (int i = 0; i < sources; ++i) {
        out.text(entry.sources[i]);
    }
}

void writeRule(RecordWriter& out, int count) {
    for (int i = 0; i < count; ++i) {
        out.text(kRuleField);
    }
}

} // namespace

std::string composeFeasibleHeader(const Entry& entry, const CalculationInput& input,
                                  const DateTimeTexts& now) {
    std::string text;
    RecordWriter out(text);
    const int sources = input.sourceCount();
    const int isotopes = input.isotopeCount();
    writeEntrySummary(out, entry, input, now);
    out.text(kMixturesTitle);
    for (int k = 0; k < isotopes; ++k) {
        out.dbl(input.mixture100[k] / 100.0);
    }
    out.padRecord(kRecordFields - 1 - isotopes);
    writeSourceRows(out, entry, input);
    out.text(kFeasibleTitle);
    out.padRecord(kRecordFields - 1);
    writeLabels(out, entry, sources);
    out.padRecord(kRecordFields - sources);
    writeRule(out, sources);
    out.padRecord(kRecordFields - sources);
    return text;
}

TotalsText composeTotals(const Entry& entry, const CalculationInput& input,
                         const ShareHistograms& histograms, const DateTimeTexts& now) {
    TotalsText result;
    RecordWriter out(result.text);
    const int sources = input.sourceCount();
    const int isotopes = input.isotopeCount();

    writeEntrySummary(out, entry, input, now);
    out.text(kMixturesTitle);
    for (int k = 0; k < isotopes; ++k) {
        out.single(toFloat(entry.mixture[k]).value_or(0.0f));
    }
    out.padRecord(kRecordFields - 1 - isotopes);
    writeSourceRows(out, entry, input);
    out.padRecord(kRecordFields);

    // Histogram table: one row per level 0..T, the level's share and every source's count.
    const TotalsStatistics statistics =
        computeTotalsStatistics(histograms, sources, input.incrementPercent);
    const int levels = statistics.lastLevel;
    const std::uint64_t observations = statistics.observations;
    result.observations = observations;
    for (int s = 0; s < sources; ++s) {
        result.figures.push_back(figuresOf(statistics, s));
    }

    out.text(kHistogramTitle);
    out.padRecord(kRecordFields - 1);
    out.text(kLevelTitle);
    writeLabels(out, entry, sources);
    out.padRecord(kRecordFields - 1 - sources);
    writeRule(out, sources + 1);
    out.padRecord(kRecordFields - 1 - sources);
    for (int b = 0; b <= levels; ++b) {
        const auto level = static_cast<std::size_t>(b);
        out.single(statistics.levelValue[level]);
        for (int s = 0; s < sources; ++s) {
            out.count(histograms[static_cast<std::size_t>(s)][level]);
        }
        out.padRecord(kRecordFields - 1 - sources);
    }
    out.padRecord(kRecordFields);
    out.padRecord(kRecordFields);

    if (observations == 0) {
        for (std::string_view field : kNoObservationsNote) {
            out.text(field);
        }
        out.endLine();
        out.padRecord(kRecordFields - static_cast<int>(kNoObservationsNote.size()));
        return result;
    }

    const auto block = [&](std::string_view title, auto&& valueText, bool trailingBlankRecords) {
        out.text(title);
        out.padRecord(kRecordFields - 1);
        writeLabels(out, entry, sources);
        out.padRecord(kRecordFields - sources);
        writeRule(out, sources);
        out.padRecord(kRecordFields - sources);
        for (int s = 0; s < sources; ++s) {
            valueText(statistics.source[static_cast<std::size_t>(s)]);
        }
        out.padRecord(kRecordFields - sources);
        if (trailingBlankRecords) {
            out.padRecord(kRecordFields);
            out.padRecord(kRecordFields);
        }
    };

    out.text(kCountTitle);
    out.count(observations);
    out.endLine();
    out.padRecord(kRecordFields - 2);
    out.padRecord(kRecordFields);
    block(
        kMeanTitle, [&](const SourceStatistics& st) { out.bare(meanFieldText(st.mean)); }, true);
    for (const auto& [title, level] : {std::pair{kMinimumTitle, &SourceStatistics::minimum},
                                       std::pair{kMaximumTitle, &SourceStatistics::maximum},
                                       std::pair{kPercentile1Title, &SourceStatistics::p1},
                                       std::pair{kPercentile50Title, &SourceStatistics::p50},
                                       std::pair{kPercentile99Title, &SourceStatistics::p99}}) {
        block(
            // The binding is copied into the lambda: clang before version 16 cannot capture a
            // structured binding.
            title,
            [&, member = level](const SourceStatistics& st) {
                out.text(levelStatisticText(st.*member));
            },
            true);
    }

    if (observations > 1) {
        block(
            kStdDevTitle, [&](const SourceStatistics& st) { out.bare(stdDevFieldText(st.stdDev)); },
            false);
    } else {
        for (std::string_view field : kSingleObservationNote) {
            out.text(field);
        }
        out.padRecord(kRecordFields - static_cast<int>(kSingleObservationNote.size()));
    }
    return result;
}

} // namespace fenlowick
