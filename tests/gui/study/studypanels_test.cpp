#include "core/tables/studytables.h"
#include "gui/study/studysettingspanel.h"
#include "gui/study/studytablepanel.h"
#include "support/datatable.h"
#include "support/guitestsupport.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSpinBox>

#include <filesystem>

namespace fenlowick {
namespace {

namespace fs = std::filesystem;

const fs::path kCases = fs::path(FENLOWICK_TEST_DATA) / "studies" / "cases";

CsvTable tableOf(const std::string& study, const std::string& table) {
    Expected<CsvTable> read = CsvTable::read((kCases / study / (table + ".csv")).string());
    EXPECT_TRUE(read) << (read ? "" : read.error().message);
    return *read;
}

Study studyOf(const std::string& name) {
    const CsvTable sources = tableOf(name, "sources");
    const CsvTable consumers = tableOf(name, "consumers");
    const CsvTable discrimination = tableOf(name, "discrimination");
    Expected<Study> study = readStudy(sources, consumers, &discrimination);
    EXPECT_TRUE(study) << (study ? "" : study.error().message);
    return *study;
}

TEST(StudyColumnRoles, HeadEachColumnWithWhatTheStudyTakesItFor) {
    for (const test::TableRow& row : test::readTable("gui/study-column-roles.tsv", 3, 9)) {
        const std::string& table = row.fields[1];
        const StudyTableKind kind = table == "sources"     ? StudyTableKind::Sources
                                    : table == "consumers" ? StudyTableKind::Consumers
                                                           : StudyTableKind::Discrimination;
        const Study study = studyOf(row.fields[0]);
        EXPECT_EQ(studyColumnRoles(kind, tableOf(row.fields[0], table), &study).join(u','),
                  QString::fromStdString(row.fields[2]))
            << row.where;
    }
}

// The boxes hold what they were given: a source's limit in its spin boxes, a limit on a sum
// in the box of groups, the prior's weights, the factors; the options read back the same.
TEST(StudySettingsPanel, BoxesReadBackTheOptionsTheyWereGiven) {
    const Study study = studyOf("summary-rows");
    StudySettingsPanel panel;
    panel.setStudy(&study);
    StudyOptions options;
    options.increment = "5";
    options.tolerance = "0.4";
    options.draws = 12;
    options.seed = 18446744073709551615u;
    options.by = {"Group"};
    options.limits = {"Zooplankton=10-40", "Snails+Insects>=20"};
    options.concentrations = true;
    options.error = "process";
    options.prior = "Algae=2,Zooplankton=1,Snails=1.5,Insects=1";
    panel.setSettings(StudyComputes::Both, options);
    EXPECT_EQ(panel.lowLimitBox(1)->value(), 10);
    EXPECT_EQ(panel.highLimitBox(1)->value(), 40);
    EXPECT_EQ(panel.lowLimitBox(0)->value(), 0);
    EXPECT_EQ(panel.sumLimitsBox()->text(), u"Snails+Insects>=20"_s);
    EXPECT_DOUBLE_EQ(panel.priorBox(2)->value(), 1.5);
    EXPECT_TRUE(panel.factorBox(u"Group"_s)->isChecked());
    EXPECT_EQ(panel.computes(), StudyComputes::Both);
    EXPECT_EQ(panel.options(), options);

    // Weights of 1 throughout are the default prior, which the command line leaves out.
    panel.priorBox(0)->setValue(1.0);
    panel.priorBox(2)->setValue(1.0);
    EXPECT_EQ(panel.options().prior, "");
    // A study without concentrations offers none; its factors and sources are listed anew.
    EXPECT_FALSE(panel.concentrationsBox()->isEnabled());
    const Study other = studyOf("factor-unnamed-label");
    panel.setStudy(&other);
    EXPECT_EQ(panel.factorBox(u"Group"_s), nullptr);
    ASSERT_NE(panel.factorBox(u"Pack"_s), nullptr);
    // Zooplankton is a source there too: its limit stays.
    EXPECT_EQ(panel.options().limits, options.limits);
}

} // namespace
} // namespace fenlowick
