#pragma once

#include <string>

namespace CLI {
class App;
}

namespace fenlowick {

/// Exit code of `batch` when it finished but some mixtures failed (refused, or their files
/// could not be written); the others' files and summary.csv were written.
inline constexpr int kExitBatchIncomplete = 4;

/// `fenlowick-cli batch`: one run of an entry per mixture row of a CSV file, and a
/// summary.csv of every run's statistics.
class BatchCommand {
public:
    /// Adds the subcommand and its options to the program's command line.
    explicit BatchCommand(CLI::App& app);

    /// True when the command line chose this subcommand.
    bool parsed() const;

    /// Runs the batch; returns the exit code (see the subcommand's help).
    int run() const;

private:
    CLI::App* m_command = nullptr;
    std::string m_entry;
    std::string m_mixtures;
    std::string m_output;
    bool m_noFeasibleFile = false;
    bool m_quiet = false;
};

} // namespace fenlowick
