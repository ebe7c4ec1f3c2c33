#pragma once

#include <atomic>
#include <string>

namespace fenlowick {

/// The signals that end a long command early: Ctrl+C (SIGINT), SIGTERM, a closed terminal
/// or SSH session (SIGHUP), a closed output pipe (SIGPIPE) and the file-size limit
/// (SIGXFSZ). Their handlers only set the flag that run and batch pass as the cancel flag,
/// so the search stops, the temporary files are removed and a message says why, instead of
/// the process dying with hidden partial files beside the results.
void installInterruptHandlers();

/// Gives those signals their default action again, once nothing is left to clean up: a
/// signal then ends the process as it would without handlers (a closed output pipe while
/// the results are printed ends it with 141).
void restoreDefaultSignals();

/// Set by the first of those signals; the run polls it.
const std::atomic<bool>& interruptFlag();

/// The first signal caught, or 0.
int interruptSignal();

/// 128 plus the signal's number, as a shell reports a process that the signal ended:
/// 129 hang-up, 130 Ctrl+C, 141 closed pipe, 143 SIGTERM, 153 file-size limit.
int interruptExitCode();

/// What happened, for the message: "interrupted by Ctrl+C", "the terminal was closed", ...
std::string interruptReason();

} // namespace fenlowick
