#include "core/results/resultformat.h"

#include "core/entry/checks.h"
#include "core/results/graphdata.h"
#include "core/results/resultfiles.h"
#include "core/results/totalsfile.h"
#include "core/results/totalsgrid.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace fenlowick {
namespace {

using Shares = std::vector<float>; // one feasible record, in percent

struct RoundTrip {
    const char* name;
    const char* increment;
    std::vector<std::string> sources;
    std::vector<Shares> records;
};

Entry entryOf(const RoundTrip& c) {
    Entry entry = test::threeSourceEntry();
    entry.title = "Round trip, " + std::string(c.name);
    entry.increment = c.increment;
    entry.isotope[1] = "d15N";
    entry.mixture[1] = "2";
    for (std::size_t i = 0; i < c.sources.size(); ++i) {
        const int row = static_cast<int>(i);
        entry.sources[row] = c.sources[i];
        entry.col[0][row] = std::to_string(row + 1);
        entry.col[1][row] = std::to_string(2 * row - 3);
    }
    return entry;
}

// Each run's totals file is written as the totals writer writes it and read back by every
// reader: whatever one side writes, the other must find. The feasible-output file's records,
// written by the search, are read back by CombinedTotals.AGroupOfOneSourceReproduces...
TEST(ResultFormat, WhatTheWritersWriteEveryReaderReadsBack) {
    const RoundTrip cases[] = {
        {"three solutions", "50", {"A", "Fish, salted", "C"}, {{0, 50}, {50, 0}, {0, 0}}},
        {"one solution", "25", {"A", "B", "C", "D"}, {{25, 25, 25}}},
        {"no solution", "10", {"A", "B", "C"}, {}},
    };
    for (const RoundTrip& c : cases) {
        SCOPED_TRACE(c.name);
        const Entry entry = entryOf(c);
        const Expected<CalculationInput> input = checkEntry(entry);
        ASSERT_TRUE(input) << input.error().message;
        const int sources = input->sourceCount();
        const float increment = input->incrementPercent;

        // The histograms the search would count, the last share derived.
        ShareHistograms histograms{};
        for (const Shares& looped : c.records) {
            float rest = 100.0f;
            for (int j = 0; j < sources; ++j) {
                const float share = j + 1 < sources ? looped[static_cast<std::size_t>(j)] : rest;
                rest -= share;
                ++histograms[static_cast<std::size_t>(j)]
                            [static_cast<std::size_t>(std::floor(share / increment))];
            }
        }
        const std::string tot = composeTotals(entry, *input, histograms, {"D", "T"}).text;
        const TotalsStatistics statistics = computeTotalsStatistics(histograms, sources, increment);

        const Expected<TotalsFile> file = parseTotalsFile(tot);
        ASSERT_TRUE(file) << file.error().message;
        EXPECT_EQ(file->title, entry.title);
        EXPECT_EQ(file->increment, std::string(c.increment) + "%");
        EXPECT_EQ(file->tolerance, entry.threshold);
        EXPECT_EQ(file->isotopes, (std::vector<std::string>{"X", "d15N"}));
        EXPECT_EQ(file->sources, c.sources);
        EXPECT_EQ(file->observations, c.records.size());
        ASSERT_EQ(file->levels.size(), static_cast<std::size_t>(statistics.lastLevel) + 1);
        for (std::size_t b = 0; b < file->levels.size(); ++b) {
            EXPECT_EQ(static_cast<float>(file->levels[b]), statistics.levelValue[b]);
            for (int s = 0; s < sources; ++s) {
                EXPECT_EQ(file->counts[b][static_cast<std::size_t>(s)],
                          histograms[static_cast<std::size_t>(s)][b]);
            }
        }
        for (int s = 0; s < sources; ++s) {
            EXPECT_EQ(file->figures[static_cast<std::size_t>(s)], figuresOf(statistics, s)) << s;
        }

        // The viewer's grid: one row per record, the histogram table where it was written.
        const GridLoad grid = readGridRecords(tot, true);
        ASSERT_FALSE(grid.failed);
        EXPECT_EQ(grid.records.front()[0], kDateTitle);
        EXPECT_EQ(grid.records.front()[2], kTimeTitle);
        const std::size_t table = 9 + c.sources.size();
        ASSERT_GT(grid.records.size(), table + 1);
        EXPECT_EQ(grid.records[table][0], kHistogramTitle);
        EXPECT_EQ(grid.records[table + 1][0], kLevelTitle);
        EXPECT_EQ(grid.records[table + 1][2], c.sources[1]);

        // The graph: the labels and, with solutions, their number.
        const GraphRead graph = readGraphData(tot, true);
        if (c.records.empty()) {
            EXPECT_EQ(graph.error, GraphReadError::Access);
            continue;
        }
        ASSERT_EQ(graph.error, GraphReadError::None);
        EXPECT_EQ(graph.data.sourceNames, c.sources);
        EXPECT_EQ(graph.data.rowCount(), statistics.lastLevel + 1);
        EXPECT_EQ(graph.data.total, static_cast<double>(c.records.size()));
    }
}

} // namespace
} // namespace fenlowick
