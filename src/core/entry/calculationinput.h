#pragma once

#include "core/entry/entry.h"
#include "core/entry/mixingconstraints.h"

#include <array>
#include <cstdint>
#include <optional>

namespace fenlowick {

/// The numbers of one run, derived from the entry's texts. Signatures are single precision,
/// mixture and tolerance double precision, both of the latter multiplied by 100 because the
/// engine works with shares in percent.
struct CalculationInput {
    /// signature[k][i]: source row i, isotope column k; 0 where the box is not numeric.
    /// Slot 10 of each column is a spare that is never read.
    std::array<std::array<float, kSourceRows + 1>, kIsotopeColumns> signature{};
    std::int16_t lastSource = -99;  ///< highest row with a numeric signature, or -99
    std::int16_t lastIsotope = -99; ///< highest column with a numeric signature, or -99
    float incrementPercent = 0.0f;
    /// The search keeps a combination when, for every isotope in use, the scaled difference
    /// trunc(decimalScale × |prediction − mixture100|) is at most the scaled tolerance
    /// trunc(decimalScale × tolerance100), a whole number.
    double tolerance100 = 0.0;
    std::array<double, kIsotopeColumns> mixture100{}; ///< 0 where the box is not numeric
    std::int16_t decimalPlaces = 0;
    std::int32_t decimalScale = 1;
    /// Concentrations and limits on the shares; set by the caller after the checks (the
    /// entry has no boxes for them). Empty: the linear model over the whole grid.
    MixingConstraints constraints;

    int sourceCount() const { return lastSource + 1; }
    int isotopeCount() const { return lastIsotope + 1; }
};

/// The decimal-places figure of an entry: the largest of (increment decimals + the most
/// decimals of any signature text), the most decimals of any mixture text and the
/// tolerance's decimals. Texts count whether or not they are numeric.
int decimalPlacesOf(const Entry& entry);

/// Derives the run's numbers. Increment and Threshold must be numeric (the caller checks);
/// decimalScale is filled only when decimalPlaces is at most 6.
CalculationInput deriveCalculationInput(const Entry& entry);

} // namespace fenlowick
