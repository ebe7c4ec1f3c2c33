#include "core/study/studyoptions.h"

#include "support/datatable.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

TEST(StudyOptions, SeedsAreWholeNumbersOfSixtyFourBitsAndNothingElse) {
    for (const test::TableRow& row : test::readTable("study/seeds.tsv", 2, 16)) {
        const std::optional<std::uint64_t> seed = parseSeed(row.fields[0]);
        EXPECT_EQ(seed ? std::to_string(*seed) : "refused", row.fields[1]) << row.where;
    }
}

TEST(StudyOptions, IncrementToleranceAndDrawsAreCheckedWithTheProgramsMessages) {
    for (const test::TableRow& row : test::readTable("study/options.tsv", 4, 9)) {
        SCOPED_TRACE(row.where);
        const Expected<float> checked = checkStudyOptions({row.fields[0],
                                                           row.fields[1],
                                                           std::stoi(row.fields[2]),
                                                           1,
                                                           {},
                                                           true,
                                                           {},
                                                           false,
                                                           "both",
                                                           ""});
        if (row.fields[3] == "accepted") {
            ASSERT_TRUE(checked) << checked.error().message;
            EXPECT_EQ(*checked, std::stof(row.fields[0]));
        } else {
            ASSERT_FALSE(checked);
            EXPECT_EQ(checked.error().kind, Error::Kind::Refused);
            EXPECT_EQ(checked.error().message, row.fields[3]);
        }
    }
}

TEST(StudyOptions, CommandLineWordsHoldEachOptionAndItsValueInOneWord) {
    const StudyOptions options{"2",
                               "-0.3",
                               40,
                               18446744073709551615u,
                               {"Region", "Sex"},
                               false,
                               {"-odd label=5-", "A+B>=50"},
                               false,
                               "both",
                               ""};
    std::vector<std::string> words;
    std::vector<std::string> byConcentrationWords;
    for (const test::TableRow& row : test::readTable("study/optionwords.tsv", 2, 9)) {
        words.push_back(row.fields[0]);
        if (row.fields[1] == "yes") {
            byConcentrationWords.push_back(row.fields[0]);
        }
    }
    EXPECT_EQ(studyOptionWords(options), words);
    StudyOptions byConcentration = options;
    byConcentration.concentrations = true;
    byConcentration.by.clear();
    byConcentration.limits.clear();
    EXPECT_EQ(studyOptionWords(byConcentration), byConcentrationWords);
}

} // namespace
} // namespace fenlowick
