#pragma once

#include "core/base/expected.h"
#include "core/entry/calculationinput.h"
#include "core/entry/entry.h"

#include <optional>
#include <string>

#include <string_view>

namespace fenlowick {

/// True when a label counts as missing: compared code unit by code unit it is at most a
/// single space (empty, one space, or a text whose first character is below the space).
bool isMissingLabel(std::string_view label);

/// The run's checks in their fixed order; the first failure is returned as a refusal with
/// the program's message. On success, the derived numbers of the run:
///  1. Increment not numeric; 2. Threshold not numeric; 3. Increment outside 1..100;
///  4. more than 6 decimal places; 5. no numeric signature; 6. a source label missing;
///  7. an isotope label missing; 8. fewer than 3 sources; 9. a tolerance, mixture or
///  signature too large for the types the search works in (a signature beyond 2^121, whose
///  products with the shares could overflow single precision, counts as too large); 10. a double
///  quote in a text the result files store.
Expected<CalculationInput> checkEntry(const Entry& entry);

/// What a caller other than the run may relax in the checks.
struct CheckRules {
    /// False: more than 6 decimal places pass, and the differences are then compared at 6
    /// (means worked out from raw samples have many decimals).
    bool limitDecimalPlaces = true;
    /// The fewest sources a run takes (the entry window's rule is three).
    int fewestSources = 3;
};

/// The checks of a study's runs: two sources are enough, and more than 6 decimal places
/// pass (means worked out from samples have many).
inline constexpr CheckRules kStudyCheckRules{false, 2};

/// The run's checks with some relaxed.
Expected<CalculationInput> checkEntry(const Entry& entry, const CheckRules& rules);

/// Import and batch build entries for a run: a negative tolerance, which the run's checks let
/// through and with which no combination can be kept, is refused there with this message.
std::optional<std::string> negativeToleranceMessage(const Entry& entry);

} // namespace fenlowick
