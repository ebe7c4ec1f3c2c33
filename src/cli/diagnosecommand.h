#pragma once

#include "core/entry/entry.h"

#include <atomic>
#include <iosfwd>
#include <string>

namespace CLI {
class App;
}

namespace fenlowick {

/// `fenlowick-cli diagnose`: where the mixture of an entry lies against its sources and the
/// smallest tolerance that gives solutions at its increment.
class DiagnoseCommand {
public:
    /// Adds the subcommand and its options to the program's command line.
    explicit DiagnoseCommand(CLI::App& app);

    /// True when the command line chose this subcommand.
    bool parsed() const;

    /// Prints the diagnosis; returns the exit code: 0, 1 for an entry its checks refuse (the
    /// program's message is printed), 3 for a file that cannot be read.
    int run() const;

private:
    CLI::App* m_command = nullptr;
    std::string m_entry;
};

/// The diagnosis of an entry that has passed its checks, as printed after a run that kept
/// nothing (one paragraph, ended by a line end). A set cancel flag stops the diagnosis, which
/// then prints nothing.
void printDiagnosis(const Entry& entry, std::ostream& out,
                    const std::atomic<bool>* cancel = nullptr);

} // namespace fenlowick
