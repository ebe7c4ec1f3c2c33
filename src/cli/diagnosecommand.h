#pragma once

#include "entry.h"

#include <iosfwd>
#include <string>

namespace CLI {
class App;
}

namespace fenlowick {

struct DiagnoseOptions {
    std::string entryPath;
};

/// Registers "diagnose" on the command line; the options are filled when it is parsed.
CLI::App* addDiagnoseCommand(CLI::App& app, DiagnoseOptions& options);

/// Prints where the entry's mixture lies against its sources and the smallest tolerance
/// that keeps a solution. Exit code 0, 1 for a refused entry, 3 for an unreadable file.
int runDiagnoseCommand(const DiagnoseOptions& options);

/// The diagnosis of an entry that has passed its checks, as printed after a run that kept
/// nothing (one paragraph, ended by a line end).
void printDiagnosis(const Entry& entry, std::ostream& out);

} // namespace fenlowick
