#include "cli/importcommand.h"

#include "cli/cliapp.h"
#include "cli/interruption.h"
#include "cli/terminaltext.h"
#include "core/base/atomicfile.h"
#include "core/base/csvtable.h"
#include "core/base/safefilename.h"
#include "core/entry/datafile.h"
#include "core/entry/outputnaming.h"
#include "core/tables/isotopename.h"
#include "core/tables/spreadsheetimport.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <optional>
#include <unordered_map>

namespace fenlowick {

namespace {

const char* const kImportHelp = R"(Columns are found by their header, in any order and any case:
  sources file    "source" (the labels) and one column per isotope (d13C, δ15N, d34S ...)
  mixtures file   "mixture" (the labels) and the same isotope columns
  TEF file        the isotope columns, and a "source" column for corrections per source
                  (one row per source) or a single row for all sources
Other columns (SD, n, notes) are ignored and listed. Separators (comma, semicolon, tab)
and decimal commas are detected. Corrections are added to every source's signature
exactly; the data file's title says they were applied.

Exit codes:
  0  the data files were written
  1  the entry would be refused by the run's checks, or --tef does not fit the isotopes
  2  the command line is wrong
  3  a file could not be read or written, or a table is wrong (file, line and column named),
     or an output would replace one of the tables read
  129, 130, 143, 153
     stopped by a signal while the data files were written (128 + its number); none was
     written or replaced)";

bool endsWithDat(const std::string& path) {
    const std::string name = foldCase(std::filesystem::path(path).filename().string());
    return name.size() > 4 && name.substr(name.size() - 4) == ".dat";
}

std::vector<std::string> splitNames(const std::string& text) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(',', start), text.size());
        const std::string name(trimBlanks(std::string_view(text).substr(start, end - start)));
        if (!name.empty()) {
            names.push_back(name);
        }
        start = end + 1;
    }
    return names;
}

} // namespace

ImportCommand::ImportCommand(CLI::App& app) {
    m_command = app.add_subcommand(
        "import", "Write data files (.dat) from spreadsheet tables (CSV) of sources, mixtures "
                  "and trophic enrichment factors");
    m_command->add_option("SOURCES", m_sources, "CSV file of the sources' signatures")->required();
    m_command->add_option("--mixtures,-m", m_mixtures,
                          "CSV file of mixtures (consumers); one data file per row");
    m_command->add_option("--tef", m_tef,
                          "Trophic enrichment factors added to the sources' signatures: a CSV "
                          "file, or one value per isotope in the sources' column order "
                          "(--tef 1.63,3.54)");
    m_command->add_option("--increment,-i", m_increment, "Percent increment, 1 to 100")->required();
    m_command->add_option("--tolerance,-t", m_tolerance, "Tolerance, in signature units")
        ->required();
    m_command->add_option("--title", m_title,
                          "Beginning of the title; the mixture's label follows it");
    m_command->add_option("--isotopes", m_isotopes,
                          "Headers of the isotope columns, comma-separated, when they are not "
                          "named like d13C");
    m_command
        ->add_option("--output,-o", m_output,
                     "A folder for one data file per mixture (named after its label), or "
                     "a file name ending in .dat for one data file with the first "
                     "mixture")
        ->capture_default_str();
    m_command->add_flag("--quiet,-q", m_quiet, "Print nothing but errors and notes");
    m_command->footer(kImportHelp);
}

bool ImportCommand::parsed() const {
    return m_command->parsed();
}

int ImportCommand::run() const {
    Expected<CsvTable> sources = CsvTable::read(m_sources);
    if (!sources) {
        return reportError(sources.error());
    }
    std::optional<CsvTable> mixtures;
    if (!m_mixtures.empty()) {
        Expected<CsvTable> table = CsvTable::read(m_mixtures);
        if (!table) {
            return reportError(table.error());
        }
        mixtures = std::move(*table);
    }

    ImportRequest request;
    request.sources = &*sources;
    request.mixtures = mixtures ? &*mixtures : nullptr;
    request.increment = m_increment;
    request.tolerance = m_tolerance;
    request.title = m_title;
    request.isotopeNames = splitNames(m_isotopes);
    std::optional<CsvTable> corrections;
    if (!m_tef.empty()) {
        std::error_code ec;
        if (std::filesystem::exists(m_tef, ec)) {
            Expected<CsvTable> table = CsvTable::read(m_tef);
            if (!table) {
                return reportError(table.error());
            }
            corrections = std::move(*table);
            request.corrections = &*corrections;
        } else {
            Expected<std::vector<std::string>> values = parseCorrectionList(m_tef);
            if (!values) {
                std::cerr << "fenlowick-cli: --tef " << terminalText(m_tef)
                          << ": no such file, and not a list of numbers: "
                          << terminalText(values.error().message) << "\n";
                return kExitUsage;
            }
            request.correctionValues = std::move(*values);
        }
    }

    Expected<ImportResult> imported = importEntries(request);
    if (!imported) {
        return reportError(imported.error());
    }
    for (const std::string& note : imported->notes) {
        std::cerr << "fenlowick-cli: note: " << terminalText(note) << "\n";
    }

    // Where each entry goes; all names are settled before anything is written.
    std::vector<PlacedEntry> files;
    if (const int code = placeEntries(imported->entries, files); code != kExitDone) {
        return code;
    }
    return writeEntries(files);
}

int ImportCommand::placeEntries(const std::vector<ImportedEntry>& entries,
                                std::vector<PlacedEntry>& files) const {
    if (endsWithDat(m_output)) {
        files.emplace_back(m_output, &entries.front());
        if (entries.size() > 1) {
            std::cerr << "fenlowick-cli: note: " << terminalText(m_output)
                      << " takes the first mixture, \""
                      << terminalText(entries.front().mixtureLabel) << "\", of " << entries.size()
                      << "; name a folder to write one data file per mixture\n";
        }
        return kExitDone;
    }
    std::error_code ec;
    std::filesystem::create_directories(m_output, ec);
    if (ec) {
        std::cerr << "fenlowick-cli: Could not create the folder " << terminalText(m_output) << ": "
                  << ec.message() << "\n";
        return kExitFile;
    }
    // The file names taken so far, as a case-blind file system compares them: by name, not
    // by a walk over all of them, so that a table of many mixtures takes linear time.
    std::unordered_map<std::string, const ImportedEntry*> taken;
    for (const ImportedEntry& entry : entries) {
        const std::string base =
            entry.mixtureLabel.empty()
                ? safeFileName(std::filesystem::path(m_sources).stem().string())
                : safeFileName(entry.mixtureLabel);
        if (const auto [at, added] = taken.emplace(foldCase(base), &entry); !added) {
            const ImportedEntry* other = at->second;
            std::cerr << "fenlowick-cli: " << terminalText(m_mixtures) << ", line " << entry.line
                      << ": the mixtures \"" << terminalText(entry.mixtureLabel) << "\" and \""
                      << terminalText(other->mixtureLabel) << "\" (line " << other->line
                      << ") would both be written as " << base
                      << ".dat; give them labels that differ in letters or digits\n";
            return kExitFile;
        }
        files.emplace_back(joinFolder(m_output, base + ".dat"), &entry);
    }
    return kExitDone;
}

int ImportCommand::writeEntries(const std::vector<PlacedEntry>& files) const {
    // A data file written over a table it comes from would destroy that table.
    std::vector<std::string> inputs = {m_sources};
    if (!m_mixtures.empty()) {
        inputs.push_back(m_mixtures);
    }
    std::error_code ec;
    if (!m_tef.empty() && std::filesystem::exists(m_tef, ec)) {
        inputs.push_back(m_tef);
    }
    std::vector<std::string> outputs;
    for (const auto& [path, entry] : files) {
        outputs.push_back(path);
    }
    if (const int code = refuseReplacingInputs(outputs, inputs, "import"); code != kExitDone) {
        return code;
    }
    // All or nothing: no data file is moved into place until every one is written.
    std::vector<FileText> texts;
    for (const auto& [path, entry] : files) {
        if (const auto field = firstFieldWithQuote(entry->entry)) {
            std::cerr << "fenlowick-cli: " << terminalText(path) << ": "
                      << quoteRefusalMessage(*field) << "\n";
            return kExitFile;
        }
        texts.push_back({path, serializeDataFile(entry->entry)});
    }
    // Stopped by a signal (or past the file-size limit) while the files are written, import
    // says why and leaves no partial file, as run does.
    installInterruptHandlers();
    const Status written = writeFilesTogether(texts, &interruptFlag());
    restoreDefaultSignals();
    if (!written) {
        if (written.error().kind != Error::Kind::Cancelled) {
            std::cerr << "fenlowick-cli: " << terminalText(written.error().message) << "\n";
        }
        if (interruptSignal() != 0) {
            std::cerr << "fenlowick-cli: " << interruptReason() << "; no data files were written\n";
            return interruptExitCode();
        }
        return kExitFile;
    }
    for (const auto& [path, entry] : files) {
        if (!m_quiet) {
            std::cout << "Wrote " << terminalText(path);
            if (!entry->mixtureLabel.empty()) {
                std::cout << " (mixture \"" << terminalText(entry->mixtureLabel) << "\")";
            }
            std::cout << "\n";
        }
    }
    if (m_mixtures.empty()) {
        std::cerr << "fenlowick-cli: note: " << terminalText(files.front().first)
                  << " has empty mixture boxes: it is a template for batch (fenlowick-cli batch "
                  << terminalText(files.front().first)
                  << " MIXTURES.csv), or type the mixture into it before a run\n";
    }
    return kExitDone;
}

} // namespace fenlowick
