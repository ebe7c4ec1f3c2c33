#pragma once

#include "core/analysis/closestapproach.h"
#include "core/base/expected.h"
#include "core/engine/planarhull.h"
#include "core/entry/calculationinput.h"
#include "core/entry/entry.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fenlowick {

/// Where the mixture lies against the sources for one isotope.
enum class RangeSide {
    Below,  ///< below every source
    Above,  ///< above every source
    OnEdge, ///< equal to the lowest or the highest source
    Within, ///< strictly between the lowest and the highest source
};

struct IsotopeRange {
    int isotope = 0; ///< column 0..4
    RangeSide side = RangeSide::Within;
};

/// Where the mixture lies against the convex hull of the sources for a pair of isotopes.
struct IsotopePair {
    int first = 0; ///< columns, first < second
    int second = 0;
    HullPosition position = HullPosition::Inside;
};

struct DiagnosisLimits {
    ApproachLimits approach;
    /// The smallest tolerance is confirmed by running the search at it and one step below
    /// when a search visits at most this many combinations.
    std::uint64_t maxConfirmCombinations = 20'000'000;
};

/// Why a search keeps nothing, or what it would take to keep something.
struct Diagnosis {
    std::vector<IsotopeRange> ranges; ///< one per isotope in use
    std::vector<IsotopePair> pairs;   ///< one per pair of isotopes in use, with two or more
    /// The mixture is a mix of the sources for every isotope at once (inside their hull or
    /// on its boundary). With three or more isotopes it can lie within every pair's hull
    /// and still outside the sources.
    bool withinAllIsotopes = true;
    ClosestApproach closest;
    /// The smallest tolerance at the entry's decimal places that keeps a combination at
    /// the entry's increment (only an upper bound when closest.complete is false).
    ToleranceStep tolerance;
    /// The search was run at `tolerance.enough` (kept something) and at `tolerance.below`
    /// (kept nothing). False when the entry's search is too big to run twice more.
    bool confirmed = false;
    /// The limits' cancel flag was set before the diagnosis ended: the search for the smallest
    /// tolerance may have been cut short and the confirmation skipped.
    bool cancelled = false;
    /// The whole explanation, for a message box or the console.
    std::string message;
};

/// The typed values the plane is drawn from: the sources' values for one isotope column and
/// the mixture's, each read as a double, 0 where the box is not numeric (as the search
/// counts it).
std::vector<double> sourceValues(const Entry& entry, int sources, int isotope);
double mixtureValue(const Entry& entry, int isotope);

/// The mixture against the sources for one isotope, decided exactly on the typed values.
RangeSide rangeSide(const Entry& entry, int sources, int isotope);

/// The mixture against the sources' convex hull for two isotopes, decided exactly on the
/// typed values (collinear and repeated sources included).
HullPosition pairPosition(const Entry& entry, int sources, int first, int second);

/// Whether the mixture is a mix of the sources for the first `isotopes` columns at once,
/// decided exactly on the typed values.
bool mixtureAmongSources(const Entry& entry, int sources, int isotopes);

/// The diagnosis of an entry: its checks first (a refusal carries the program's message),
/// then the diagnosis of what they give.
Expected<Diagnosis> diagnoseEntry(const Entry& entry, const DiagnosisLimits& limits = {});

/// The diagnosis of an entry from its checked numbers (`checkEntry`'s result; their
/// concentrations and limits play no part): the mixture's position for every isotope and
/// pair of isotopes, decided exactly on the typed values, and the smallest tolerance that
/// keeps a combination. The entry's own tolerance plays no part.
Diagnosis diagnoseEntry(const Entry& entry, const CalculationInput& input,
                        const DiagnosisLimits& limits = {});

} // namespace fenlowick
