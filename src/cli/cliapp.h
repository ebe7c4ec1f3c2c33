#pragma once

#include "core/base/expected.h"

#include <string>
#include <vector>

namespace fenlowick {

/// Exit codes of fenlowick-cli.
enum CliExit : int {
    kExitDone = 0,    ///< finished (a run without feasible solutions included)
    kExitRefused = 1, ///< the entry was refused by a check; nothing was written
    kExitUsage = 2,   ///< the command line was wrong
    kExitFile = 3,    ///< a file could not be read or written; nothing was replaced
};
// A run or batch stopped by a signal ends with 128 + the signal's number (see
// interruption.h); nothing was written or replaced.

/// Prints an error of the core as the program's message and returns its exit code: a
/// refusal by the run's checks is kExitRefused, anything else (a file or a table) kExitFile.
int reportError(const Error& error);

/// The exit code once standard output is flushed: `code` when all was written; 141 (as
/// SIGPIPE's) when the pipe was closed; otherwise 3, with a message, for a command that
/// would have succeeded.
int finishOutput(int code);

/// Whether writing `output` would replace `input`: the same file under any name (a hard or
/// symbolic link included). An output that does not exist yet replaces nothing.
bool replacesFile(const std::string& output, const std::string& input);

/// Refuses, saying which, when one of `outputs` would replace one of `inputs`, the files
/// `command` reads: returns kExitFile then, before anything is written, and kExitDone
/// otherwise.
int refuseReplacingInputs(const std::vector<std::string>& outputs,
                          const std::vector<std::string>& inputs, const char* command);

/// Refuses an --output that names something other than a file or a folder: a device such as
/// /dev/null, a pipe or a socket. The results are files written beside it (/dev/null.out), in
/// a folder that was never meant for them. Returns kExitUsage after saying so, kExitDone
/// otherwise.
int refuseSpecialOutput(const std::string& output);

/// The whole command-line program; returns its exit code.
int runCli(int argc, char** argv);

} // namespace fenlowick
