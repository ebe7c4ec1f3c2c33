#pragma once

#include "core/base/expected.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fenlowick {

/// The most draws a study takes per consumer.
inline constexpr int kStudyMaxDraws = 1000000;

/// Everything the user chooses that decides a study's results. It is read and checked once,
/// where the command line is read, and then held as it is by the run's settings, the study's
/// identity and a shard's manifest; `studyOptionWords` writes it back as a command line.
struct StudyOptions {
    std::string increment; ///< in percent, as a run reads its increment text
    std::string tolerance; ///< as a run reads its tolerance text
    /// Draws per consumer; 0 runs only the exact run at the means.
    int draws = 0;
    std::uint64_t seed = 1;
    /// The consumers' factor columns whose levels are pooled into groups, as given.
    std::vector<std::string> by;
    /// Mix each tracer in proportion to its element's concentration where the source file
    /// gives Conc<tracer> columns (the draws keep the concentrations at their means).
    bool concentrations = true;
    /// Limits on the shares as written ("Fish=10-40", "Fish+Seals>=50"), for every
    /// consumer; each is read against the sources of every source set.
    std::vector<std::string> limits;
    /// The exact posterior of each group instead of the consumers' feasible sets; the
    /// tolerance is then not used and may be empty.
    bool posterior = false;
    std::string error = "both"; ///< the posterior's error structure, as typed
    /// The posterior's Dirichlet weights as typed ("Deer=2,Salmon=1,Seals=1"); empty for 1
    /// for every source.
    std::string prior;

    bool operator==(const StudyOptions&) const = default;
};

/// What the user chooses about a study's figures, which changes none of its results.
struct FigureChoices {
    /// The tracers (indexes into the study's) the isotope-space figures take across and up;
    /// empty for carbon across and nitrogen up.
    std::vector<std::size_t> axes;
    /// Share panels with a scale each instead of one for all.
    bool freeScales = false;
};

/// The increment in percent when the options can run: refused (Error::Kind::Refused, with
/// the program's message) for an increment that is not a number from 1 to 100, a tolerance
/// that is not a number or a number of draws outside 0 to kStudyMaxDraws. Limits and the
/// tolerance's sign are checked against the study's tables (see `checkStudy`).
Expected<float> checkStudyOptions(const StudyOptions& options);

/// A seed as typed: a whole number from 0 to 18446744073709551615, digits only.
std::optional<std::uint64_t> parseSeed(std::string_view text);

/// The options as the words of a `study` command line that reads them back unchanged, in
/// the order --increment, --tolerance (unless empty), --draws, --seed, each --by, each
/// --limit (each as "--name=value"), --no-concentrations when they mix linearly, and for
/// the posterior --posterior, --error and --prior (unless empty). The words are not
/// quoted for any shell.
std::vector<std::string> studyOptionWords(const StudyOptions& options);

} // namespace fenlowick
