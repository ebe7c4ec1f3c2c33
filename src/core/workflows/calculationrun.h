#pragma once

#include "core/base/clock.h"
#include "core/base/csvtable.h"
#include "core/base/expected.h"
#include "core/engine/engine.h"
#include "core/entry/checks.h"
#include "core/entry/entry.h"
#include "core/entry/mixingconstraints.h"
#include "core/results/totalsstatistics.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace fenlowick {

/// One calculation as a front end asks for it.
struct RunRequest {
    Entry entry;
    /// Where the result files go, and the name as typed; the extension of the name is
    /// replaced by "out" and "tot".
    std::string folder;
    std::string typedName;
    /// False: write only the totals file (for searches whose feasible file would not fit).
    bool writeFeasibleFile = true;
    /// Concentrations and limits on the shares (read against this entry); a run whose limits
    /// the grid cannot meet is refused.
    MixingConstraints constraints;
    /// The checks the entry must pass: the run's own unless a study's entry is run again as
    /// the study ran it.
    CheckRules rules;
    /// Share of the first source reached, 0..100, from the searching thread.
    std::function<void(float firstShare)> progress;
    /// Fraction of the run's work done, 0..1, from the searching thread; for an estimate of
    /// the time left. When it is set and the feasible file is written, the run counts the
    /// solutions first, without reports, then reports the fraction of the records written.
    std::function<void(double fraction)> fractionDone;
    const std::atomic<bool>* cancel = nullptr;
    /// Source of the date and time texts; currentDateTime when empty.
    Clock clock;
};

/// What a completed run's totals file gives, as numbers: the source labels, the number of
/// feasible solutions and each source's figures exactly as the file prints them.
struct RunTotals {
    std::vector<std::string> sources;
    std::uint64_t observations = 0;
    std::vector<SourceFigures> figures;
};

/// How a run ended, with everything a front end shows.
struct RunOutcome {
    enum class Status {
        Completed, ///< both files are in place
        Refused,   ///< a check failed; message is the program's text; nothing was written
        NoName,    ///< the typed name was empty; nothing was written
        Cancelled, ///< stopped by the cancel flag; nothing was written or replaced
        FileError, ///< a file could not be written; message names it; nothing was replaced
    };
    Status status = Status::Refused;
    /// The refusal, the file error, or for a completed run the completion message
    /// ("Completed Calculations : Began: ...").
    std::string message;
    /// For a completed run without feasible solutions: the program's notice, to be shown
    /// before the completion message.
    std::optional<std::string> notice;
    std::string feasiblePath; ///< empty when no feasible file was asked for
    /// A run without a feasible file removes an earlier feasible file of the same name,
    /// which belonged to another run; its path, or empty when there was none.
    std::string removedFeasiblePath;
    std::string totalsPath;
    std::uint64_t feasibleCount = 0;
    std::uint64_t visitedCount = 0;
    /// A completed run's totals, as its totals file gives them (without reading it back).
    RunTotals totals;
    DateTimeTexts began;
    DateTimeTexts ended;
};

/// Runs one calculation: the checks in their fixed order, the header, the search, the
/// totals. Both files are written under temporary names and moved into place only when
/// both are complete, so a refused, cancelled or failed run leaves earlier files of the
/// same names untouched and no partial file behind.
RunOutcome runCalculation(const RunRequest& request);

/// The concentrations and limits of a run, read against its checked entry: the
/// concentrations table (`concentrationsFromTable`; none when null) and the limits as typed
/// (`parseShareLimits`). Refused with the reader's message.
Expected<MixingConstraints> readRunConstraints(const Entry& entry, const CalculationInput& input,
                                               const CsvTable* concentrations,
                                               const std::vector<std::string>& limits);

/// The run's checks in their fixed order, then the limits against the grid: the numbers the
/// search runs on, with the constraints set, or the refusal with the program's message.
Expected<CalculationInput> checkRun(const Entry& entry, const CheckRules& rules,
                                    const MixingConstraints& constraints);

/// "Completed Calculations : Began: <date>   <time>    Ended: <date>   <time>".
std::string completionMessage(const DateTimeTexts& began, const DateTimeTexts& ended);

} // namespace fenlowick
