#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace fenlowick {

struct Study;
struct ShardManifest;
struct ShardFiles;

/// `fenlowick-cli merge`: the shards of a study, run apart (`study --shard I/N`), merged into
/// the files the unsplit study writes.
class MergeCommand {
public:
    /// Adds the subcommand and its options to the program's command line.
    explicit MergeCommand(CLI::App& app);

    /// True when the command line chose this subcommand.
    bool parsed() const;

    /// Merges the shards; returns the exit code (see the subcommand's help).
    int run() const;

private:
    /// Adds the folders named in the --shard-list file, one per line; an exit code.
    int readShardList(std::vector<std::string>& folders) const;
    /// The posterior's files from the sums of its shards' draws; an exit code.
    int mergePosterior(const Study& study, const ShardManifest& manifest,
                       const std::vector<int>& byFactors, const std::vector<ShardFiles>& shards,
                       const std::vector<std::string>& shardFiles) const;

    CLI::App* m_command = nullptr;
    std::vector<std::string> m_shards;
    std::string m_shardList;
    std::string m_output;
    bool m_noFigures = false;
    bool m_quiet = false;
};

} // namespace fenlowick
