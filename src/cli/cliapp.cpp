#include "cli/cliapp.h"

#include "cli/batchcommand.h"
#include "cli/combinecommand.h"
#include "cli/diagnosecommand.h"
#include "cli/importcommand.h"
#include "cli/interruption.h"
#include "cli/mergecommand.h"
#include "cli/progressline.h"
#include "cli/studycommand.h"
#include "cli/summarycommand.h"
#include "cli/terminaltext.h"
#include "core/base/csvtable.h"
#include "core/base/programversion.h"
#include "core/base/safefilename.h"
#include "core/entry/checks.h"
#include "core/entry/datafile.h"
#include "core/entry/outputnaming.h"
#include "core/workflows/calculationrun.h"
#include "core/workflows/timeleft.h"

#include <CLI/CLI.hpp>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <unistd.h>

namespace fenlowick {

namespace {

const char* const kRunExitCodesText = R"(Exit codes:
  0    finished (a run that finds no feasible solution included)
  1    the entry was refused; its message is printed and nothing is written
  2    the command line is wrong
  3    a file could not be read or written, or standard output could not be; the message
       names it and the reason
  129, 130, 141, 143, 153
       stopped by a closed terminal (SIGHUP), Ctrl+C, a closed output pipe (SIGPIPE),
       SIGTERM or the file-size limit (SIGXFSZ): 128 + the signal's number; nothing is
       written or replaced)";

const char* const kExitCodesText = R"(Exit codes:
  0    finished (a run that finds no feasible solution included)
  1    the entry was refused; its message is printed and nothing is written
  2    the command line is wrong
  3    a file could not be read or written, or standard output could not be; the message
       names it and the reason
  4    batch: some mixtures failed; the others' files and summary.csv were written
  129, 130, 141, 143, 153
       run and batch stopped by a closed terminal (SIGHUP), Ctrl+C, a closed output pipe
       (SIGPIPE), SIGTERM or the file-size limit (SIGXFSZ): 128 + the signal's number;
       nothing is written or replaced)";

/// A progress bar on standard error with the time left, redrawn at most ten times a second.
/// Before the first report of the fraction done the run is counting its solutions.
class ProgressBar {
public:
    void update(float firstShare) {
        m_share = firstShare;
        draw(firstShare >= 100.0f);
    }

    /// The fraction of the run's work done, for the time left.
    void setFraction(double fraction) {
        m_line.observe(fraction);
        m_counting = false;
        draw(false);
    }

    void finish() { m_line.finish(); }

private:
    void draw(bool force) {
        const int width = 40;
        const int filled = static_cast<int>(std::lround(m_share / 100.0f * width));
        std::string bar(static_cast<std::size_t>(std::clamp(filled, 0, width)), '#');
        bar.resize(width, '.');
        std::string left = m_counting ? "counting solutions..." : m_line.timeLeft();
        if (left.empty()) {
            left = "writing records...";
        }
        char percent[8];
        std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(std::lround(m_share)));
        m_line.draw("Progress: [" + bar + "] " + percent + "  " + left, force);
    }

    ProgressLine m_line;
    float m_share = 0.0f;
    bool m_counting = true;
};

struct RunOptions {
    std::string entryPath;
    std::string outputPath;
    bool quiet = false;
    bool noFeasibleFile = false;
    bool estimate = false;
    std::string concentrationsPath;
    std::vector<std::string> limits;
    bool asStudy = false;
};

/// The concentrations and limits of the options, read against the checked entry.
Expected<MixingConstraints> constraintsOf(const RunOptions& options, const Entry& entry,
                                          const CalculationInput& input) {
    std::optional<CsvTable> table;
    if (!options.concentrationsPath.empty()) {
        Expected<CsvTable> read = CsvTable::read(options.concentrationsPath);
        if (!read) {
            return read.error();
        }
        table = std::move(*read);
    }
    return readRunConstraints(entry, input, table ? &*table : nullptr, options.limits);
}

/// Folder and typed name from --output, as the output-file dialog would hold them.
std::pair<std::string, std::string> splitOutput(const RunOptions& options) {
    const std::filesystem::path entry(options.entryPath);
    if (options.outputPath.empty()) {
        return {"output", entry.filename().string()};
    }
    std::error_code ec;
    const std::filesystem::path output(options.outputPath);
    if (options.outputPath.back() == '/' || std::filesystem::is_directory(output, ec)) {
        return {options.outputPath, entry.filename().string()};
    }
    return {output.parent_path().string(), output.filename().string()};
}

/// The exit code of a run that did not complete, after saying why; nothing when it did.
std::optional<int> failedRunExitCode(const RunOutcome& outcome) {
    using Status = RunOutcome::Status;
    switch (outcome.status) {
    case Status::Refused:
        std::cerr << terminalText(outcome.message) << "\n";
        return kExitRefused;
    case Status::NoName:
        std::cerr << "fenlowick-cli: the output name is empty\n";
        return kExitUsage;
    case Status::Cancelled:
        std::cerr << "fenlowick-cli: " << interruptReason() << "; no result files were written\n";
        return interruptExitCode();
    case Status::FileError:
        std::cerr << "fenlowick-cli: " << terminalText(outcome.message) << "\n";
        if (interruptSignal() != 0) {
            // The file-size limit fails the write that passes it and signals it too.
            std::cerr << "fenlowick-cli: " << interruptReason()
                      << "; no result files were written\n";
            return interruptExitCode();
        }
        return kExitFile;
    case Status::Completed:
        break;
    }
    return std::nullopt;
}

/// What a completed run found and wrote, on standard output.
void printRunSummary(const RunOptions& options, const RunRequest& request,
                     const RunOutcome& outcome) {
    if (outcome.notice) {
        std::cout << *outcome.notice << "\n";
    }
    if (request.constraints.concentrations) {
        std::cout << "Mixing by concentration: " << terminalText(options.concentrationsPath)
                  << "\n";
    }
    for (const auto& limit : request.constraints.limits) {
        std::cout << "Limit: " << terminalText(limit.text) << "\n";
    }
    // The diagnosis reasons about the linear model over the whole grid.
    if (outcome.feasibleCount == 0 && request.constraints.empty()) {
        printDiagnosis(request.entry, std::cout, &interruptFlag());
    }
    std::cout << terminalText(outcome.message) << "\n"
              << "Feasible solutions: " << outcome.feasibleCount << " of " << outcome.visitedCount
              << " combinations\n";
    if (!outcome.feasiblePath.empty()) {
        std::cout << "Feasible output: " << terminalText(outcome.feasiblePath) << "\n";
    }
    std::cout << "Totals: " << terminalText(outcome.totalsPath) << "\n";
}

int runCommand(const RunOptions& options) {
    Expected<Entry> entry = readDataFile(options.entryPath);
    if (!entry) {
        std::cerr << "fenlowick-cli: " << terminalText(entry.error().message) << "\n";
        return kExitFile;
    }
    // A refused entry writes nothing, not even the default output folder.
    const CheckRules rules = options.asStudy ? kStudyCheckRules : CheckRules{};
    const Expected<CalculationInput> input = checkEntry(*entry, rules);
    if (!input) {
        std::cerr << terminalText(input.error().message) << "\n";
        return kExitRefused;
    }
    const Expected<MixingConstraints> constraints = constraintsOf(options, *entry, *input);
    if (!constraints) {
        return reportError(constraints.error());
    }
    if (options.estimate) {
        std::cout << "Combinations: "
                  << combinationCount(input->sourceCount(), input->incrementPercent) << "\n";
        return kExitDone;
    }
    if (const int code = refuseSpecialOutput(options.outputPath); code != kExitDone) {
        return code;
    }
    auto [folder, name] = splitOutput(options);
    // An entry or concentrations table named like a result (r.out, run with -o r) would be
    // replaced by it, or removed as an earlier result with --no-feasible-file.
    std::vector<std::string> inputs = {options.entryPath};
    if (!options.concentrationsPath.empty()) {
        inputs.push_back(options.concentrationsPath);
    }
    if (const int code = refuseReplacingInputs(
            {resultFilePath(folder, name, "out"), resultFilePath(folder, name, "tot")}, inputs,
            "run");
        code != kExitDone) {
        return code;
    }
    if (options.outputPath.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (ec) {
            std::cerr << "fenlowick-cli: Could not create the folder " << terminalText(folder)
                      << ": " << ec.message() << "\n";
            return kExitFile;
        }
    }

    ProgressBar bar;
    const bool showProgress = !options.quiet && ::isatty(STDERR_FILENO) == 1;
    RunRequest request;
    request.entry = std::move(*entry);
    request.folder = folder;
    request.typedName = name;
    request.cancel = &interruptFlag();
    request.writeFeasibleFile = !options.noFeasibleFile;
    request.rules = rules;
    request.constraints = *constraints;
    if (showProgress) {
        request.progress = [&bar](float share) { bar.update(share); };
        request.fractionDone = [&bar](double fraction) { bar.setFraction(fraction); };
        bar.update(0.0f);
    }
    installInterruptHandlers();
    const RunOutcome outcome = runCalculation(request);
    bar.finish();
    if (const std::optional<int> failed = failedRunExitCode(outcome)) {
        return *failed;
    }
    if (!options.quiet) {
        printRunSummary(options, request, outcome);
    }
    if (!outcome.removedFeasiblePath.empty()) {
        // Said even when quiet: a file the user may have wanted is gone.
        std::cerr << "fenlowick-cli: removed the earlier "
                  << terminalText(outcome.removedFeasiblePath)
                  << ", which came from another run than these totals\n";
    }
    return kExitDone;
}

} // namespace

bool replacesFile(const std::string& output, const std::string& input) {
    std::error_code ec;
    return std::filesystem::equivalent(output, input, ec) && !ec;
}

int refuseReplacingInputs(const std::vector<std::string>& outputs,
                          const std::vector<std::string>& inputs, const char* command) {
    for (const std::string& output : outputs) {
        for (const std::string& input : inputs) {
            if (replacesFile(output, input)) {
                std::cerr << "fenlowick-cli: " << terminalText(output) << " would replace "
                          << terminalText(input) << ", which " << command
                          << " reads; give another --output\n";
                return kExitFile;
            }
        }
    }
    return kExitDone;
}

int refuseSpecialOutput(const std::string& output) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(output, ec);
    if (ec || !std::filesystem::exists(status) || std::filesystem::is_regular_file(status) ||
        std::filesystem::is_directory(status)) {
        return kExitDone;
    }
    std::cerr << "fenlowick-cli: --output " << terminalText(output)
              << " is a device, a pipe or a socket, not a file or a folder: the results are "
                 "files written beside it; give a file name or a folder\n";
    return kExitUsage;
}

int finishOutput(int code) {
    errno = 0;
    std::cout.flush();
    if (!std::cout.fail()) {
        return code;
    }
    // What a command prints may be its whole result (summary --csv, diagnose, --estimate):
    // one that could not be printed is no success.
    const int error = errno;
    if (error == EPIPE || interruptSignal() == SIGPIPE) {
        return 128 + SIGPIPE;
    }
    std::cerr << "fenlowick-cli: could not write to standard output"
              << (error != 0 ? ": " + std::string(std::strerror(error)) : std::string()) << "\n";
    return code == kExitDone ? kExitFile : code;
}

int reportError(const Error& error) {
    // A message quoting a huge cell of a hostile table would flood the terminal: its middle
    // is left out, keeping where (the start) and what is wrong (the end).
    constexpr std::size_t kHead = 1200;
    constexpr std::size_t kTail = 400;
    std::string message = error.message;
    if (message.size() > kHead + kTail + 100) {
        std::size_t tail = message.size() - kTail;
        while (tail < message.size() &&
               (static_cast<unsigned char>(message[tail]) & 0xC0) == 0x80) {
            ++tail; // a continuation byte: not a character's start
        }
        message = cutToBytes(message, kHead) + " [… " + std::to_string(tail - kHead) +
                  " bytes left out …] " + message.substr(tail);
    }
    std::cerr << "fenlowick-cli: " << terminalText(message) << "\n";
    return error.kind == Error::Kind::Refused ? kExitRefused : kExitFile;
}

int runCli(int argc, char** argv) {
    std::setlocale(LC_TIME, "");

    CLI::App app{"Fenlowick: exact stable-isotope mixing models from the command line",
                 "fenlowick-cli"};
    app.footer(kExitCodesText);
    app.set_version_flag("--version", std::string("fenlowick-cli ") + programVersion());
    app.require_subcommand(1);

    RunOptions runOptions;
    CLI::App* run = app.add_subcommand(
        "run", "Run the calculation of a data file (.dat) and write its .out and .tot files");
    run->add_option("ENTRY", runOptions.entryPath, "The data file holding the entry")->required();
    run->add_option("--output,-o", runOptions.outputPath,
                    "Folder and name of the result files, as typed in the output-file dialog "
                    "(the extension becomes .out and .tot). Default: output/<entry name> in "
                    "the current folder");
    run->add_flag("--quiet,-q", runOptions.quiet, "Print nothing but errors");
    run->add_flag("--no-feasible-file", runOptions.noFeasibleFile,
                  "Write only the .tot file, for searches whose .out would not fit on the disk; "
                  "the .tot is the same as a full run's");
    run->add_flag("--as-study", runOptions.asStudy,
                  "Check the entry as a study does: two sources are enough, and more than 6 "
                  "decimal places pass, compared at 6 (for the data files study --entry-of "
                  "writes)");
    run->add_flag("--estimate", runOptions.estimate,
                  "Check the entry and print the number of combinations the search has, "
                  "without running it or writing anything");
    run->add_option("--concentrations,-c", runOptions.concentrationsPath,
                    "CSV file of the sources' elemental concentrations: a row per source "
                    "label, a column per isotope label (or Conc and the label); mixes each "
                    "tracer in proportion to its element")
        ->check(CLI::ExistingFile);
    run->add_option("--limit,-l", runOptions.limits,
                    "A limit on shares in percent, as \"Small fish=10-40\" (either end may be "
                    "left out), \"Fish>=50\", \"Fish<=20\" or \"Fish+Seals>=50\"; repeat for "
                    "several")
        ->allow_extra_args(false);
    run->footer(kRunExitCodesText);
    ImportCommand importCommand(app);
    BatchCommand batchCommand(app);
    SummaryCommand summaryCommand(app);
    CombineCommand combineCommand(app);
    DiagnoseCommand diagnoseCommand(app);
    StudyCommand studyCommand(app);
    MergeCommand mergeCommand(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    }

    int code = kExitUsage;
    if (run->parsed()) {
        code = runCommand(runOptions);
    } else if (importCommand.parsed()) {
        code = importCommand.run();
    } else if (batchCommand.parsed()) {
        code = batchCommand.run();
    } else if (summaryCommand.parsed()) {
        code = summaryCommand.run();
    } else if (combineCommand.parsed()) {
        code = combineCommand.run();
    } else if (diagnoseCommand.parsed()) {
        code = diagnoseCommand.run();
    } else if (studyCommand.parsed()) {
        code = studyCommand.run();
    } else if (mergeCommand.parsed()) {
        code = mergeCommand.run();
    }
    return finishOutput(code);
}

} // namespace fenlowick
