#include "core/tables/concentrationtable.h"

#include "core/engine/engine.h"
#include "core/entry/checks.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

namespace fenlowick {
namespace {

// The table the study writes beside a consumer's entry is read back by `run
// --concentrations` as the same concentrations, whatever its labels hold.
TEST(ConcentrationTable, WhatIsWrittenReadsBackAsTheSameConcentrations) {
    Entry entry = test::exampleEntry("estuary-three-isotopes");
    entry.sources[0] = "Salt marsh, grass";
    entry.sources[1] = "Ré,d";
    const CalculationInput input = test::valueOf(checkEntry(entry));
    const std::vector<std::string> labels(entry.sources.begin(),
                                          entry.sources.begin() + input.sourceCount());
    const std::vector<std::string> isotopes(entry.isotope.begin(),
                                            entry.isotope.begin() + input.isotopeCount());
    SourceConcentrations written;
    const double values[] = {45.0, 0.0125, 1e-7, 3.5e12, 12.345678901234, 1.0};
    for (int k = 0; k < input.isotopeCount(); ++k) {
        for (int i = 0; i < input.sourceCount(); ++i) {
            written.value[k][i] = values[(k * 7 + i) % 6];
        }
    }
    const std::string text = composeConcentrationTable(labels, isotopes, written);
    EXPECT_EQ(test::valueOf(concentrationsFromTable(test::csvTable(text, "c.csv"), entry, input)),
              written)
        << text;
}

// Only the ratios of an isotope's concentrations mix: values near the end of the double
// range give the solutions of the same ratios in plain numbers, where their products in the
// mixing rule used to overflow and keep none.
TEST(ConcentrationTable, ExtremeConcentrationsMixAsTheirRatios) {
    const Entry entry = test::exampleEntry("diet-two-isotopes");
    const CalculationInput input = test::valueOf(checkEntry(entry));
    auto search = [&](const std::string& table) {
        CalculationInput constrained = input;
        constrained.constraints.concentrations =
            test::valueOf(concentrationsFromTable(test::csvTable(table, "c.csv"), entry, input));
        return runSearch(constrained, nullptr, EngineControl{});
    };
    // The first table holds the ratios in plain numbers.
    std::optional<EngineResult> plain;
    for (const char* scale : {"", "e306", "e-306", "e100", "e-290"}) {
        std::string table = "Source,d13C,d15N\n";
        for (const auto& [label, c13, c15] :
             {std::tuple{"Zooplankton", "2", "1"}, std::tuple{"Benthic invertebrates", "1", "3"},
              std::tuple{"Terrestrial insects", "1", "1"}, std::tuple{"Small fish", "4", "2"}}) {
            table += std::string(label) + "," + c13 + scale + "," + c15 + scale + "\n";
        }
        const EngineResult result = search(table);
        plain = plain.value_or(result);
        ASSERT_GT(plain->feasibleCount, 0u);
        EXPECT_EQ(result.feasibleCount, plain->feasibleCount) << scale;
        EXPECT_EQ(result.histograms, plain->histograms) << scale;
    }
}

} // namespace
} // namespace fenlowick
