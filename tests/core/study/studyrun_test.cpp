#include "core/study/studyrun.h"

#include "core/engine/engine.h"
#include "core/entry/checks.h"
#include "core/entry/datafile.h"
#include "core/results/totalsfile.h"
#include "core/results/totalsstatistics.h"
#include "core/study/studyreport.h"
#include "core/study/studyshard.h"
#include "core/workflows/calculationrun.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace fenlowick {
namespace {

/// A reference study read from tests/data/studies, with the increment and tolerance of its
/// options file.
struct ReferenceStudy {
    Study study;
    StudySettings settings;
};

ReferenceStudy referenceStudy(const std::string& name) {
    const std::string folder = std::string(FENLOWICK_TEST_DATA) + "/studies/cases/" + name + "/";
    const Expected<CsvTable> sources = CsvTable::read(folder + "sources.csv");
    const Expected<CsvTable> consumers = CsvTable::read(folder + "consumers.csv");
    const Expected<CsvTable> discrimination = CsvTable::read(folder + "discrimination.csv");
    ReferenceStudy reference{test::valueOf(readStudy(*sources, *consumers, &*discrimination)), {}};
    const std::string options = test::readFile(folder + "options.txt");
    auto after = [&](const std::string& flag) {
        const std::size_t start = options.find(flag) + flag.size() + 1;
        return options.substr(start, options.find_first_of(" \n", start) - start);
    };
    reference.settings.options.increment = after("--increment");
    reference.settings.options.tolerance = after("--tolerance");
    return reference;
}

/// The files a run of the study writes: its tables (grouped by the factors `by`) and its
/// partial results.
std::string studyFiles(const Study& study, const StudySettings& settings,
                       const std::vector<int>& by = {}) {
    const StudyOutcome outcome = test::valueOf(runStudy(study, settings));
    const StudyReport report =
        composeStudyReport(study, outcome, summariseStudy(study, outcome, by));
    return report.consumers + report.uncertainty + report.groups + report.histograms +
           composePartials(study, outcome, settings);
}

TEST(StudyRun, AConsumerWhoseEntryIsADataFileGetsTheHistogramsOfItsRun) {
    const auto [study, settings] = referenceStudy("summary-rows");
    const StudyOutcome outcome = test::valueOf(runStudy(study, settings));
    test::TempDir dir;
    for (std::size_t c = 0; c < study.consumers.size(); ++c) {
        SCOPED_TRACE("consumer " + std::to_string(c + 1));
        const std::string data = dir.file("consumer.dat");
        test::writeFile(data, serializeDataFile(*studyEntry(study, c, 0, settings.options)));
        ASSERT_EQ(
            runCalculation(test::runRequest(*readDataFile(data), dir.path(), "consumer", false))
                .status,
            RunOutcome::Status::Completed);
        const TotalsFile totals = test::valueOf(readTotalsFile(dir.file("consumer.tot")));
        const ConsumerOutcome& result = outcome.consumers[c];
        EXPECT_EQ(totals.observations, result.feasible);
        for (std::size_t b = 0; b < totals.counts.size(); ++b) {
            for (std::size_t s = 0; s < totals.counts[b].size(); ++s) {
                EXPECT_EQ(totals.counts[b][s], result.exact[s][b]) << "level " << b;
            }
        }
    }
}

TEST(StudyRun, DrawsWithEverySdZeroPoolTheExactRunsDistribution) {
    auto [study, settings] = referenceStudy("summary-rows");
    for (StudySourceSet& set : study.sourceSets) {
        for (StudySource& source : set.sources) {
            source.sds.assign(source.sds.size(), 0.0);
        }
        for (StudyDiscrimination& shift : set.discrimination) {
            shift.sds.assign(shift.sds.size(), 0.0);
        }
    }
    settings.options.draws = 3;
    for (const ConsumerOutcome& result : test::valueOf(runStudy(study, settings)).consumers) {
        EXPECT_EQ(result.drawsFeasible, result.feasible > 0 ? 3 : 0);
        for (int s = 0; s < result.sources; ++s) {
            for (int b = 0; b < kHistogramLevels; ++b) {
                const double exact = result.feasible == 0
                                         ? 0.0
                                         : 3.0 * static_cast<double>(result.exact[s][b]) /
                                               static_cast<double>(result.feasible);
                EXPECT_NEAR(result.pooled[s][b], exact, 1e-12);
            }
        }
    }
}

TEST(StudyRun, TheSameSeedGivesTheSameFilesWhateverTheThreads) {
    auto [study, settings] = referenceStudy("factor-unnamed-label");
    settings.options.draws = 120; // three tasks per consumer
    auto report = [&](int threads, std::uint64_t seed) {
        StudySettings chosen = settings;
        chosen.threads = threads;
        chosen.options.seed = seed;
        return studyFiles(study, chosen, {0});
    };
    const std::string one = report(1, 7);
    EXPECT_EQ(report(2, 7), one);
    EXPECT_NE(report(2, 8), one);
}

TEST(StudyRun, FeasibleDrawsAndPooledMeanAgreeWithAnIndependentCount) {
    auto [study, settings] = referenceStudy("factor-unnamed-label");
    settings.options.draws = 40;
    const StudyOutcome outcome = test::valueOf(runStudy(study, settings));
    const float increment = outcome.increment;
    for (std::size_t c = 0; c < study.consumers.size(); ++c) {
        SCOPED_TRACE("consumer " + std::to_string(c + 1));
        const ConsumerOutcome& result = outcome.consumers[c];
        // Each draw searched by the plain loops and pooled here.
        int feasibleDraws = 0;
        std::vector<double> meanSum(static_cast<std::size_t>(result.sources), 0.0);
        for (int d = 1; d <= settings.options.draws; ++d) {
            const EngineResult found =
                enumeratePlain(test::valueOf(checkEntry(*studyEntry(study, c, d, settings.options),
                                                        CheckRules{false, 2})),
                               nullptr, {});
            if (found.feasibleCount == 0) {
                continue;
            }
            ++feasibleDraws;
            for (int s = 0; s < result.sources; ++s) {
                for (int b = 0; b < kHistogramLevels; ++b) {
                    const double share = std::round(static_cast<double>(b) * increment) / 100.0;
                    meanSum[static_cast<std::size_t>(s)] +=
                        share * static_cast<double>(found.histograms[s][b]) /
                        static_cast<double>(found.feasibleCount);
                }
            }
        }
        EXPECT_EQ(result.drawsFeasible, feasibleDraws);
        const TotalsStatistics levels = computeTotalsStatistics({}, 0, increment);
        for (int s = 0; s < result.sources && feasibleDraws > 0; ++s) {
            const auto summary =
                summariseWeights(result.pooled[s], levels.levelValue, levels.lastLevel);
            ASSERT_TRUE(summary);
            EXPECT_NEAR(summary->mean, meanSum[static_cast<std::size_t>(s)] / feasibleDraws, 1e-6);
        }
    }
    // The draws differ: some consumer is neither always nor never inside the sources.
    bool spread = false;
    for (const ConsumerOutcome& result : outcome.consumers) {
        spread =
            spread || (result.drawsFeasible > 0 && result.drawsFeasible < settings.options.draws);
    }
    EXPECT_TRUE(spread);
}

// histograms.csv: the consumers' factors beside each row, and with draws a consumer's weights
// of a source add up to its draws with a solution (each such draw weighs one in all).
TEST(StudyRun, HistogramRowsCarryTheFactorsAndWeighEachFeasibleDrawOne) {
    auto [study, settings] = referenceStudy("factor-unnamed-label");
    settings.options.draws = 40;
    const StudyOutcome outcome = test::valueOf(runStudy(study, settings));
    const StudyReport report =
        composeStudyReport(study, outcome, summariseStudy(study, outcome, {}));
    const std::vector<std::string> lines = test::linesOf(report.histograms);
    ASSERT_FALSE(lines.empty());
    const std::size_t factors = study.factors.size();
    ASSERT_GT(factors, 0u);
    EXPECT_EQ(std::count(lines[0].begin(), lines[0].end(), ','), static_cast<long>(factors + 3));
    std::map<std::pair<std::size_t, std::string>, double> sums;
    for (std::size_t l = 1; l < lines.size(); ++l) {
        const std::vector<std::string> cells = test::split(lines[l], ",");
        ASSERT_EQ(cells.size(), factors + 4) << lines[l];
        const std::size_t c = std::stoul(cells[0]) - 1;
        for (std::size_t f = 0; f < factors; ++f) {
            EXPECT_EQ(cells[1 + f], study.consumers[c].levels[f]) << lines[l];
        }
        sums[{c, cells[factors + 1]}] += std::stod(cells[factors + 3]);
    }
    for (const auto& [key, sum] : sums) {
        EXPECT_NEAR(sum, outcome.consumers[key.first].drawsFeasible, 1e-4) << key.second;
    }
}

/// The process's number locale switched to German, whose decimal point is a comma, for the
/// object's life. The locale is compiled into a temporary folder from the system's locale
/// sources, so that the test needs no locale installed.
class CommaDecimalLocale {
public:
    CommaDecimalLocale() {
        const std::string command =
            "localedef -i de_DE -f UTF-8 '" + m_folder.file("de_DE.UTF-8") + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) == 0 &&
            ::setenv("LOCPATH", m_folder.file("").c_str(), 1) == 0) {
            std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
        }
    }
    ~CommaDecimalLocale() {
        std::setlocale(LC_NUMERIC, "C");
        ::unsetenv("LOCPATH");
    }
    CommaDecimalLocale(const CommaDecimalLocale&) = delete;
    CommaDecimalLocale& operator=(const CommaDecimalLocale&) = delete;

    /// True when C's own formatting now writes a comma.
    static bool active() {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%.1f", 1.5);
        return std::string(buffer) == "1,5";
    }

private:
    test::TempDir m_folder;
};

TEST(StudyRun, TheFilesDoNotDependOnTheNumberLocale) {
    auto [study, settings] = referenceStudy("summary-rows");
    settings.options.draws = 30;
    const std::string inC = studyFiles(study, settings);
    ASSERT_FALSE(inC.empty());
    const CommaDecimalLocale german;
    ASSERT_TRUE(CommaDecimalLocale::active()) << "the comma-decimal locale could not be made";
    EXPECT_EQ(studyFiles(study, settings), inC);
}

} // namespace
} // namespace fenlowick
