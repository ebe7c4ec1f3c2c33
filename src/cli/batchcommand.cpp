#include "cli/batchcommand.h"

#include "cli/cliapp.h"
#include "cli/interruption.h"
#include "cli/terminaltext.h"
#include "core/analysis/diagnosis.h"
#include "core/base/atomicfile.h"
#include "core/entry/checks.h"
#include "core/entry/datafile.h"
#include "core/entry/outputnaming.h"
#include "core/workflows/batchrun.h"

#include <CLI/CLI.hpp>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>

namespace fenlowick {

namespace {

const char* const kBatchHelp =
    R"help(The mixtures file needs a "mixture" column (the labels) and a column for every isotope
of the entry, headed by the entry's isotope label (d13C, δ13C and "d13C (‰)" match alike);
other columns are ignored. Each mixture's files are named after its label, made safe for
a file name ("Trout 1.5" gives Trout_1_5.out and Trout_1_5.tot); summary.csv holds one
row per mixture and source. A mixture without feasible solutions is recorded in
summary.csv with a count of 0 and empty statistics.

Exit codes:
  0    every mixture was run and summary.csv written
  1    the entry was refused; nothing was run
  2    the command line is wrong
  3    a file could not be read or written (the entry, the mixtures table, the folder,
       summary.csv); the message names it
  4    the batch finished, but some mixtures failed (listed at the end); the others'
       files and summary.csv were written
  129, 130, 141, 143, 153
       stopped by a closed terminal (SIGHUP), Ctrl+C, a closed output pipe (SIGPIPE),
       SIGTERM or the file-size limit (SIGXFSZ): 128 + the signal's number; mixtures
       finished before stay, summary.csv is not written)help";

std::string defaultFolder(const std::string& entryPath) {
    return joinFolder("output", std::filesystem::path(entryPath).stem().string());
}

} // namespace

BatchCommand::BatchCommand(CLI::App& app) {
    m_command = app.add_subcommand(
        "batch", "Run a data file once per mixture of a CSV file and write summary.csv");
    m_command->add_option("ENTRY", m_entry, "The data file holding the sources")->required();
    m_command->add_option("MIXTURES", m_mixtures, "CSV file of mixtures, one run per row")
        ->required();
    m_command->add_option("--output,-o", m_output,
                          "Folder of the result files and summary.csv. Default: "
                          "output/<entry name> in the current folder");
    m_command->add_flag("--no-feasible-file", m_noFeasibleFile,
                        "Write only the totals (.tot) of each run, no feasible-output (.out)");
    m_command->add_flag("--quiet,-q", m_quiet, "No progress lines; errors only");
    m_command->footer(kBatchHelp);
}

bool BatchCommand::parsed() const {
    return m_command->parsed();
}

void BatchCommand::reportMixture(const Entry& entry, std::size_t index, std::size_t total,
                                 const BatchItem& item, double seconds) const {
    if (!item.outcome.removedFeasiblePath.empty()) {
        std::cerr << "fenlowick-cli: removed the earlier "
                  << terminalText(item.outcome.removedFeasiblePath)
                  << ", which came from another run than these totals\n";
    }
    if (m_quiet) {
        return;
    }
    const std::string countWidth = std::to_string(total);
    std::string position = std::to_string(index + 1);
    position.insert(0, countWidth.size() - position.size(), ' ');
    std::cerr << "[" << position << "/" << total << "] " << terminalText(item.mixture.label)
              << ": ";
    if (item.failed()) {
        std::cerr << "FAILED: " << terminalText(item.failure) << "\n";
    } else if (item.outcome.feasibleCount == 0) {
        std::cerr << "no feasible solution";
        // The diagnosis's first sentence: where the mixture lies, the tolerance it needs.
        // Stopped by the signals that stop the batch, which then ends after this line.
        DiagnosisLimits limits;
        limits.approach.cancel = &interruptFlag();
        const Expected<Diagnosis> diagnosis =
            diagnoseEntry(batchEntry(entry, item.mixture), limits);
        if (diagnosis && !diagnosis->cancelled) {
            const std::string& text = diagnosis->message;
            const std::size_t end = text.find(". ");
            std::cerr << ". "
                      << terminalText(end == std::string::npos ? text : text.substr(0, end + 1));
        }
    } else {
        std::cerr << item.outcome.feasibleCount << " feasible solutions";
    }
    if (!item.failed()) {
        char time[32];
        std::snprintf(time, sizeof time, " (%.1f s)", seconds);
        std::cerr << time << "\n";
    }
}

int BatchCommand::run() const {
    Expected<Entry> entry = readDataFile(m_entry);
    if (!entry) {
        std::cerr << "fenlowick-cli: " << terminalText(entry.error().message) << "\n";
        return kExitFile;
    }
    // The entry's own checks, before any mixture: the mixtures come from the table.
    Entry withoutMixture = *entry;
    withoutMixture.mixture = {};
    std::optional<std::string> refused = negativeToleranceMessage(withoutMixture);
    if (Expected<CalculationInput> checked = checkEntry(withoutMixture); !checked) {
        refused = checked.error().message;
    }
    if (refused) {
        std::cerr << "fenlowick-cli: " << m_entry << ": " << terminalText(*refused) << "\n";
        return kExitRefused;
    }
    Expected<CsvTable> table = CsvTable::read(m_mixtures);
    if (!table) {
        std::cerr << "fenlowick-cli: " << terminalText(table.error().message) << "\n";
        return kExitFile;
    }
    Expected<BatchPlan> plan = planBatch(*entry, *table);
    if (!plan) {
        std::cerr << "fenlowick-cli: " << terminalText(plan.error().message) << "\n";
        return kExitFile;
    }
    for (const std::string& note : plan->notes) {
        std::cerr << "fenlowick-cli: note: " << terminalText(note) << "\n";
    }
    const std::string folder = m_output.empty() ? defaultFolder(m_entry) : m_output;
    // An input named like a result (a mixtures table called summary.csv, an entry A.tot
    // beside a mixture A) would be replaced by it.
    std::vector<std::string> outputs = {joinFolder(folder, "summary.csv")};
    for (const BatchMixture& mixture : plan->mixtures) {
        for (const char* extension : {"out", "tot"}) {
            outputs.push_back(resultFilePath(folder, mixture.fileName, extension));
        }
    }
    if (const int code = refuseReplacingInputs(outputs, {m_entry, m_mixtures}, "batch");
        code != kExitDone) {
        return code;
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::cerr << "fenlowick-cli: Could not create the folder " << terminalText(folder) << ": "
                  << ec.message() << "\n";
        return kExitFile;
    }

    BatchRequest request;
    request.entry = *entry;
    request.mixtures = plan->mixtures;
    request.folder = folder;
    request.writeFeasibleFile = !m_noFeasibleFile;
    request.cancel = &interruptFlag();
    const std::size_t total = request.mixtures.size();
    auto started = std::chrono::steady_clock::now();
    request.finished = [&](std::size_t index, const BatchItem& item) {
        const auto now = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(now - started).count();
        started = now;
        reportMixture(*entry, index, total, item, seconds);
    };
    // The result files are about to be replaced: a summary of the earlier run beside them
    // would describe other results, were this run stopped before its own summary.
    const std::string summaryPath = joinFolder(folder, "summary.csv");
    const bool earlierSummary = std::filesystem::is_regular_file(summaryPath, ec) &&
                                std::filesystem::remove(summaryPath, ec);
    installInterruptHandlers();
    const BatchResult result = runBatch(request);
    if (result.cancelled || interruptSignal() != 0) {
        std::cerr << "fenlowick-cli: " << interruptReason() << " after " << result.items.size()
                  << " of " << total << " mixtures; summary.csv was not written"
                  << (earlierSummary ? " (the earlier one was removed: it described the results "
                                       "this run replaced)"
                                     : "")
                  << "\n";
        return interruptExitCode();
    }
    return finishBatch(result, folder, summaryPath);
}

int BatchCommand::finishBatch(const BatchResult& result, const std::string& folder,
                              const std::string& summaryPath) const {
    const std::size_t total = result.items.size();

    std::size_t failures = 0;
    for (const BatchItem& item : result.items) {
        failures += item.failed() ? 1 : 0;
    }
    const Status summary = writeFileAtomically(summaryPath, composeBatchSummary(result.items));
    if (!summary) {
        std::cerr << "fenlowick-cli: " << terminalText(summary.error().message) << "\n";
    } else if (!m_quiet) {
        std::cout << "Ran " << (failures == 0 ? "" : std::to_string(total - failures) + " of ")
                  << total << " mixtures into " << terminalText(folder) << "\n"
                  << "Summary: " << summaryPath << "\n";
    }
    // Failures are listed even when quiet: quiet hides progress, not what went wrong.
    if (failures > 0) {
        std::cerr << "fenlowick-cli: " << failures << " of " << total
                  << " mixtures failed and are not in summary.csv:\n";
        for (const BatchItem& item : result.items) {
            if (item.failed()) {
                std::cerr << "  " << terminalText(item.mixture.label) << " (" << m_mixtures
                          << ", line " << item.mixture.line << "): " << terminalText(item.failure)
                          << "\n";
            }
        }
    }
    if (!summary) {
        return kExitFile;
    }
    if (failures > 0) {
        return kExitBatchIncomplete;
    }
    return kExitDone;
}

} // namespace fenlowick
