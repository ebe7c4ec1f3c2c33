#include "core/study/studyoptions.h"

#include <gtest/gtest.h>

#include <limits>

namespace fenlowick {
namespace {

TEST(StudyOptions, SeedsAreWholeNumbersOfSixtyFourBitsAndNothingElse) {
    EXPECT_EQ(parseSeed("0"), 0u);
    EXPECT_EQ(parseSeed("1"), 1u);
    EXPECT_EQ(parseSeed("10000000000000000000"), 10000000000000000000u);
    EXPECT_EQ(parseSeed("18446744073709551615"), std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(parseSeed("000000000000000000000042"), 42u);
    for (const char* wrong : {"", "-1", "+1", " 1", "1 ", "18446744073709551616",
                              "99999999999999999999999", "0x10", "1e3", "1.0", "abc"}) {
        EXPECT_FALSE(parseSeed(wrong)) << wrong;
    }
}

TEST(StudyOptions, IncrementToleranceAndDrawsAreCheckedWithTheProgramsMessages) {
    StudyOptions options{"2.5", "0.3", 10, 1, {}, true, {}, false, "both", ""};
    ASSERT_TRUE(checkStudyOptions(options));
    EXPECT_EQ(*checkStudyOptions(options), 2.5f);
    const struct {
        StudyOptions options;
        const char* message;
    } refused[] = {
        {{"abc", "0.3", 0, 1, {}, true, {}, false, "both", ""},
         "The increment \"abc\" is not a number from 1 to 100 (percent)."},
        {{"0.99", "0.3", 0, 1, {}, true, {}, false, "both", ""},
         "The increment \"0.99\" is not a number from 1 to 100 (percent)."},
        {{"100.01", "0.3", 0, 1, {}, true, {}, false, "both", ""},
         "The increment \"100.01\" is not a number from 1 to 100 (percent)."},
        {{"5", "x", 0, 1, {}, true, {}, false, "both", ""}, "The tolerance \"x\" is not a number."},
        {{"5", "1", -1, 1, {}, true, {}, false, "both", ""},
         "The number of draws -1 is not from 0 to 1000000."},
        {{"5", "1", 1000001, 1, {}, true, {}, false, "both", ""},
         "The number of draws 1000001 is not from 0 to 1000000."},
    };
    for (const auto& [wrong, message] : refused) {
        const Expected<float> checked = checkStudyOptions(wrong);
        ASSERT_FALSE(checked) << message;
        EXPECT_EQ(checked.error().kind, Error::Kind::Refused);
        EXPECT_EQ(checked.error().message, message);
    }
    EXPECT_TRUE(checkStudyOptions({"1", "0", 1000000, 1, {}, true, {}, false, "both", ""}));
    EXPECT_TRUE(checkStudyOptions({"100", "-0.5", 0, 1, {}, true, {}, false, "both", ""}));
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
    const std::vector<std::string> expected = {"--increment=2",
                                               "--tolerance=-0.3",
                                               "--draws=40",
                                               "--seed=18446744073709551615",
                                               "--by=Region",
                                               "--by=Sex",
                                               "--limit=-odd label=5-",
                                               "--limit=A+B>=50",
                                               "--no-concentrations"};
    EXPECT_EQ(studyOptionWords(options), expected);
    StudyOptions byConcentration = options;
    byConcentration.concentrations = true;
    byConcentration.by.clear();
    byConcentration.limits.clear();
    EXPECT_EQ(studyOptionWords(byConcentration),
              (std::vector<std::string>{"--increment=2", "--tolerance=-0.3", "--draws=40",
                                        "--seed=18446744073709551615"}));
}

} // namespace
} // namespace fenlowick
