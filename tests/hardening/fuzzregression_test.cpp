#include "fuzztargets.h"

#include "support/testsupport.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fenlowick {
namespace {

using Target = int (*)(const std::uint8_t*, std::size_t);

/// Replays every file of a folder of tests/data through a target; a failure aborts the test
/// program.
std::size_t replay(const std::string& folder, Target target) {
    const std::filesystem::path path = std::filesystem::path(FENLOWICK_TEST_DATA) / folder;
    std::size_t count = 0;
    for (const auto& item : std::filesystem::directory_iterator(path)) {
        const std::string bytes = test::readFile(item.path());
        target(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        ++count;
    }
    return count;
}

// The kept inputs of each target: inputs that once crashed, hung or broke an invariant, and
// hand-made hostile ones.
TEST(FuzzRegression, KeptInputsPassEveryTarget) {
    EXPECT_GT(replay("fuzz/datafile", fuzz::fuzzDataFile), 0u);
    EXPECT_GT(replay("fuzz/fieldreader", fuzz::fuzzFieldReader), 0u);
    EXPECT_GT(replay("fuzz/numerictext", fuzz::fuzzNumericText), 0u);
    EXPECT_GT(replay("fuzz/calculation", fuzz::fuzzCalculation), 0u);
    EXPECT_GT(replay("fuzz/resultreaders", fuzz::fuzzResultReaders), 0u);
    EXPECT_GT(replay("fuzz/csvtable", fuzz::fuzzCsvTable), 0u);
    EXPECT_GT(replay("fuzz/studytables", fuzz::fuzzStudyTables), 0u);
    EXPECT_GT(replay("fuzz/shardmanifest", fuzz::fuzzShardManifest), 0u);
    EXPECT_GT(replay("fuzz/shardpartials", fuzz::fuzzShardPartials), 0u);
    EXPECT_GT(replay("fuzz/posteriorpartials", fuzz::fuzzPosteriorPartials), 0u);
    EXPECT_GT(replay("fuzz/sharelimits", fuzz::fuzzShareLimits), 0u);
    EXPECT_GT(replay("fuzz/import", fuzz::fuzzImport), 0u);
}

// Texts built from the characters that matter to the CSV reader, in a fixed pseudo-random
// order: every table read has its rows on increasing lines and only numeric numbers, and
// every refusal names the file.
TEST(FuzzRegression, PseudoRandomTextsPassTheCsvTarget) {
    const std::string alphabet = ",;\t\"\r\n a1.-\xE9";
    std::uint32_t state = 12345;
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        state = state * 1664525u + 1013904223u;
        for (std::uint32_t i = 0, length = (state >> 8) % 40; i < length; ++i) {
            state = state * 1664525u + 1013904223u;
            text += alphabet[(state >> 8) % alphabet.size()];
        }
        fuzz::fuzzCsvTable(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    }
}

TEST(FuzzRegression, TheProgramsOwnFilesPassTheReaderAndCalculationTargets) {
    for (const Target target : {fuzz::fuzzDataFile, fuzz::fuzzFieldReader, fuzz::fuzzCalculation}) {
        EXPECT_GT(replay("conformance/cases", target), 0u);
    }
    EXPECT_GT(replay("conformance/expected", fuzz::fuzzResultReaders), 0u);
}

} // namespace
} // namespace fenlowick
