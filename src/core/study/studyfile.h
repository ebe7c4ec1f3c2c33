#pragma once

#include "core/base/expected.h"
#include "core/study/studyoptions.h"

#include <string>
#include <vector>

namespace fenlowick {

/// What a study computes: each consumer's feasible set, each group's posterior, or both.
enum class StudyComputes { FeasibleSets, Posterior, Both };

/// A study as the study file keeps it, so that it can be opened and run again: the paths of
/// its three tables and its options.
struct StudyFile {
    std::string sources;
    std::string consumers;
    std::string discrimination; ///< empty without a discrimination table
    StudyComputes computes = StudyComputes::FeasibleSets;
    /// The options of every run; `posterior` is set by `computes`, and `error` and `prior`
    /// are kept even while the posterior is not computed.
    StudyOptions options;

    bool operator==(const StudyFile&) const = default;

    /// The options of the feasible sets' run (posterior off) or of the posterior's (on).
    StudyOptions optionsOf(bool posterior) const;
};

/// The folders "Save all" and `fenlowick-cli study --study-file` give the feasible sets and
/// the posterior of a study that computes both, inside its output folder.
inline constexpr const char* kFeasibleSetsFolder = "feasible-sets";
inline constexpr const char* kPosteriorFolder = "posterior";

/// The study file's text (JSON) for a file at `path`: the tables' paths relative to the
/// file's folder, so that the folder can be moved or shared as a whole.
std::string composeStudyFile(const StudyFile& study, const std::string& path);

/// Reads a study file; the tables' relative paths are taken from the file's folder. Refused
/// (Error::Kind::FileRead, naming the file) when it cannot be read or is no study file of
/// this program.
Expected<StudyFile> readStudyFile(const std::string& path);

/// The `fenlowick-cli study` command lines that write what a study computes into `folder`:
/// one, or for both the feasible sets and the posterior two (into the folders above). Words
/// that a POSIX shell would split or expand are quoted.
std::vector<std::string> studyCommandLines(const StudyFile& study, const std::string& folder);

} // namespace fenlowick
