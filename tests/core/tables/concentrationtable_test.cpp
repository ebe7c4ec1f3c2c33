#include "core/tables/concentrationtable.h"

#include "core/entry/checks.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

// The table the study writes beside a consumer's entry is read back by `run
// --concentrations` as the same concentrations, whatever its labels hold.
TEST(ConcentrationTable, WhatIsWrittenReadsBackAsTheSameConcentrations) {
    Entry entry = test::exampleEntry("estuary-three-isotopes");
    entry.sources[0] = "Salt marsh, grass";
    entry.sources[1] = "Ré,d";
    const Expected<CalculationInput> input = checkEntry(entry);
    ASSERT_TRUE(input) << input.error().message;
    std::vector<std::string> labels;
    for (int i = 0; i < input->sourceCount(); ++i) {
        labels.push_back(entry.sources[i]);
    }
    std::vector<std::string> isotopes;
    for (int k = 0; k < input->isotopeCount(); ++k) {
        isotopes.push_back(entry.isotope[k]);
    }
    SourceConcentrations written;
    const double values[] = {45.0, 0.0125, 1e-7, 3.5e12, 12.345678901234, 1.0};
    for (int k = 0; k < input->isotopeCount(); ++k) {
        for (int i = 0; i < input->sourceCount(); ++i) {
            written.value[k][i] = values[(k * 7 + i) % 6];
        }
    }
    const std::string text = composeConcentrationTable(labels, isotopes, written);
    const Expected<CsvTable> table = CsvTable::parse(text, "c.csv");
    ASSERT_TRUE(table) << table.error().message;
    const Expected<SourceConcentrations> read = concentrationsFromTable(*table, entry, *input);
    ASSERT_TRUE(read) << read.error().message << "\n" << text;
    EXPECT_EQ(*read, written) << text;
}

} // namespace
} // namespace fenlowick
