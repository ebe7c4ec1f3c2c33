#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>

namespace fenlowick {
namespace {

const std::string kExpected = std::string(FENLOWICK_TEST_DATA) + "/conformance/expected/";

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

/// Runs fenlowick-cli with `arguments` (already quoted for the shell).
CliResult runCli(const test::TempDir& temp, const std::string& arguments) {
    const std::string out = temp.file("stdout.txt");
    const std::string err = temp.file("stderr.txt");
    const std::string command =
        std::string("\"") + FENLOWICK_CLI + "\" " + arguments + " >" + out + " 2>" + err;
    const int status = std::system(command.c_str());
    CliResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = test::readFile(out);
    result.err = test::readFile(err);
    return result;
}

TEST(Cli, RunWithoutSolutionsPrintsTheDiagnosisAfterTheNotice) {
    test::TempDir temp;
    const CliResult result =
        runCli(temp, std::string("run \"") + FENLOWICK_EXAMPLES +
                         "/geese-outside-sources.dat\" --output \"" + temp.file("geese") + "\"");
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
}

TEST(Cli, RunWithSolutionsPrintsNoDiagnosis) {
    test::TempDir temp;
    const CliResult result =
        runCli(temp, std::string("run \"") + FENLOWICK_EXAMPLES +
                         "/diet-two-isotopes.dat\" --output \"" + temp.file("diet") + "\"");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.find("The mixture lies"), std::string::npos) << result.out;
}

TEST(Cli, DiagnoseOnRequest) {
    test::TempDir temp;
    CliResult result =
        runCli(temp, std::string("diagnose \"") + FENLOWICK_EXAMPLES + "/heron-no-solution.dat\"");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.rfind("The mixture lies outside the sources for d13C/d15N", 0), 0u)
        << result.out;

    result = runCli(temp, "diagnose \"" + std::string(FENLOWICK_TEST_DATA) +
                              "/conformance/cases/refuse-source-label.dat\"");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "You forgot to enter SOURCE labels for all your data\n");
}

TEST(Cli, CombineWritesATotalsFileBesideTheRun) {
    test::TempDir temp;
    test::writeFile(temp.path() / "lake.out", test::readFile(kExpected + "generated-3.out"));
    CliResult result = runCli(temp, "combine \"" + temp.file("lake.out") +
                                        "\" --group Odd=S1,S3,S5 -g \"Even=S2,S4,S6\"");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string totals = test::readFile(temp.path() / "lake-combined.tot");
    EXPECT_NE(totals.find("\"INC\",\"Odd\",\"Even\",\"\","), std::string::npos) << totals;
    EXPECT_NE(result.out.find("Combined sources: Odd, Even\n"), std::string::npos) << result.out;
    EXPECT_EQ(test::filesIn(temp.path()), (std::vector<std::string>{"lake-combined.tot", "lake.out",
                                                                    "stderr.txt", "stdout.txt"}));

    result = runCli(temp, "combine \"" + temp.file("lake.out") +
                              "\" --group Odd=S1,S3 --output \"" + temp.file("mine.txt") + "\"");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(test::readFile(temp.path() / "mine.tot").find("\"INC\",\"Odd\",\"S2\","),
              std::string::npos);
}

TEST(Cli, CombineRefusalsAndTheirExitCodes) {
    test::TempDir temp;
    const std::string run =
        "combine \"" + kExpected + "generated-3.out\" --output \"" + temp.file("x") + "\" ";
    CliResult result = runCli(temp, run + "--group Marine=S1,Fish");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("There is no source called \"Fish\""), std::string::npos)
        << result.err;

    result = runCli(temp, run + "--group A=S1,S2 --group B=S2,S3");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("The source \"S2\" is in two groups, \"A\" and \"B\"."),
              std::string::npos)
        << result.err;

    result = runCli(temp, run + "--group Marine");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("has no \"=\""), std::string::npos) << result.err;

    result = runCli(temp, "combine \"" + kExpected + "generated-3.tot\" --output \"" +
                              temp.file("x") + "\" --group A=S1,S2");
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_NE(result.err.find("This is not a feasible-output (.out) file"), std::string::npos)
        << result.err;

    result = runCli(temp, "combine \"" + temp.file("missing.out") + "\" --group A=S1,S2");
    EXPECT_EQ(result.exitCode, 3);

    result = runCli(temp, "combine \"" + kExpected + "generated-3.out\"");
    EXPECT_EQ(result.exitCode, 2); // --group is required
    // Nothing was written by any refused command.
    EXPECT_EQ(test::filesIn(temp.path()), (std::vector<std::string>{"stderr.txt", "stdout.txt"}));
}

} // namespace
} // namespace fenlowick
