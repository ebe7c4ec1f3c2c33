#include "fuzztargets.h"

#include "support/testsupport.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fenlowick {
namespace {

using Target = int (*)(const std::uint8_t*, std::size_t);

/// Replays every kept input of a target (inputs that once crashed, hung or broke an
/// invariant, and hand-made hostile ones); a failure aborts the test program.
std::size_t replay(const std::string& folder, Target target) {
    const std::filesystem::path path = std::filesystem::path(FENLOWICK_TEST_DATA) / "fuzz" / folder;
    std::size_t count = 0;
    for (const auto& item : std::filesystem::directory_iterator(path)) {
        const std::string bytes = test::readFile(item.path());
        target(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        ++count;
    }
    return count;
}

TEST(FuzzRegression, KeptInputsPassEveryTarget) {
    EXPECT_GT(replay("datafile", fuzz::fuzzDataFile), 0u);
    EXPECT_GT(replay("fieldreader", fuzz::fuzzFieldReader), 0u);
    EXPECT_GT(replay("numerictext", fuzz::fuzzNumericText), 0u);
    EXPECT_GT(replay("calculation", fuzz::fuzzCalculation), 0u);
    EXPECT_GT(replay("resultreaders", fuzz::fuzzResultReaders), 0u);
    EXPECT_GT(replay("csvtable", fuzz::fuzzCsvTable), 0u);
    EXPECT_GT(replay("studytables", fuzz::fuzzStudyTables), 0u);
    EXPECT_GT(replay("shardmanifest", fuzz::fuzzShardManifest), 0u);
    EXPECT_GT(replay("shardpartials", fuzz::fuzzShardPartials), 0u);
    EXPECT_GT(replay("sharelimits", fuzz::fuzzShareLimits), 0u);
    EXPECT_GT(replay("import", fuzz::fuzzImport), 0u);
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
    const std::filesystem::path cases =
        std::filesystem::path(FENLOWICK_TEST_DATA) / "conformance" / "cases";
    for (const auto& item : std::filesystem::directory_iterator(cases)) {
        const std::string bytes = test::readFile(item.path());
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
        fuzz::fuzzDataFile(data, bytes.size());
        fuzz::fuzzFieldReader(data, bytes.size());
        fuzz::fuzzCalculation(data, bytes.size());
    }
    const std::filesystem::path results =
        std::filesystem::path(FENLOWICK_TEST_DATA) / "conformance" / "expected";
    for (const auto& item : std::filesystem::directory_iterator(results)) {
        const std::string bytes = test::readFile(item.path());
        fuzz::fuzzResultReaders(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
}

} // namespace
} // namespace fenlowick
