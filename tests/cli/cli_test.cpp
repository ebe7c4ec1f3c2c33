#include "core/base/programversion.h"
#include "core/entry/datafile.h"
#include "support/testsupport.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <tuple>

namespace fenlowick {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using testing::HasSubstr;

// The command-line cases: one folder per case under tests/data/cli, run by one runner. The
// folder's files and their conventions are described in tests/data/cli/README.md.

/// What one call of the built fenlowick-cli left behind.
struct CliResult {
    int exitCode = -1;
    std::string out; ///< standard output
    std::string err; ///< standard error
};

/// Runs fenlowick-cli with the arguments in the given working folder, and waits for it.
CliResult runCli(const std::vector<std::string>& arguments, const std::string& workingFolder = {}) {
    test::TempDir capture;
    const int code = test::exitCodeOf(
        test::startCli(arguments, {capture.file("out"), capture.file("err"), workingFolder}));
    return {code, readFile(capture.file("out")), readFile(capture.file("err"))};
}

const fs::path kCases = fs::path(FENLOWICK_TEST_DATA) / "cli";

/// Every file under the folder as a path relative to it, sorted; folders end in "/".
std::vector<std::string> treeOf(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        names.push_back(item.path().lexically_relative(folder).generic_string() +
                        (item.is_directory() ? "/" : ""));
    }
    std::sort(names.begin(), names.end());
    return names;
}

class CliCase : public testing::TestWithParam<std::string> {
protected:
    /// The case's file with the placeholders replaced; fails the test when it is missing.
    std::string caseText(const std::string& name) const {
        const fs::path path = kCases / GetParam() / name;
        EXPECT_TRUE(fs::is_regular_file(path)) << "the case has no file " << path;
        std::string text = readFile(path);
        for (const auto& [from, to] :
             {std::pair<std::string, std::string>{"@CASE@", (kCases / GetParam()).string()},
              {"@OUT@", m_out.path().string()},
              {"@EXAMPLES@", FENLOWICK_EXAMPLES},
              {"@CONFORMANCE@", std::string(FENLOWICK_TEST_DATA) + "/conformance"},
              {"@VERSION@", programVersion()}}) {
            text = test::joined(test::split(text, from), to);
        }
        return text;
    }
    bool has(const std::string& name) const { return fs::exists(kCases / GetParam() / name); }

    /// Compares an output with the case's `name` (exact) or `name.has` (lines in order).
    void expectStream(const std::string& name, const std::string& got) const {
        if (has(name)) {
            EXPECT_EQ(got, caseText(name)) << name;
        }
        if (has(name + ".has")) {
            std::size_t from = 0;
            for (const std::string& line : test::linesOf(caseText(name + ".has"))) {
                const std::size_t at = got.find(line, from);
                EXPECT_NE(at, std::string::npos)
                    << name << " lacks, after the lines before it: " << line << "\n"
                    << name << ":\n"
                    << got;
                from = at == std::string::npos ? from : at + line.size();
            }
        }
        if (has(name + ".not")) {
            for (const std::string& line : test::linesOf(caseText(name + ".not"))) {
                EXPECT_EQ(got.find(line), std::string::npos) << name << " holds: " << line;
            }
        }
    }

    test::TempDir m_out;
};

TEST_P(CliCase, ExitCodeOutputAndFiles) {
    const fs::path folder = kCases / GetParam();
    if (has("folders")) {
        for (const std::string& name : test::linesOf(caseText("folders"))) {
            fs::create_directories(m_out.path() / name);
        }
    }
    if (has("copies")) {
        for (const std::string& line : test::linesOf(caseText("copies"))) {
            const std::size_t tab = line.find('\t');
            ASSERT_NE(tab, std::string::npos) << "copies: no tab in " << line;
            fs::copy(line.substr(0, tab), line.substr(tab + 1));
        }
    }
    if (has("links")) {
        for (const std::string& line : test::linesOf(caseText("links"))) {
            const std::size_t tab = line.find('\t');
            ASSERT_NE(tab, std::string::npos) << "links: no tab in " << line;
            fs::create_symlink(line.substr(0, tab), line.substr(tab + 1));
        }
    }
    std::vector<std::string> arguments = test::linesOf(caseText("args"));
    const std::string exitText = caseText("exit");
    ASSERT_FALSE(exitText.empty() || !std::isdigit(static_cast<unsigned char>(exitText[0])))
        << "exit holds no code";
    ASSERT_FALSE(HasFailure());
    const CliResult r = runCli(arguments, m_out.path().string());
    EXPECT_EQ(r.exitCode, std::stoi(exitText)) << r.err;
    expectStream("stdout", r.out);
    expectStream("stderr", r.err);
    EXPECT_EQ(treeOf(m_out.path()), test::linesOf(caseText("files")));
    if (has("expected")) {
        for (const std::string& name : treeOf(folder / "expected")) {
            if (name.ends_with("/")) {
                continue;
            }
            // A ".from" file names the file to compare with instead of holding it.
            const bool from = name.ends_with(".from");
            const std::string target = name.substr(0, name.size() - (from ? 5 : 0));
            const std::string want =
                from ? readFile(test::linesOf(caseText("expected/" + name)).at(0))
                     : readFile(folder / "expected" / name);
            EXPECT_FALSE(want.empty()) << name;
            const std::string got = readFile(m_out.path() / target);
            // Result files begin with the run's date and time.
            if (target.ends_with(".out") || target.ends_with(".tot")) {
                EXPECT_EQ(test::withoutFirstLine(got), test::withoutFirstLine(want)) << name;
            } else {
                EXPECT_EQ(got, want) << name;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CliCase, testing::ValuesIn(test::foldersIn(kCases)),
                         [](const auto& param) { return test::testNameOf(param.param); });

TEST(CliCases, AreAllFound) {
    EXPECT_GE(test::foldersIn(kCases).size(), 55u);
}

// A batch's files for one mixture are those of a single run of the entry with that mixture:
// the first row of mixtures.csv, and the last, which has no solution.
TEST(BatchCommand, EachMixturesFilesEqualASingleRunOfTheEntryWithThatMixture) {
    test::TempDir temp;
    const std::string batch = std::string(FENLOWICK_EXAMPLES) + "/batch/";
    ASSERT_EQ(
        runCli({"batch", batch + "lake-trout.dat", batch + "mixtures.csv", "-o", temp.file("out")})
            .exitCode,
        0);
    const Entry base = *readDataFile(batch + "lake-trout.dat");
    for (const auto& [label, name, d13C, d15N] :
         {std::tuple{"Lake trout 01", "Lake_trout_01", "-27.1", "11.2"},
          std::tuple{"Lake trout 10", "Lake_trout_10", "-22.9", "12.8"}}) {
        Entry entry = base;
        entry.mixture[0] = d13C;
        entry.mixture[1] = d15N;
        entry.title = base.title + " - mixture " + label;
        const std::string single = temp.file(name);
        ASSERT_TRUE(writeDataFile(single + ".dat", entry));
        ASSERT_EQ(runCli({"run", single + ".dat", "-o", single, "-q"}).exitCode, 0);
        for (const std::string extension : {".tot", ".out"}) {
            const std::string batched = readFile(temp.path() / "out" / (name + extension));
            ASSERT_FALSE(batched.empty()) << label << extension;
            EXPECT_EQ(test::withoutFirstLine(batched),
                      test::withoutFirstLine(readFile(single + extension)))
                << label << extension;
        }
    }
}

// A line break in a value of the job scripts would be a line of its own there, run on the
// cluster, and a blank an option of its own; the log paths are quoted, so a folder with blanks
// keeps its name.
TEST(StudyCommand, JobScriptsRefuseControlCharactersAndBlanksAndQuoteTheirLogPaths) {
    test::TempDir temp;
    const std::vector<std::string> study = test::exampleStudy({"--slurm", "2"});
    for (const auto& [option, value] :
         {std::pair<std::string, std::string>{"--partition", "short\ntouch /tmp/x"},
          {"--time", "1:00:00\r"},
          {"--mem", "4G\x1b[2J"},
          {"--output", temp.file("results\nand more")}}) {
        std::vector<std::string> arguments = study;
        arguments.insert(arguments.end(), {option, value});
        if (option != "--output") {
            arguments.insert(arguments.end(), {"--output", temp.file("refused")});
        }
        const CliResult r = runCli(arguments);
        EXPECT_EQ(r.exitCode, 2) << option;
        EXPECT_THAT(r.err, HasSubstr("a line break or other control character cannot stand in a "
                                     "job script"));
        EXPECT_TRUE(fs::is_empty(temp.path())) << option;
    }
    // sbatch would take what follows a blank on an #SBATCH line as an option of its own.
    for (const std::string option : {"--partition", "--time", "--mem"}) {
        std::vector<std::string> arguments = study;
        arguments.insert(arguments.end(),
                         {option, "short --qos=high", "--output", temp.file("refused")});
        const CliResult r = runCli(arguments);
        EXPECT_EQ(r.exitCode, 2) << option;
        EXPECT_THAT(r.err, HasSubstr("a blank cannot stand in an #SBATCH line")) << option;
        EXPECT_TRUE(fs::is_empty(temp.path())) << option;
    }
    std::vector<std::string> arguments = study;
    arguments.insert(arguments.end(), {"--partition", "short", "--output", temp.file("my study")});
    ASSERT_EQ(runCli(arguments).exitCode, 0);
    const std::string slurm = temp.file("my study") + "/slurm/";
    const std::string array = readFile(slurm + "study.sbatch");
    EXPECT_THAT(array, HasSubstr("#SBATCH --partition=short\n"));
    EXPECT_THAT(array, HasSubstr("#SBATCH --output=\"" + slurm + "shard-%a.log\"\n"));
    EXPECT_THAT(readFile(slurm + "merge.sbatch"),
                HasSubstr("#SBATCH --output=\"" + slurm + "merge.log\"\n"));

    // A hundred thousand shards: their folders go to a list, not onto the merge's command line.
    arguments = study;
    arguments.back() = "100000";
    arguments.insert(arguments.end(), {"--output", temp.file("many")});
    ASSERT_EQ(runCli(arguments).exitCode, 0);
    const std::string many = temp.file("many") + "/slurm/";
    EXPECT_LT(readFile(many + "merge.sbatch").size(), 2000u);
    const std::vector<std::string> listed = test::linesOf(readFile(many + "shards.txt"));
    ASSERT_EQ(listed.size(), 100000u);
    EXPECT_EQ(listed.back(), temp.file("many") + "/shards/shard-99999");
}

// What --entry-of writes and prints must run and give the study's result, also where a run
// on its own would refuse the entry: two sources, or means of many decimal places.
TEST(StudyCommand, TheEntryOfAConsumerRunsAsTheStudyRanIt) {
    test::TempDir temp;
    test::writeFile(temp.file("sources.csv"), "Source,Meand13C,SDd13C\nA,0,1\nB,10.1234567,1\n");
    test::writeFile(temp.file("consumers.csv"), "d13C\n4\n6.5\n");
    const std::vector<std::string> study = {
        "study", temp.file("sources.csv"), temp.file("consumers.csv"), "-i", "2", "-t", "0.5"};
    std::vector<std::string> whole = study;
    whole.insert(whole.end(), {"--no-figures", "-q", "-o", temp.file("whole")});
    ASSERT_EQ(runCli(whole).exitCode, 0);
    const std::vector<std::string> rows = test::linesOf(readFile(temp.file("whole/consumers.csv")));
    ASSERT_EQ(rows.size(), 5u); // the header and two sources for each of two consumers
    for (const std::string consumer : {"1", "2"}) {
        std::vector<std::string> entryOf = study;
        entryOf.insert(entryOf.end(), {"--entry-of", consumer, "-o", temp.file("entries")});
        const CliResult written = runCli(entryOf);
        ASSERT_EQ(written.exitCode, 0) << written.err;
        const std::string data = temp.file("entries/consumer-" + consumer + ".dat");
        EXPECT_THAT(written.out, HasSubstr("Run it as the study does with: fenlowick-cli run '" +
                                           data + "' --as-study\n"));
        EXPECT_EQ(runCli({"run", data, "-o", temp.file("plain-" + consumer)}).exitCode, 1);
        const CliResult again = runCli({"run", data, "--as-study", "-o", temp.file("again")});
        ASSERT_EQ(again.exitCode, 0) << again.err;
        // The study's count of solutions for the consumer, against the run's.
        const std::string row = rows[consumer == std::string("1") ? 1 : 3];
        const std::string feasible = row.substr(row.find(',', 2) + 1);
        EXPECT_THAT(again.out, HasSubstr("Feasible solutions: " +
                                         feasible.substr(0, feasible.find(',')) + " of "))
            << row;
    }
}

} // namespace
} // namespace fenlowick
