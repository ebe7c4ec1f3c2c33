#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace fenlowick {

/// `fenlowick-cli combine`: the totals file of a finished run with groups of its sources
/// counted as one, from the run's feasible-output file.
class CombineCommand {
public:
    /// Adds the subcommand and its options to the program's command line.
    explicit CombineCommand(CLI::App& app);

    /// True when the command line chose this subcommand.
    bool parsed() const;

    /// Writes the totals file (under a temporary name first) and returns the exit code:
    /// 0 written, 2 a group that does not fit the run, 3 a file that cannot be read, is not
    /// a feasible-output file, or cannot be written.
    int run() const;

private:
    /// The totals path: --output as a folder or a name (its extension becomes "tot"), or
    /// RUN-combined.tot beside the feasible-output file.
    std::string totalsPath() const;

    CLI::App* m_command = nullptr;
    std::string m_feasible;
    std::vector<std::string> m_groups; ///< as typed: NAME=SOURCE,SOURCE,...
    std::string m_output;
    bool m_quiet = false;
};

} // namespace fenlowick
