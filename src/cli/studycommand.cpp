#include "cli/studycommand.h"

#include "cli/cliapp.h"
#include "cli/interruption.h"
#include "cli/terminaltext.h"
#include "core/base/atomicfile.h"
#include "core/base/csvtable.h"
#include "core/entry/datafile.h"
#include "core/entry/outputnaming.h"
#include "core/study/studyreport.h"
#include "core/study/studyrun.h"
#include "core/study/studytables.h"
#include "core/workflows/timeleft.h"
#ifdef FENLOWICK_HAVE_FIGURES
#include "gui/figures/studyfigures.h"
#endif

#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <unistd.h>

namespace fenlowick {

namespace {

const char* const kStudyHelp = R"(Tables, found by header in any order and any case:
  consumers       one row per individual: a column per tracer (d13C, d15N ...) and factor
                  columns (Region, Group ...)
  sources         a label column ("Source" or an empty header) and either summary rows
                  (Mean<tracer>, SD<tracer>, n; one row per source and level of a factor
                  the consumers share) or raw rows (a column per tracer, a row per sample)
  discrimination  a label column, Mean<tracer> and SD<tracer>, a row per source
Each consumer is run exactly with the source means plus the discrimination means. With
--draws N every source and discrimination value is drawn N times from a normal
distribution with its mean and the SD as given (the SD of the source, not of its mean),
and each draw is run exactly. Files in the output folder: consumers.csv, uncertainty.csv
(draws), groups.csv (--by), histograms.csv, and figures/ (PNG and SVG).

Exit codes:
  0    the files were written
  1    a consumer's entry would be refused by the run's checks (line named)
  2    the command line is wrong
  3    a file could not be read or written, or a table is wrong (file, line and column)
  129, 130, 141, 143, 153
       stopped by a signal (128 + its number); nothing was written or replaced)";

/// "runs 1200 of 6000  about 12 s left", redrawn at most ten times a second.
class StudyProgress {
public:
    void update(std::uint64_t done, std::uint64_t total) {
        const auto now = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(now - m_start).count();
        m_estimate.observe(static_cast<double>(done) / static_cast<double>(total), seconds);
        if (now - m_last < std::chrono::milliseconds(100) && done < total) {
            return;
        }
        m_last = now;
        std::fprintf(stderr, "\rStudy: %llu of %llu runs  %-24s",
                     static_cast<unsigned long long>(done), static_cast<unsigned long long>(total),
                     m_estimate.text(seconds).c_str());
        std::fflush(stderr);
        m_shown = true;
    }

    void finish() {
        if (m_shown) {
            std::fprintf(stderr, "\r%70s\r", "");
            std::fflush(stderr);
        }
    }

private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point m_last{};
    TimeLeftEstimate m_estimate;
    bool m_shown = false;
};

/// CONSUMER or CONSUMER:DRAW, both whole numbers.
std::optional<std::pair<int, int>> parseEntryOf(const std::string& text) {
    const std::size_t colon = text.find(':');
    auto whole = [](const std::string& part) -> std::optional<int> {
        if (part.empty() || part.size() > 9 ||
            part.find_first_not_of("0123456789") != std::string::npos) {
            return std::nullopt;
        }
        return std::stoi(part);
    };
    const auto consumer = whole(text.substr(0, colon));
    const auto draw =
        colon == std::string::npos ? std::optional<int>(0) : whole(text.substr(colon + 1));
    if (!consumer || !draw) {
        return std::nullopt;
    }
    return std::pair{*consumer, *draw};
}

} // namespace

StudyCommand::StudyCommand(CLI::App& app) {
    m_command = app.add_subcommand(
        "study", "Run a study from consumer, source and discrimination tables (CSV): an exact "
                 "run per consumer and, with --draws, the sources' uncertainty");
    m_command->add_option("SOURCES", m_sources, "CSV file of the sources")->required();
    m_command->add_option("CONSUMERS", m_consumers, "CSV file of the consumers")->required();
    m_command->add_option("--discrimination,-d", m_discrimination,
                          "CSV file of the trophic discrimination per source");
    m_command->add_option("--increment,-i", m_increment, "Percent increment, 1 to 100")->required();
    m_command->add_option("--tolerance,-t", m_tolerance, "Tolerance, in signature units")
        ->required();
    m_command->add_option("--draws", m_draws, "Draws per consumer from the sources' SDs")
        ->check(CLI::Range(0, 1000000));
    m_command
        ->add_option("--seed", m_seed,
                     "Seed of the draws; the same seed gives the same "
                     "files")
        ->capture_default_str();
    m_command->add_option("--by", m_by,
                          "A factor column of the consumers; its levels are pooled into "
                          "groups.csv (repeat for combinations of factors)");
    m_command->add_option("--output,-o", m_output,
                          "Folder of the result files. Default: output/<consumer file name>");
    m_command->add_option("--threads", m_threads, "Worker threads; 0 takes one per core")
        ->check(CLI::Range(0, 1024));
    m_command->add_option("--entry-of", m_entryOf,
                          "Write the data file of one consumer's exact run (CONSUMER, its data "
                          "row) or of one of its draws (CONSUMER:DRAW) into the output folder, "
                          "and run nothing; `fenlowick-cli run` on it gives that run's results");
    m_command->add_flag("--no-figures", m_noFigures, "Write the tables only");
    m_command->add_flag("--quiet,-q", m_quiet, "Print nothing but errors and notes");
    m_command->footer(kStudyHelp);
}

bool StudyCommand::parsed() const {
    return m_command->parsed();
}

int StudyCommand::run() const {
    Expected<CsvTable> sources = CsvTable::read(m_sources);
    if (!sources) {
        return reportError(sources.error());
    }
    Expected<CsvTable> consumers = CsvTable::read(m_consumers);
    if (!consumers) {
        return reportError(consumers.error());
    }
    std::optional<CsvTable> discrimination;
    if (!m_discrimination.empty()) {
        Expected<CsvTable> table = CsvTable::read(m_discrimination);
        if (!table) {
            return reportError(table.error());
        }
        discrimination = std::move(*table);
    }
    Expected<Study> study =
        readStudy(*sources, *consumers, discrimination ? &*discrimination : nullptr);
    if (!study) {
        return reportError(study.error());
    }
    for (const std::string& note : study->notes) {
        std::cerr << "fenlowick-cli: note: " << terminalText(note) << "\n";
    }
    std::vector<int> byFactors;
    for (const std::string& name : m_by) {
        const int f = study->factorIndex(name);
        if (f < 0) {
            std::string list;
            for (const std::string& factor : study->factors) {
                list += (list.empty() ? "" : ", ") + factor;
            }
            std::cerr << "fenlowick-cli: --by " << terminalText(name) << ": " << m_consumers
                      << " has no such factor column"
                      << (list.empty() ? std::string(" (it has none)")
                                       : " (its factors: " + list + ")")
                      << "\n";
            return kExitUsage;
        }
        byFactors.push_back(f);
    }
    const std::string folder =
        m_output.empty() ? joinFolder("output", std::filesystem::path(m_consumers).stem().string())
                         : m_output;

    StudySettings settings;
    settings.increment = m_increment;
    settings.tolerance = m_tolerance;
    settings.draws = m_draws;
    settings.seed = m_seed;
    settings.threads = m_threads;

    std::error_code ec;
    if (!m_entryOf.empty()) {
        const auto which = parseEntryOf(m_entryOf);
        if (!which || which->first < 1 ||
            which->first > static_cast<int>(study->consumers.size())) {
            std::cerr << "fenlowick-cli: --entry-of " << terminalText(m_entryOf)
                      << ": give a consumer's data row, 1 to " << study->consumers.size()
                      << ", and for a draw :DRAW (3:17)\n";
            return kExitUsage;
        }
        Expected<Entry> entry =
            studyEntry(*study, static_cast<std::size_t>(which->first - 1), which->second, settings);
        if (!entry) {
            return reportError(entry.error());
        }
        std::filesystem::create_directories(folder, ec);
        const std::string path = joinFolder(
            folder, "consumer-" + std::to_string(which->first) +
                        (which->second > 0 ? "-draw-" + std::to_string(which->second) : "") +
                        ".dat");
        if (Status s = writeFileAtomically(path, serializeDataFile(*entry)); !s) {
            return reportError(s.error());
        }
        if (!m_quiet) {
            std::cout << "Wrote " << path << "\n";
        }
        return kExitDone;
    }

    StudyProgress progress;
    if (!m_quiet && ::isatty(STDERR_FILENO) == 1) {
        settings.progress = [&progress](std::uint64_t done, std::uint64_t total) {
            progress.update(done, total);
        };
    }
    settings.cancel = &interruptFlag();
    installInterruptHandlers();
    Expected<StudyOutcome> outcome = runStudy(*study, settings);
    progress.finish();
    if (!outcome) {
        return reportError(outcome.error());
    }
    if (outcome->cancelled) {
        std::cerr << "fenlowick-cli: " << interruptReason() << "; no result files were written\n";
        return interruptExitCode();
    }

    const StudyReport report = composeStudyReport(*study, *outcome, byFactors);
    std::vector<FileText> files = {{joinFolder(folder, "consumers.csv"), report.consumers},
                                   {joinFolder(folder, "histograms.csv"), report.histograms}};
    if (!report.uncertainty.empty()) {
        files.push_back({joinFolder(folder, "uncertainty.csv"), report.uncertainty});
    }
    if (!report.groups.empty()) {
        files.push_back({joinFolder(folder, "groups.csv"), report.groups});
    }
    const std::string figureFolder = joinFolder(folder, "figures");
    bool anyFigure = false;
    if (!m_noFigures) {
#ifdef FENLOWICK_HAVE_FIGURES
        for (FileText& figure : drawStudyFigures(*study, *outcome, byFactors, figureFolder)) {
            files.push_back(std::move(figure));
            anyFigure = true;
        }
#else
        std::cerr << "fenlowick-cli: note: this build has no figures (it was made without Qt)\n";
#endif
    }
    if (interruptSignal() != 0) {
        std::cerr << "fenlowick-cli: " << interruptReason() << "; no result files were written\n";
        return interruptExitCode();
    }
    const bool folderExisted = std::filesystem::exists(folder, ec);
    const bool figureFolderExisted = std::filesystem::exists(figureFolder, ec);
    std::filesystem::create_directories(anyFigure ? figureFolder : folder, ec);
    if (ec) {
        std::cerr << "fenlowick-cli: Could not create the folder " << folder << ": " << ec.message()
                  << "\n";
        return kExitFile;
    }
    if (Status s = writeFilesTogether(files); !s) {
        // Folders made for files that were not written go too (remove takes only empty ones).
        if (!figureFolderExisted) {
            std::filesystem::remove(figureFolder, ec);
        }
        if (!folderExisted) {
            std::filesystem::remove(folder, ec);
        }
        reportError(s.error());
        if (interruptSignal() != 0) {
            // The file-size limit fails the write that passes it and signals it too.
            std::cerr << "fenlowick-cli: " << interruptReason()
                      << "; no result files were written\n";
            return interruptExitCode();
        }
        return kExitFile;
    }
    // Tables and figures this study does not write, left by an earlier one, would be read as
    // its own.
    std::vector<std::string> ours = {joinFolder(folder, "uncertainty.csv"),
                                     joinFolder(folder, "groups.csv")};
    for (const auto& item : std::filesystem::directory_iterator(figureFolder, ec)) {
        const std::string name = item.path().filename().string();
        if ((name.starts_with("isospace") || name.starts_with("shares")) &&
            (name.ends_with(".png") || name.ends_with(".svg"))) {
            ours.push_back(item.path().string());
        }
    }
    for (const std::string& path : ours) {
        const bool written = std::any_of(files.begin(), files.end(), [&](const FileText& file) {
            return std::filesystem::path(file.path) == std::filesystem::path(path);
        });
        if (!written && std::filesystem::remove(path, ec)) {
            std::cerr << "fenlowick-cli: removed " << path
                      << ", which an earlier study wrote and this one does not\n";
        }
    }
    if (!m_quiet) {
        std::size_t without = 0;
        for (const ConsumerOutcome& consumer : outcome->consumers) {
            without += consumer.feasible == 0 ? 1 : 0;
        }
        std::cout << "Consumers: " << study->consumers.size() << ", " << without
                  << " without a solution at the source means";
        if (outcome->draws > 0) {
            std::cout << "; " << outcome->draws << " draws each (seed " << m_seed << ")";
        }
        std::cout << "\n";
        for (const FileText& file : files) {
            std::cout << "Wrote " << file.path << "\n";
        }
    }
    return kExitDone;
}

} // namespace fenlowick
