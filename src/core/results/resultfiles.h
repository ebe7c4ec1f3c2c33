#pragma once

#include "core/base/clock.h"
#include "core/entry/calculationinput.h"
#include "core/entry/entry.h"
#include "core/results/sharehistogram.h"
#include "core/results/totalsstatistics.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fenlowick {

/// The header records of a feasible-output (".out") file, 11 + N records (resultformat.h):
/// date and time, title, increment, tolerance, isotope labels, mixtures, the sources with
/// their signatures as typed, a rule, "FEASIBLE OUTPUT:", the source labels and a rule.
std::string composeFeasibleHeader(const Entry& entry, const CalculationInput& input,
                                  const DateTimeTexts& now);

/// The text of a totals (".tot") file: the header, the histogram table and the statistics
/// of each source's share computed from the histograms alone.
struct TotalsText {
    std::string text;
    std::uint64_t observations = 0; ///< the number of feasible solutions
    /// Per source, the figures as the text prints them (figuresOf of its statistics).
    std::vector<SourceFigures> figures;
};

TotalsText composeTotals(const Entry& entry, const CalculationInput& input,
                         const ShareHistograms& histograms, const DateTimeTexts& now);

} // namespace fenlowick
