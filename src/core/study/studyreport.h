#pragma once

#include "core/results/totalsstatistics.h"
#include "core/study/studyrun.h"
#include "core/tables/studytables.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace fenlowick {

/// The distribution of a source's share given by weights per level: the weighted mean and
/// standard deviation (as of a distribution, dividing by the total weight) of the level
/// values, and nearest-rank percentiles: the first level whose cumulative weight reaches p
/// of the total.
struct ShareSummary {
    double mean = 0.0;
    double sd = 0.0;
    /// The 2.5, 25, 50, 75 and 97.5 percentiles, as level values (fractions of one).
    std::array<float, 5> percentiles{};
};

/// Empty when every weight is 0. `levelValues` are the totals file's level values of the
/// run's increment (TotalsStatistics::levelValue), `lastLevel` its last level.
std::optional<ShareSummary> summariseWeights(const std::array<double, kHistogramLevels>& weights,
                                             const std::array<float, kHistogramLevels>& levelValues,
                                             int lastLevel);

/// The consumers of one level of the grouping factors pooled, each consumer weighing one:
/// its exact distribution without draws, its pooled draws with them.
struct StudyGroup {
    std::vector<std::string> levels; ///< per grouping factor; empty for the whole study
    std::vector<std::size_t> consumers;
    /// The data rows of the group's consumers that add nothing to its pools: no draw of
    /// theirs found a solution (without draws, their exact run found none).
    std::vector<int> unsolvedRows;
    std::vector<std::string> sources; ///< labels in the order they first appear
    struct SourcePool {
        std::array<double, kHistogramLevels> weights{};
        int consumers = 0;                   ///< consumers of the group that have this source
        int runs = 0;                        ///< their draws, or their exact runs without draws
        int runsFeasible = 0;                ///< of which kept a solution
        std::optional<ShareSummary> summary; ///< of the weights; empty when all are 0
    };
    std::vector<SourcePool> pools; ///< per source
};

/// A study's results summarised once, for its tables and its figures alike.
struct StudySummary {
    /// The level values of the run's increment, as its totals files give them.
    TotalsStatistics levels;
    std::vector<int> byFactors; ///< indexes into Study::factors
    /// By the levels of `byFactors` in the order the levels first appear; without factors,
    /// one group of every consumer.
    std::vector<StudyGroup> groups;
};

StudySummary summariseStudy(const Study& study, const StudyOutcome& outcome,
                            const std::vector<int>& byFactors);

/// The tidy tables of a study as CSV texts (UTF-8, LF line ends, snake_case headers, plain
/// decimals with a leading zero). `uncertainty` is empty without draws; `groups` holds one
/// group of every consumer without grouping factors.
struct StudyReport {
    std::string consumers;
    std::string uncertainty;
    std::string groups;
    std::string histograms;
};

StudyReport composeStudyReport(const Study& study, const StudyOutcome& outcome,
                               const StudySummary& summary);

/// The consumers that found no solution (with draws, in any draw) and add nothing to their
/// groups, by data row in order.
std::vector<int> unsolvedRows(const StudySummary& summary);

/// The note for a study with draws of which most found no solution (the pooled answers then
/// rest on the few that did), naming the consumers that found none in any draw and are left
/// out of their groups; empty when half the draws or more found one.
std::optional<std::string> drawsWithoutSolutionNote(const StudyOutcome& outcome,
                                                    const StudySummary& summary);

/// The column names of the consumer file's factors in the study's tables: their snake_case
/// names, with "factor_" in front of one that would be a fixed column's name (those of the
/// feasible sets' tables and `moreFixed`) or repeat an earlier one.
std::vector<std::string> factorColumns(const Study& study,
                                       const std::vector<std::string>& moreFixed = {});

/// A header as a snake_case column name: lower case, every run of other characters than
/// letters and digits one "_" ("Body mass (g)" gives body_mass_g).
std::string snakeCase(const std::string& header);

} // namespace fenlowick
