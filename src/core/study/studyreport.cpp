#include "core/study/studyreport.h"

#include "core/base/csvtable.h"
#include "core/base/numberformat.h"
#include "core/results/totalsstatistics.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace fenlowick {

namespace {

constexpr std::array<double, 5> kPercentiles = {0.025, 0.25, 0.5, 0.75, 0.975};

std::string fixed(double value, int decimals) {
    return formatDecimals(value, decimals);
}

std::string optionalFixed(const std::optional<double>& value, int decimals) {
    return value ? fixed(*value, decimals) : std::string();
}

} // namespace

std::vector<std::string> factorColumns(const Study& study,
                                       const std::vector<std::string>& moreFixed) {
    std::vector<std::string> fixedNames = {
        "consumer", "source", "feasible", "mean",           "sd",    "min", "p01", "p50",
        "p99",      "max",    "draws",    "draws_feasible", "p02_5", "p25", "p75", "p97_5",
        "share",    "weight", "consumers"};
    fixedNames.insert(fixedNames.end(), moreFixed.begin(), moreFixed.end());
    std::vector<std::string> names;
    // Names given so far, looked up in constant time: a table may have very many columns.
    std::unordered_set<std::string> given;
    for (const std::string& factor : study.factors) {
        std::string name = snakeCase(factor);
        if (std::find(fixedNames.begin(), fixedNames.end(), name) != fixedNames.end() ||
            given.count(name) != 0) {
            name = "factor_" + name;
        }
        given.insert(name);
        names.push_back(name);
    }
    return names;
}

namespace {

std::string summaryCells(const std::optional<ShareSummary>& summary) {
    if (!summary) {
        return ",,,,,,";
    }
    std::string cells = fixed(summary->mean, 4) + "," + fixed(summary->sd, 4);
    for (const float p : summary->percentiles) {
        cells += "," + fixed(p, 2);
    }
    return cells;
}

TotalsStatistics levelsOf(float increment) {
    return computeTotalsStatistics(ShareHistograms{}, 0, increment);
}

} // namespace

std::string snakeCase(const std::string& header) {
    std::string name;
    bool gap = false;
    for (const char c : header) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (c >= 'A' && c <= 'Z') {
            name += gap && !name.empty() ? "_" : "";
            name += static_cast<char>(c - 'A' + 'a');
            gap = false;
        } else if (letter) {
            name += gap && !name.empty() ? "_" : "";
            name += c;
            gap = false;
        } else {
            gap = true;
        }
    }
    return name.empty() ? "factor" : name;
}

std::optional<ShareSummary> summariseWeights(const std::array<double, kHistogramLevels>& weights,
                                             const std::array<float, kHistogramLevels>& levelValues,
                                             int lastLevel) {
    double total = 0.0;
    double sum = 0.0;
    for (int b = 0; b <= lastLevel; ++b) {
        total += weights[static_cast<std::size_t>(b)];
        sum += weights[static_cast<std::size_t>(b)] * levelValues[static_cast<std::size_t>(b)];
    }
    if (!(total > 0.0)) {
        return std::nullopt;
    }
    ShareSummary summary;
    summary.mean = sum / total;
    double squares = 0.0;
    for (int b = 0; b <= lastLevel; ++b) {
        const double d = levelValues[static_cast<std::size_t>(b)] - summary.mean;
        squares += weights[static_cast<std::size_t>(b)] * d * d;
    }
    summary.sd = std::sqrt(squares / total);
    for (std::size_t p = 0; p < kPercentiles.size(); ++p) {
        // A relative allowance keeps a cumulative sum that lands on p × total by another
        // order of additions from passing it by one rounding.
        const double target = kPercentiles[p] * total * (1.0 - 1e-12);
        double cumulative = 0.0;
        int level = lastLevel;
        for (int b = 0; b <= lastLevel; ++b) {
            cumulative += weights[static_cast<std::size_t>(b)];
            if (weights[static_cast<std::size_t>(b)] > 0.0 && cumulative >= target) {
                level = b;
                break;
            }
        }
        summary.percentiles[p] = levelValues[static_cast<std::size_t>(level)];
    }
    return summary;
}

namespace {

/// Adds consumer `c` to its group: counted among those without a solution where it found
/// none, and its share weights pooled into its sources'.
void addToGroup(StudyGroup& group, const Study& study, const StudyOutcome& outcome, std::size_t c) {
    const StudyConsumer& consumer = study.consumers[c];
    group.consumers.push_back(c);
    const ConsumerOutcome& result = outcome.consumers[c];
    if ((outcome.draws > 0 ? static_cast<std::uint64_t>(result.drawsFeasible) : result.feasible) ==
        0) {
        group.unsolvedRows.push_back(consumer.row);
    }
    const StudySourceSet& set = study.sourceSets[static_cast<std::size_t>(consumer.sourceSet)];
    for (std::size_t s = 0; s < set.sources.size(); ++s) {
        const auto known =
            std::find(group.sources.begin(), group.sources.end(), set.sources[s].label);
        const auto index = static_cast<std::size_t>(known - group.sources.begin());
        if (known == group.sources.end()) {
            group.sources.push_back(set.sources[s].label);
            group.pools.emplace_back();
        }
        StudyGroup::SourcePool& pool = group.pools[index];
        ++pool.consumers;
        if (outcome.draws > 0) {
            pool.runs += outcome.draws;
            pool.runsFeasible += result.drawsFeasible;
            if (result.drawsFeasible > 0) {
                for (int b = 0; b < kHistogramLevels; ++b) {
                    pool.weights[static_cast<std::size_t>(b)] +=
                        result.pooled[s][static_cast<std::size_t>(b)] / result.drawsFeasible;
                }
            }
        } else {
            ++pool.runs;
            if (result.feasible > 0) {
                ++pool.runsFeasible;
                for (int b = 0; b < kHistogramLevels; ++b) {
                    pool.weights[static_cast<std::size_t>(b)] +=
                        static_cast<double>(result.exact[s][static_cast<std::size_t>(b)]) /
                        static_cast<double>(result.feasible);
                }
            }
        }
    }
}

} // namespace

StudySummary summariseStudy(const Study& study, const StudyOutcome& outcome,
                            const std::vector<int>& byFactors) {
    StudySummary summary;
    summary.levels = levelsOf(outcome.increment);
    summary.byFactors = byFactors;
    for (const ConsumerGroup& members : groupConsumers(study, byFactors)) {
        StudyGroup& group = summary.groups.emplace_back(StudyGroup{members.levels, {}, {}, {}, {}});
        for (const std::size_t c : members.consumers) {
            if (c < outcome.consumers.size()) {
                addToGroup(group, study, outcome, c);
            }
        }
    }
    for (StudyGroup& group : summary.groups) {
        for (StudyGroup::SourcePool& pool : group.pools) {
            pool.summary =
                summariseWeights(pool.weights, summary.levels.levelValue, summary.levels.lastLevel);
        }
    }
    return summary;
}

StudyReport composeStudyReport(const Study& study, const StudyOutcome& outcome,
                               const StudySummary& summary) {
    StudyReport report;
    const std::vector<std::string> factors = factorColumns(study);
    std::string factorHeader;
    for (const std::string& name : factors) {
        factorHeader += name + ",";
    }
    const TotalsStatistics& levels = summary.levels;

    report.consumers = "consumer," + factorHeader + "source,feasible,mean,sd,min,p01,p50,p99,max\n";
    if (outcome.draws > 0) {
        report.uncertainty = "consumer," + factorHeader +
                             "source,draws,draws_feasible,mean,sd,p02_5,p25,p50,p75,p97_5\n";
    }
    // The factor columns too, so that the distributions can be drawn by group without joining
    // consumers.csv back on.
    report.histograms = "consumer," + factorHeader + "source,share,weight\n";
    std::vector<std::string> shareTexts;
    for (int b = 0; b <= levels.lastLevel; ++b) {
        shareTexts.push_back(fixed(levels.levelValue[static_cast<std::size_t>(b)], 2));
    }
    for (std::size_t c = 0; c < study.consumers.size(); ++c) {
        const StudyConsumer& consumer = study.consumers[c];
        const ConsumerOutcome& result = outcome.consumers[c];
        const StudySourceSet& set = study.sourceSets[static_cast<std::size_t>(consumer.sourceSet)];
        std::string prefix = std::to_string(consumer.row) + ",";
        for (const std::string& level : consumer.levels) {
            prefix += csvField(level) + ",";
        }
        const TotalsStatistics statistics =
            computeTotalsStatistics(result.exact, result.sources, outcome.increment);
        for (std::size_t s = 0; s < set.sources.size(); ++s) {
            const std::string label = csvField(set.sources[s].label);
            const SourceFigures figures = figuresOf(statistics, static_cast<int>(s));
            report.consumers +=
                prefix + label + "," + std::to_string(result.feasible) + "," +
                optionalFixed(figures.mean, 3) + "," + optionalFixed(figures.stdDev, 3) + "," +
                optionalFixed(figures.minimum, 2) + "," + optionalFixed(figures.p1, 2) + "," +
                optionalFixed(figures.p50, 2) + "," + optionalFixed(figures.p99, 2) + "," +
                optionalFixed(figures.maximum, 2) + "\n";
            if (outcome.draws > 0) {
                report.uncertainty += prefix + label + "," + std::to_string(outcome.draws) + "," +
                                      std::to_string(result.drawsFeasible) + "," +
                                      summaryCells(summariseWeights(
                                          result.pooled[s], levels.levelValue, levels.lastLevel)) +
                                      "\n";
            }
            for (int b = 0; b <= levels.lastLevel; ++b) {
                const auto level = static_cast<std::size_t>(b);
                const std::string& share = shareTexts[level];
                if (outcome.draws > 0 && result.pooled[s][level] > 0.0) {
                    report.histograms += prefix + label + "," + share + "," +
                                         fixed(result.pooled[s][level], 6) + "\n";
                } else if (outcome.draws == 0 && result.exact[s][level] > 0) {
                    report.histograms += prefix + label + "," + share + "," +
                                         std::to_string(result.exact[s][level]) + "\n";
                }
            }
        }
    }

    // Without factors, one group of every consumer: the whole study pooled.
    std::string header;
    for (const int f : summary.byFactors) {
        header += factors[static_cast<std::size_t>(f)] + ",";
    }
    report.groups = header +
                    "source,consumers,draws,draws_feasible,mean,sd,p02_5,p25,p50,p75,p97_5," +
                    "consumers_without_solution\n";
    for (const StudyGroup& group : summary.groups) {
        std::string prefix;
        for (const std::string& level : group.levels) {
            prefix += csvField(level) + ",";
        }
        for (std::size_t s = 0; s < group.sources.size(); ++s) {
            const StudyGroup::SourcePool& pool = group.pools[s];
            report.groups +=
                prefix + csvField(group.sources[s]) + "," + std::to_string(pool.consumers) + "," +
                std::to_string(pool.runs) + "," + std::to_string(pool.runsFeasible) + "," +
                summaryCells(pool.summary) + "," + std::to_string(group.unsolvedRows.size()) + "\n";
        }
    }
    return report;
}

std::vector<int> unsolvedRows(const StudySummary& summary) {
    std::vector<int> rows;
    for (const StudyGroup& group : summary.groups) {
        rows.insert(rows.end(), group.unsolvedRows.begin(), group.unsolvedRows.end());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::optional<std::string> drawsWithoutSolutionNote(const StudyOutcome& outcome,
                                                    const StudySummary& summary) {
    if (outcome.draws == 0 || outcome.consumers.empty()) {
        return std::nullopt;
    }
    std::uint64_t solved = 0;
    for (const ConsumerOutcome& consumer : outcome.consumers) {
        solved += static_cast<std::uint64_t>(consumer.drawsFeasible);
    }
    const auto runs = static_cast<std::uint64_t>(outcome.draws) * outcome.consumers.size();
    if (2 * solved >= runs) {
        return std::nullopt;
    }
    std::string note =
        "only " +
        formatDecimals(100.0 * static_cast<double>(solved) / static_cast<double>(runs), 1) +
        " % of the draws found a solution: most draws put the consumers outside the sources, so "
        "the pooled shares rest on the few that did not";
    const std::vector<int> none = unsolvedRows(summary);
    if (!none.empty()) {
        const bool one = none.size() == 1;
        note += "; " + std::to_string(none.size()) + (one ? " consumer" : " consumers") +
                " found none and " + (one ? "is" : "are") + " left out of the groups (" +
                (one ? "row" : "rows");
        for (std::size_t i = 0; i < none.size() && i < 20; ++i) {
            note += (i == 0 ? " " : ", ") + std::to_string(none[i]);
        }
        note += none.size() > 20 ? ", ...)" : ")";
    }
    return note;
}

} // namespace fenlowick
