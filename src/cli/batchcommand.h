#pragma once

#include <cstddef>
#include <string>

namespace CLI {
class App;
}

namespace fenlowick {

struct BatchItem;
struct BatchResult;
struct Entry;

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
    /// One mixture's line on standard error, when it has run: its count of solutions or why
    /// it has none, or why it failed.
    void reportMixture(const Entry& entry, std::size_t index, std::size_t total,
                       const BatchItem& item, double seconds) const;
    /// summary.csv and the list of failed mixtures after a batch that ran to its end.
    int finishBatch(const BatchResult& result, const std::string& folder,
                    const std::string& summaryPath) const;

    CLI::App* m_command = nullptr;
    std::string m_entry;
    std::string m_mixtures;
    std::string m_output;
    bool m_noFeasibleFile = false;
    bool m_quiet = false;
};

} // namespace fenlowick
