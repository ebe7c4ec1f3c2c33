#pragma once

#include <string>
#include <utility>
#include <vector>

namespace CLI {
class App;
}

namespace fenlowick {

struct ImportedEntry;

/// `fenlowick-cli import`: data files from spreadsheet tables of sources, mixtures and
/// trophic enrichment corrections.
class ImportCommand {
public:
    /// Adds the subcommand and its options to the program's command line.
    explicit ImportCommand(CLI::App& app);

    /// True when the command line chose this subcommand.
    bool parsed() const;

    /// Runs the import; returns the exit code (see the subcommand's help).
    int run() const;

private:
    /// A data file's path and the entry it takes.
    using PlacedEntry = std::pair<std::string, const ImportedEntry*>;

    /// Settles every entry's path (a folder is made for them); an exit code.
    int placeEntries(const std::vector<ImportedEntry>& entries,
                     std::vector<PlacedEntry>& files) const;
    /// Writes the data files, all or none, and says what was written; an exit code.
    int writeEntries(const std::vector<PlacedEntry>& files) const;

    CLI::App* m_command = nullptr;
    std::string m_sources;
    std::string m_mixtures;
    std::string m_tef;
    std::string m_increment;
    std::string m_tolerance;
    std::string m_title;
    std::string m_isotopes;
    std::string m_output = "data";
    bool m_quiet = false;
};

} // namespace fenlowick
