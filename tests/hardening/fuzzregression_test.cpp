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
    EXPECT_GT(replay("posteriorpartials", fuzz::fuzzPosteriorPartials), 0u);
    EXPECT_GT(replay("sharelimits", fuzz::fuzzShareLimits), 0u);
    EXPECT_GT(replay("import", fuzz::fuzzImport), 0u);
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
