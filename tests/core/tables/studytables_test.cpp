#include "core/tables/studytables.h"

#include "core/study/studyreport.h"
#include "support/datatable.h"
#include "support/testsupport.h"

#include <gmock/gmock.h>

namespace fenlowick {
namespace {

TEST(StudyTables, RawRowsGiveTheExactMeanAndTheSampleSd) {
    const Expected<CsvTable> sources = CsvTable::parse("Source,d13C,d15N\n"
                                                       "Algae,-2.75,1\nAlgae,-2.00,1\n"
                                                       "Algae,-2.00,2\nFish,1,1\nFish,2,2\n",
                                                       "sources.csv");
    const Expected<CsvTable> consumers =
        CsvTable::parse("Group,d15N,d13C\nG1,1,-1\n", "consumers.csv");
    const Study study = test::valueOf(readStudy(*sources, *consumers, nullptr));
    EXPECT_EQ(study.tracers, (std::vector<std::string>{"d15N", "d13C"}));
    EXPECT_EQ(study.factors, std::vector<std::string>{"Group"});
    const StudySource& algae = study.sourceSets[0].sources[0];
    EXPECT_EQ(algae.samples, 3);
    ASSERT_EQ(algae.means.size(), 2u);
    EXPECT_EQ(algae.means[0].text(), "1.333333333333");
    EXPECT_EQ(algae.means[1].text(), "-2.25");
    EXPECT_NEAR(*algae.sds[1], 0.4330127, 1e-7); // sqrt((0.25 + 0.0625 + 0.0625) / 2)

    for (const test::TableRow& row : test::readTable("study/means.tsv", 2, 6)) {
        EXPECT_EQ(*exactMeanText(test::split(row.fields[0], " ")), row.fields[1]) << row.where;
    }
}

// Every consumer's results are held at once: a table of more consumers than a study takes is
// refused before they are read, one of exactly that many is read.
TEST(StudyTables, MoreConsumersThanAStudyTakesAreRefusedUpFront) {
    const Expected<CsvTable> sources =
        CsvTable::parse("Source,d13C\nAlgae,1\nFish,2\n", "sources.csv");
    std::string rows = "d13C\n";
    for (int i = 0; i < 50'000; ++i) {
        rows += "1.5\n";
    }
    const Expected<CsvTable> most = CsvTable::parse(rows, "consumers.csv");
    const Expected<Study> taken = readStudy(*sources, *most, nullptr);
    ASSERT_TRUE(taken) << taken.error().message;
    EXPECT_EQ(taken->consumers.size(), 50'000u);

    const Expected<CsvTable> tooMany = CsvTable::parse(rows + "1.5\n", "consumers.csv");
    const Expected<Study> refused = readStudy(*sources, *tooMany, nullptr);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().message,
              "consumers.csv: 50001 consumer rows; a study takes at most 50000 (it holds the "
              "results of every consumer in memory), so split the consumers into several studies");
}

// A mean the exact runs could not add is refused where it stands, not when a consumer runs.
TEST(StudyTables, MeansBeyondEighteenDigitsAreRefusedAtTheirPlace) {
    const Expected<CsvTable> consumers = CsvTable::parse("d13C\n1\n", "consumers.csv");
    const Expected<CsvTable> sources = CsvTable::parse(
        "Source,Meand13C,SDd13C\nA,0.1234567890123456789,1\nB,2,1\n", "sources.csv");
    const Expected<CsvTable> discrimination =
        CsvTable::parse("Source,Meand13C,SDd13C\nA,0,0\nB,12345678901234567890,0\n", "tef.csv");
    const Expected<Study> bySource = readStudy(*sources, *consumers, nullptr);
    ASSERT_FALSE(bySource);
    EXPECT_EQ(bySource.error().kind, Error::Kind::FileRead);
    EXPECT_THAT(bySource.error().message, testing::HasSubstr("sources.csv, line 2"));
    EXPECT_THAT(bySource.error().message, testing::HasSubstr("has too many digits to add exactly"));
    const Expected<CsvTable> fine =
        CsvTable::parse("Source,Meand13C,SDd13C\nA,0.1,1\nB,2,1\n", "sources.csv");
    const Expected<Study> byShift = readStudy(*fine, *consumers, &*discrimination);
    ASSERT_FALSE(byShift);
    EXPECT_THAT(byShift.error().message, testing::HasSubstr("tef.csv, line 3"));
}

TEST(StudyTables, AnNThatIsNoNumberOfSamplesIsRefusedAtItsPlace) {
    const Expected<CsvTable> consumers = CsvTable::parse("d13C\n1\n", "consumers.csv");
    for (const char* n : {"1e86", "-3", "2.5"}) {
        const Expected<CsvTable> sources = CsvTable::parse(
            std::string("Source,Meand13C,n\nA,1,") + n + "\nB,2,3\n", "sources.csv");
        const Expected<Study> study = readStudy(*sources, *consumers, nullptr);
        ASSERT_FALSE(study) << n;
        EXPECT_EQ(study.error().message, std::string("sources.csv, line 2, column 3 (n): \"") + n +
                                             "\" is not a number of samples (a whole number "
                                             "from 0 on)");
    }
}

TEST(StudyTables, FactorColumnsBecomeSnakeCaseColumnNames) {
    EXPECT_EQ(snakeCase("Body mass (g)"), "body_mass_g");
    EXPECT_EQ(snakeCase("Region"), "region");
    EXPECT_EQ(snakeCase("  "), "factor");
}

} // namespace
} // namespace fenlowick
