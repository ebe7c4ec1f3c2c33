#include "clirunner.h"
#include "testsupport.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

const std::string kExpected = std::string(FENLOWICK_TEST_DATA) + "/conformance/expected/";
const std::string kExamples = std::string(FENLOWICK_EXAMPLES) + "/";

TEST(Cli, RunPrintsTheDiagnosisAfterTheNoticeOnlyWithoutSolutions) {
    test::TempDir temp;
    test::CliResult result = test::runCli(
        {"run", kExamples + "geese-outside-sources.dat", "--output", temp.file("geese")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::size_t notice =
        result.out.find("Total Observations = 0, so no statistics could be generated\n");
    const std::size_t diagnosis = result.out.find(
        "The mixture lies outside the sources for d13C/d15N (it lies above every source for "
        "d15N); a tolerance of ");
    const std::size_t completed = result.out.find("Completed Calculations : Began: ");
    ASSERT_NE(notice, std::string::npos) << result.out;
    ASSERT_NE(diagnosis, std::string::npos) << result.out;
    EXPECT_LT(notice, diagnosis);
    EXPECT_LT(diagnosis, completed);
    // The totals file is the plain zero-observation file.
    const std::string totals = test::readFile(temp.path() / "geese.tot");
    EXPECT_NE(totals.find("\"Total\",\"Observations\",\"= 0\""), std::string::npos);
    EXPECT_EQ(totals.find("mixture"), std::string::npos);

    result =
        test::runCli({"run", kExamples + "diet-two-isotopes.dat", "--output", temp.file("diet")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.find("The mixture lies"), std::string::npos) << result.out;
}

TEST(Cli, DiagnoseOnRequest) {
    test::CliResult result = test::runCli({"diagnose", kExamples + "heron-no-solution.dat"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.rfind("The mixture lies outside the sources for d13C/d15N", 0), 0u)
        << result.out;

    result = test::runCli({"diagnose", std::string(FENLOWICK_TEST_DATA) +
                                           "/conformance/cases/refuse-source-label.dat"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "You forgot to enter SOURCE labels for all your data\n");
}

TEST(Cli, CombineWritesATotalsFileBesideTheRun) {
    test::TempDir temp;
    test::writeFile(temp.path() / "lake.out", test::readFile(kExpected + "generated-3.out"));
    test::CliResult result = test::runCli(
        {"combine", temp.file("lake.out"), "--group", "Odd=S1,S3,S5", "-g", "Even=S2,S4,S6"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string totals = test::readFile(temp.path() / "lake-combined.tot");
    EXPECT_NE(totals.find("\"INC\",\"Odd\",\"Even\",\"\","), std::string::npos) << totals;
    EXPECT_NE(result.out.find("Combined sources: Odd, Even\n"), std::string::npos) << result.out;
    EXPECT_EQ(test::filesIn(temp.path()),
              (std::vector<std::string>{"lake-combined.tot", "lake.out"}));

    result = test::runCli({"combine", temp.file("lake.out"), "--group", "Odd=S1,S3", "--output",
                           temp.file("mine.txt")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(test::readFile(temp.path() / "mine.tot").find("\"INC\",\"Odd\",\"S2\","),
              std::string::npos);
}

TEST(Cli, CombineRefusalsAndTheirExitCodes) {
    test::TempDir temp;
    const std::string run = kExpected + "generated-3.out";
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        std::string error; // a part of the message; empty for any
    };
    const Case cases[] = {
        {{run, "--group", "Marine=S1,Fish"}, 2, "There is no source called \"Fish\""},
        {{run, "--group", "Marine"}, 2, "has no \"=\""},
        {{kExpected + "generated-3.tot", "--group", "A=S1,S2"},
         3,
         "This is not a feasible-output (.out) file"},
        {{temp.file("missing.out"), "--group", "A=S1,S2"}, 3, ""},
        {{run}, 2, ""}, // --group is required
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments{"combine"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        arguments.insert(arguments.end(), {"--output", temp.file("x")});
        const test::CliResult result = test::runCli(arguments);
        SCOPED_TRACE(c.arguments.back());
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_NE(result.err.find(c.error), std::string::npos) << result.err;
    }
    // Nothing was written by any refused command.
    EXPECT_TRUE(test::filesIn(temp.path()).empty());
}

} // namespace
} // namespace fenlowick
