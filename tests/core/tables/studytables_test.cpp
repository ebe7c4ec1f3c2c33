#include "core/tables/studytables.h"

#include "core/study/studyreport.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

TEST(StudyTables, RawRowsGiveTheExactMeanAndTheSampleSd) {
    const Expected<CsvTable> sources = CsvTable::parse("Source,d13C,d15N\n"
                                                       "Algae,-2.75,1\nAlgae,-2.00,1\n"
                                                       "Algae,-2.00,2\nFish,1,1\nFish,2,2\n",
                                                       "sources.csv");
    const Expected<CsvTable> consumers =
        CsvTable::parse("Group,d15N,d13C\nG1,1,-1\n", "consumers.csv");
    const Expected<Study> study = readStudy(*sources, *consumers, nullptr);
    ASSERT_TRUE(study) << study.error().message;
    EXPECT_EQ(study->tracers, (std::vector<std::string>{"d15N", "d13C"}));
    EXPECT_EQ(study->factors, std::vector<std::string>{"Group"});
    const StudySource& algae = study->sourceSets[0].sources[0];
    EXPECT_EQ(algae.samples, 3);
    EXPECT_EQ(algae.means, (std::vector<std::string>{"1.333333333333", "-2.25"}));
    EXPECT_NEAR(*algae.sds[1], 0.4330127, 1e-7); // sqrt((0.25 + 0.0625 + 0.0625) / 2)

    for (const auto& [texts, mean] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"0.1", "0.2"}, ".15"},
             {{"-1", "-2"}, "-1.5"},
             {{"2", "1", "1"}, "1.333333333333"},
             {{"-2", "-1", "-1"}, "-1.333333333333"},
             {{"0.2", "0.2", "0.3"}, ".233333333333"},
             {{"5", "6", "6"}, "5.666666666667"}}) {
        EXPECT_EQ(*exactMeanText(texts), mean) << texts.front();
    }
}

TEST(StudyTables, FactorColumnsBecomeSnakeCaseColumnNames) {
    EXPECT_EQ(snakeCase("Body mass (g)"), "body_mass_g");
    EXPECT_EQ(snakeCase("Region"), "region");
    EXPECT_EQ(snakeCase("  "), "factor");
}

} // namespace
} // namespace fenlowick
