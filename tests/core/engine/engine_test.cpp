#include "core/engine/engine.h"

#include "support/datatable.h"
#include "support/recordingsink.h"
#include "support/resulttexts.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace fenlowick {
namespace {

using Records = std::vector<std::string>;

/// An input of `sources` sources and `isotopes` isotopes, every signature and mixture 0.
CalculationInput inputOf(int sources, int isotopes, float increment, double tolerance) {
    CalculationInput input;
    input.lastSource = static_cast<std::int16_t>(sources - 1);
    input.lastIsotope = static_cast<std::int16_t>(isotopes - 1);
    input.incrementPercent = increment;
    input.tolerance100 = tolerance * 100.0;
    input.decimalScale = 1;
    return input;
}

/// The record of a combination of whole percent shares, written by hand: the fraction of
/// one without leading zero or trailing zeros, then empty fields up to twelve.
std::string recordOf(const std::vector<int>& shares) {
    std::vector<std::string> fields;
    for (int share : shares) {
        const std::string field =
            share == 100 ? "1"
            : share == 0 ? "0"
                         : "." + std::to_string(share / 10) + std::to_string(share % 10);
        fields.push_back(field.size() == 3 && field.back() == '0' ? field.substr(0, 2) : field);
    }
    return test::linesOf(test::record(fields)).at(0);
}

Records recordsOf(const std::vector<std::vector<int>>& combinations) {
    Records records;
    for (const auto& shares : combinations) {
        records.push_back(recordOf(shares));
    }
    return records;
}

const EngineControl kNoControl{};

/// The records the plain search keeps for the input.
Records keptBy(const CalculationInput& input) {
    test::RecordingSink sink;
    enumeratePlain(input, &sink, kNoControl);
    return test::linesOf(sink.text);
}

TEST(Engine, DifferenceAtTheThresholdIsKeptAndAboveItRejected) {
    for (const test::TableRow& row : test::readTable("engine/threshold.tsv", 7, 8)) {
        CalculationInput input = inputOf(3, 1, 50.0f, 0.0);
        for (int i = 0; i < 3; ++i) {
            input.signature[0][i] = test::numberOf<float>(row.fields[static_cast<std::size_t>(i)]);
        }
        input.mixture100[0] = test::numberOf<double>(row.fields[3]);
        input.tolerance100 = test::numberOf<double>(row.fields[4]);
        input.decimalScale = std::stoi(row.fields[5]);
        std::string shares = row.fields[6] == "none" ? "" : row.fields[6];
        std::replace(shares.begin(), shares.end(), '/', ' ');
        std::istringstream in(shares);
        std::vector<std::vector<int>> kept;
        for (int a = 0, b = 0, c = 0; in >> a >> b >> c;) {
            kept.push_back({a, b, c});
        }
        EXPECT_EQ(keptBy(input), recordsOf(kept)) << row.where;
    }
}

/// Every composition of 100 in steps of `increment` into `sources` shares, first share
/// outermost, found by counting whole percents.
void compositions(int sources, int increment, std::vector<int>& prefix, int remaining,
                  std::vector<std::vector<int>>& out) {
    if (static_cast<int>(prefix.size()) == sources - 1) {
        prefix.push_back(remaining);
        out.push_back(prefix);
        prefix.pop_back();
        return;
    }
    for (int share = 0; share <= remaining; share += increment) {
        prefix.push_back(share);
        compositions(sources, increment, prefix, remaining - share, out);
        prefix.pop_back();
    }
}

TEST(Engine, WholeNumberCasesMatchAnIndependentCount) {
    // With whole signatures, mixtures and shares every sum is exact, so the kept set and the
    // histograms follow from integer arithmetic alone.
    std::mt19937 random(20240611);
    const int increments[] = {5, 10, 20, 25};
    for (int trial = 0; trial < 24; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        const int sources = 3 + trial % 5;
        const int isotopes = 1 + trial % kIsotopeColumns;
        const int increment = increments[trial % 4];
        const int tolerance = 3 + static_cast<int>(random() % 20);
        CalculationInput input =
            inputOf(sources, isotopes, static_cast<float>(increment), tolerance);
        std::vector<std::vector<int>> signature(kIsotopeColumns, std::vector<int>(kSourceRows));
        std::vector<int> mixture(kIsotopeColumns);
        for (int k = 0; k < kIsotopeColumns; ++k) {
            for (int i = 0; i < kSourceRows; ++i) {
                signature[k][i] = static_cast<int>(random() % 41) - 20;
                input.signature[k][i] = static_cast<float>(signature[k][i]);
            }
            mixture[k] = static_cast<int>(random() % 21) - 10;
            input.mixture100[k] = mixture[k] * 100.0;
        }
        // Odd trials hold one or two sources within whole ends.
        std::vector<int> limited;
        int atLeast = 0;
        int atMost = 100;
        if (trial % 2 == 1) {
            limited = {trial % sources};
            if (trial % 4 == 3) {
                limited.push_back((trial + 1) % sources);
                std::sort(limited.begin(), limited.end());
            }
            atLeast = static_cast<int>(random() % 40);
            atMost = atLeast + static_cast<int>(random() % 60);
            input.constraints.limits = {{limited, atLeast, atMost, "limit"}};
        }

        std::vector<std::vector<int>> all;
        std::vector<int> prefix;
        compositions(sources, increment, prefix, 100, all);
        std::vector<std::vector<int>> kept;
        ShareHistograms histograms{};
        for (const auto& shares : all) {
            bool feasible = true;
            for (int k = 0; k < isotopes && feasible; ++k) {
                long long predicted = 0;
                for (int j = 0; j < sources; ++j) {
                    predicted += static_cast<long long>(signature[k][j]) * shares[j];
                }
                feasible = std::llabs(predicted - mixture[k] * 100LL) <= tolerance * 100LL;
            }
            int sum = 0;
            for (int j : limited) {
                sum += shares[j];
            }
            feasible = feasible && sum >= atLeast && sum <= atMost;
            if (feasible) {
                kept.push_back(shares);
                for (int j = 0; j < sources; ++j) {
                    ++histograms[j][shares[j] / increment];
                }
            }
        }

        test::RecordingSink sink;
        const EngineResult result = enumeratePlain(input, &sink, kNoControl);
        EXPECT_EQ(result.visitedCount, all.size());
        EXPECT_EQ(result.feasibleCount, kept.size());
        EXPECT_EQ(test::linesOf(sink.text), recordsOf(kept));
        EXPECT_EQ(result.histograms, histograms); // unused sources stay all zero
        EngineControl control;
        control.threads = 2;
        const EngineResult counted = runSearch(input, nullptr, control);
        EXPECT_EQ(counted.feasibleCount, kept.size());
        EXPECT_EQ(counted.histograms, result.histograms);
    }
}

TEST(Engine, ConcentrationsKeepTheWeightedBalanceOfTwoSources) {
    // The third source is held at 0 by a limit; the first two put the mixture m exactly
    // where c1 p1 (d1 - m) + c2 p2 (d2 - m) = 0, which tolerance 0 alone keeps. Without
    // concentrations the unweighted balance is kept instead.
    for (const auto& [d1, d2, m, c1, c2] :
         {std::tuple{0.0f, 10.0f, 5.0f, 1.0, 3.0}, std::tuple{-20.0f, -10.0f, -15.0f, 1.0, 4.0}}) {
        CalculationInput input = inputOf(3, 1, 5.0f, 0.0);
        input.signature[0] = {d1, d2, 7.0f};
        input.mixture100[0] = m * 100.0;
        input.constraints.limits = {{{2}, std::nullopt, 0.0, "third"}};
        const auto linear = static_cast<int>(std::lround(100.0 * (d2 - m) / (d2 - d1)));
        EXPECT_EQ(keptBy(input), recordsOf({{linear, 100 - linear, 0}}));
        input.constraints.concentrations = SourceConcentrations{};
        input.constraints.concentrations->value[0] = {c1, c2, 2.0};
        const double p1 = c2 * (d2 - m) / (c2 * (d2 - m) - c1 * (d1 - m));
        const auto weighted = static_cast<int>(std::lround(100.0 * p1));
        EXPECT_NE(weighted, linear);
        EXPECT_EQ(keptBy(input), recordsOf({{weighted, 100 - weighted, 0}}));
        test::RecordingSink fast;
        runSearch(input, &fast, kNoControl);
        EXPECT_EQ(test::linesOf(fast.text), keptBy(input));
        // The same two sources alone, as a study may run them.
        CalculationInput two = inputOf(2, 1, 5.0f, 0.0);
        two.signature[0] = {d1, d2};
        two.mixture100[0] = m * 100.0;
        two.constraints.concentrations = input.constraints.concentrations;
        test::RecordingSink pair;
        runSearch(two, &pair, kNoControl);
        EXPECT_EQ(test::linesOf(pair.text), recordsOf({{weighted, 100 - weighted}}));
    }
}

TEST(Engine, VisitsTheCountedNumberOfCombinations) {
    for (const test::TableRow& row : test::readTable("engine/combinationcounts.tsv", 3, 10)) {
        EXPECT_EQ(combinationCount(std::stoi(row.fields[0]), std::stof(row.fields[1])),
                  std::stoull(row.fields[2]))
            << row.where;
    }
}

} // namespace
} // namespace fenlowick
