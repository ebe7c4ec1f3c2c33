#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace fenlowick {

struct CombineOptions {
    std::string feasiblePath;
    std::vector<std::string> groups; ///< as typed: NAME=SOURCE,SOURCE,...
    std::string outputPath;
    bool quiet = false;
};

/// Registers "combine" on the command line; the options are filled when it is parsed.
CLI::App* addCombineCommand(CLI::App& app, CombineOptions& options);

/// Reads the feasible-output file, writes the totals file of the combined sources in place
/// (under a temporary name first) and returns the exit code: 0 written, 2 a group that does
/// not fit the run, 3 a file that cannot be read, is not a feasible-output file, or cannot
/// be written.
int runCombineCommand(const CombineOptions& options);

} // namespace fenlowick
