#include "core/entry/datafile.h"
#include "core/workflows/calculationrun.h"

#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fenlowick {
namespace {

using test::filesIn;
using test::readFile;
using test::TempDir;
using test::withoutFirstLine;

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

class Conformance : public testing::TestWithParam<std::string> {};

TEST_P(Conformance, ResultFilesMatchFromTheSecondLineOn) {
    const std::string name = GetParam();
    const auto entry = readDataFile((kConformance / "cases" / (name + ".dat")).string());
    ASSERT_TRUE(entry) << entry.error().message;

    TempDir dir;
    const RunOutcome outcome = runCalculation(test::runRequest(*entry, dir.path(), name));

    const std::filesystem::path expected = kConformance / "expected";
    if (std::filesystem::exists(expected / (name + ".msg"))) {
        EXPECT_EQ(outcome.status, RunOutcome::Status::Refused);
        EXPECT_EQ(outcome.message,
                  test::joined(test::linesOf(readFile(expected / (name + ".msg"))), "\n"));
        EXPECT_TRUE(filesIn(dir.path()).empty());
        return;
    }
    ASSERT_EQ(outcome.status, RunOutcome::Status::Completed) << outcome.message;
    for (const char* extension : {".out", ".tot"}) {
        const std::string want = readFile(expected / (name + extension));
        ASSERT_FALSE(want.empty()) << name << extension;
        const std::string got = readFile(dir.path() / (name + extension));
        // Compared as whole texts so that a difference shows where it is.
        EXPECT_EQ(withoutFirstLine(got), withoutFirstLine(want)) << name << extension;
    }
    EXPECT_EQ(filesIn(dir.path()).size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Cases, Conformance, testing::ValuesIn(caseNames()),
                         [](const auto& param) { return test::testNameOf(param.param); });

} // namespace
} // namespace fenlowick
