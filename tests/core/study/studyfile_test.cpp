#include "core/study/studyfile.h"

#include "core/base/atomicfile.h"

#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fenlowick {
namespace {

StudyFile exampleStudy(const test::TempDir& temp) {
    StudyFile study;
    study.sources = temp.file("tables/sources.csv");
    study.consumers = temp.file("tables/consumers.csv");
    study.discrimination = temp.file("tables/discrimination.csv");
    study.computes = StudyComputes::Both;
    study.options.increment = "2";
    study.options.tolerance = "0.5";
    study.options.draws = 20;
    study.options.seed = 18446744073709551615u;
    study.options.by = {"Region", "Pack"};
    study.options.limits = {"Small fish=10-40", "Algae+Snails>=20"};
    study.options.concentrations = false;
    study.options.error = "process";
    study.options.prior = "Algae=2,Snails=1";
    return study;
}

TEST(StudyFile, ReadsBackWhatItWroteWithTablesRelativeToTheFile) {
    test::TempDir temp;
    const StudyFile study = exampleStudy(temp);
    const std::string path = temp.file("studies/lake.fenstudy");
    std::filesystem::create_directories(temp.path() / "studies");
    const std::string text = composeStudyFile(study, path);
    EXPECT_NE(text.find("\"../tables/sources.csv\""), std::string::npos) << text;
    EXPECT_EQ(text.find(temp.path().string()), std::string::npos) << text;
    ASSERT_TRUE(writeFileAtomically(path, text));
    const Expected<StudyFile> read = readStudyFile(path);
    ASSERT_TRUE(read) << read.error().message;
    EXPECT_EQ(std::filesystem::path(read->sources).lexically_normal(),
              std::filesystem::path(study.sources).lexically_normal());
    EXPECT_EQ(read->discrimination, study.discrimination);
    EXPECT_EQ(read->options, study.options);
    EXPECT_EQ(read->computes, StudyComputes::Both);

    // Moved with its tables, the study still finds them.
    std::filesystem::rename(temp.path() / "studies", temp.path() / "moved");
    std::filesystem::create_directories(temp.path() / "moved" / "tables");
    const Expected<StudyFile> moved = readStudyFile(temp.file("moved/lake.fenstudy"));
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->consumers, temp.file("tables/consumers.csv"));
}

TEST(StudyFile, WithoutDiscriminationAndFeasibleSetsOnly) {
    test::TempDir temp;
    StudyFile study = exampleStudy(temp);
    study.discrimination.clear();
    study.computes = StudyComputes::FeasibleSets;
    const std::string path = temp.file("s.fenstudy");
    ASSERT_TRUE(writeFileAtomically(path, composeStudyFile(study, path)));
    const Expected<StudyFile> read = readStudyFile(path);
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->discrimination.empty());
    EXPECT_FALSE(read->options.posterior);
    // The posterior's choices are kept for when it is switched on again.
    EXPECT_EQ(read->options.prior, "Algae=2,Snails=1");
}

TEST(StudyFile, RefusesWhatIsNoStudyFileNamingTheFileAndTheField) {
    test::TempDir temp;
    const std::string path = temp.file("bad.fenstudy");
    const std::string head = "{\"format\": \"fenlowick-study\", \"version\": 1, ";
    const std::string options = "\"options\": {\"increment\": \"1\", \"tolerance\": \"1\", "
                                "\"draws\": 0, \"seed\": 1, \"by\": [], \"limits\": [], "
                                "\"concentrations\": true}";
    for (const auto& [text, reason] : std::vector<std::pair<std::string, std::string>>{
             {"not json", "it is no Fenlowick study file"},
             {"{\"format\": \"fenlowick-study-shard\", \"version\": 1}",
              "it is no Fenlowick study file"},
             {"{\"format\": \"fenlowick-study\", \"version\": 2}", "of another version"},
             {head + "\"tables\": {}}", "the field \"tables.sources\" is missing"},
             {head + "\"tables\": {\"sources\": \"s\", \"consumers\": 3}}",
              "the field \"tables.consumers\" is missing or of the wrong type"},
             {head + "\"tables\": {\"sources\": \"s\", \"consumers\": \"c\"}, " + options + "}",
              "the field \"computes\" is missing"},
             {head + "\"computes\": \"both\", \"tables\": {\"sources\": \"s\", \"consumers\": "
                     "\"c\"}, \"options\": {\"increment\": \"1\", \"draws\": -5}}",
              "a field of \"options\" is missing or of the wrong type"},
             {head +
                  "\"computes\": \"all\", \"tables\": {\"sources\": \"s\", \"consumers\": "
                  "\"c\"}, " +
                  options + "}",
              "\"computes\" is \"all\", not feasible-sets, posterior or both"}}) {
        ASSERT_TRUE(writeFileAtomically(path, text));
        const Expected<StudyFile> read = readStudyFile(path);
        ASSERT_FALSE(read) << text;
        EXPECT_NE(read.error().message.find("bad.fenstudy: "), std::string::npos);
        EXPECT_NE(read.error().message.find(reason), std::string::npos) << read.error().message;
    }
}

TEST(StudyFile, CommandLinesQuoteWhatAShellWouldSplit) {
    StudyFile study;
    study.sources = "my tables/sources.csv";
    study.consumers = "consumers.csv";
    study.options.increment = "5";
    study.options.tolerance = "0.5";
    study.options.limits = {"Small fish=10-40"};
    study.options.error = "process";
    EXPECT_EQ(studyCommandLines(study, "out"),
              std::vector<std::string>{"fenlowick-cli study 'my tables/sources.csv' consumers.csv "
                                       "--increment=5 --tolerance=0.5 --draws=0 --seed=1 "
                                       "'--limit=Small fish=10-40' --output=out"});
    study.computes = StudyComputes::Both;
    const std::vector<std::string> both = studyCommandLines(study, "out");
    ASSERT_EQ(both.size(), 2u);
    EXPECT_NE(both[0].find("--output=out/feasible-sets"), std::string::npos);
    EXPECT_EQ(both[1].find("--tolerance"), std::string::npos) << both[1];
    EXPECT_NE(both[1].find("--posterior --error=process --output=out/posterior"), std::string::npos)
        << both[1];
}

} // namespace
} // namespace fenlowick
