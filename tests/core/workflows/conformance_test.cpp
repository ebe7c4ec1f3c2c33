#include "core/entry/checks.h"
#include "core/results/totalsfile.h"
#include "core/results/totalsstatistics.h"
#include "core/workflows/calculationrun.h"

#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace fenlowick {
namespace {

using test::filesIn;
using test::readFile;

const std::filesystem::path kConformance =
    std::filesystem::path(FENLOWICK_TEST_DATA) / "conformance";

std::vector<std::string> caseNames() {
    std::vector<std::string> names;
    for (const std::string& file : filesIn(kConformance / "cases")) {
        if (file.size() > 4 && file.ends_with(".dat")) {
            names.push_back(file.substr(0, file.size() - 4));
        }
    }
    return names;
}

/// The totals file read back holds what the run was given, and statistics that agree with a
/// second computation from its own histogram table.
void expectTotalsReadBack(const Entry& entry, const std::string& text) {
    const TotalsFile file = test::valueOf(parseTotalsFile(text));
    const CalculationInput input = deriveCalculationInput(entry);
    EXPECT_EQ(file.title, entry.title);
    EXPECT_EQ(file.tolerance, entry.threshold);
    EXPECT_EQ(file.isotopes,
              std::vector<std::string>(entry.isotope.begin(),
                                       entry.isotope.begin() + input.lastIsotope + 1));
    EXPECT_EQ(file.sources, std::vector<std::string>(entry.sources.begin(),
                                                     entry.sources.begin() + input.lastSource + 1));
    // Recompute from the histogram table and compare with the printed statistics: the
    // reader of the blocks and the statistics code must agree on every figure.
    const int sources = static_cast<int>(file.sources.size());
    ShareHistograms histograms{};
    std::uint64_t firstColumn = 0;
    for (std::size_t b = 0; b < file.counts.size(); ++b) {
        for (int s = 0; s < sources; ++s) {
            histograms[static_cast<std::size_t>(s)][b] =
                file.counts[b][static_cast<std::size_t>(s)];
        }
        firstColumn += file.counts[b][0];
    }
    EXPECT_EQ(file.observations, firstColumn);
    EXPECT_EQ(file.increment, entry.increment + "%");
    const TotalsStatistics statistics =
        computeTotalsStatistics(histograms, sources, input.incrementPercent);
    ASSERT_EQ(static_cast<std::size_t>(statistics.lastLevel) + 1, file.levels.size());
    for (std::size_t b = 0; b < file.levels.size(); ++b) {
        EXPECT_EQ(static_cast<float>(file.levels[b]), statistics.levelValue[b]) << b;
    }
    for (int s = 0; s < sources; ++s) {
        EXPECT_EQ(file.figures[static_cast<std::size_t>(s)], figuresOf(statistics, s)) << s;
    }
}

class Conformance : public testing::TestWithParam<std::string> {};

// Each case runs three times: with the bar following the first source's share, without the
// feasible file, and reporting the fraction done (which counts the solutions first). Each
// run writes the expected files, and the reporting run moves the bar only while it writes.
TEST_P(Conformance, ResultFilesMatchWhateverIsWrittenOrReported) {
    const std::string name = GetParam();
    const Entry entry = test::entryOf((kConformance / "cases" / (name + ".dat")).string());
    const std::filesystem::path expected = kConformance / "expected";
    std::vector<float> shares[2];
    std::vector<double> fractions;
    RunOutcome first;
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        test::TempDir dir;
        RunRequest request = test::runRequest(entry, dir.path(), name, run != 1);
        request.clock = [] { return DateTimeTexts{"DATE", "TIME"}; }; // as in the expected files
        if (run != 1) {
            request.progress = [&, run](float share) { shares[run / 2].push_back(share); };
        }
        if (run == 2) {
            request.fractionDone = [&](double fraction) { fractions.push_back(fraction); };
        }
        const RunOutcome outcome = runCalculation(request);
        if (std::filesystem::exists(expected / (name + ".msg"))) {
            EXPECT_EQ(outcome.status, RunOutcome::Status::Refused);
            EXPECT_EQ(outcome.message,
                      test::joined(test::linesOf(readFile(expected / (name + ".msg"))), "\n"));
            EXPECT_TRUE(filesIn(dir.path()).empty());
            return;
        }
        ASSERT_EQ(outcome.status, RunOutcome::Status::Completed) << outcome.message;
        first = run == 0 ? outcome : first;
        EXPECT_EQ(outcome.feasibleCount, first.feasibleCount);
        EXPECT_EQ(outcome.visitedCount, first.visitedCount);
        EXPECT_EQ(outcome.feasiblePath.empty(), run == 1);
        EXPECT_EQ(filesIn(dir.path()).size(), run == 1 ? 1u : 2u);
        for (const std::string extension : {".out", ".tot"}) {
            const std::string want = readFile(expected / (name + extension));
            ASSERT_FALSE(want.empty()) << name << extension;
            const std::string got = readFile(dir.path() / (name + extension));
            // Compared as whole texts so that a difference shows where it is.
            EXPECT_EQ(got, run == 1 && extension == ".out" ? "" : want) << name << extension;
        }
        expectTotalsReadBack(entry, readFile(dir.path() / (name + ".tot")));
    }
    if (first.feasibleCount > 0) {
        EXPECT_EQ(shares[1], shares[0]);
    }
    ASSERT_FALSE(fractions.empty());
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    EXPECT_GT(fractions.front(), 0.0);
    EXPECT_EQ(fractions.back(), 1.0);
}

INSTANTIATE_TEST_SUITE_P(Cases, Conformance, testing::ValuesIn(caseNames()),
                         [](const auto& param) { return test::testNameOf(param.param); });

} // namespace
} // namespace fenlowick
