#pragma once

#include <string>
#include <vector>

namespace fenlowick::test {

/// What one call of the built fenlowick-cli left behind.
struct CliResult {
    int exitCode = -1;
    std::string out; ///< standard output
    std::string err; ///< standard error
};

/// Runs fenlowick-cli with the arguments (each passed as one word, whatever it holds) in
/// the given working folder, and waits for it.
CliResult runCli(const std::vector<std::string>& arguments, const std::string& workingFolder = {});

} // namespace fenlowick::test
