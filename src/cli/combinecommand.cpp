#include "cli/combinecommand.h"

#include "cli/cliapp.h"
#include "cli/interruption.h"
#include "cli/terminaltext.h"
#include "core/analysis/combinedtotals.h"
#include "core/base/atomicfile.h"
#include "core/entry/messages.h"
#include "core/entry/outputnaming.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace fenlowick {

namespace {

const char* const kCombineHelp = R"(Exit codes:
  0  the totals file was written
  2  the command line is wrong, or a group does not fit the run (an unknown source, a
     source in two groups, two groups of one name, a group named after another source)
  3  the file could not be read, is not a feasible-output file, or the totals file could
     not be written (nothing is replaced then)
  129, 130, 143, 153
     stopped by a signal while the totals file was written (128 + its number); nothing
     was written or replaced)";

} // namespace

CombineCommand::CombineCommand(CLI::App& app) {
    m_command = app.add_subcommand(
        "combine", "Write the totals file (.tot) of a finished run with some of its sources "
                   "counted as one, from its feasible-output file (.out)");
    m_command->add_option("RUN", m_feasible, "The feasible-output file of the run")->required();
    m_command
        ->add_option("--group,-g", m_groups,
                     "A combined source: NAME=SOURCE,SOURCE,... (repeat for more groups; quote "
                     "a source whose label holds a comma: Marine='\"Fish, salted\"',Seals)")
        ->required();
    m_command->add_option("--output,-o", m_output,
                          "Folder and name of the totals file (the extension becomes .tot). "
                          "Default: RUN-combined.tot beside RUN");
    m_command->add_flag("--quiet,-q", m_quiet, "Print nothing but errors");
    m_command->footer(kCombineHelp);
}

bool CombineCommand::parsed() const {
    return m_command->parsed();
}

std::string CombineCommand::totalsPath() const {
    const std::filesystem::path input(m_feasible);
    const std::string defaultName = input.stem().string() + "-combined";
    if (m_output.empty()) {
        return resultFilePath(input.parent_path().string(), defaultName, "tot");
    }
    std::error_code ec;
    const std::filesystem::path output(m_output);
    if (m_output.back() == '/' || std::filesystem::is_directory(output, ec)) {
        return resultFilePath(m_output, defaultName, "tot");
    }
    return resultFilePath(output.parent_path().string(), output.filename().string(), "tot");
}

int CombineCommand::run() const {
    std::vector<SourceGroup> groups;
    for (const std::string& text : m_groups) {
        Expected<SourceGroup> group = parseSourceGroup(text);
        if (!group) {
            std::cerr << "fenlowick-cli: " << terminalText(group.error().message) << "\n";
            return kExitUsage;
        }
        groups.push_back(std::move(*group));
    }
    if (const int code = refuseSpecialOutput(m_output); code != kExitDone) {
        return code;
    }

    // Why a file cannot be read: a folder, a pipe or device, or the system's reason.
    std::string problem = notAFileToRead(m_feasible).value_or(std::string());
    std::ifstream in;
    if (problem.empty()) {
        in.open(m_feasible, std::ios::binary);
        if (!in) {
            problem = std::strerror(errno);
        }
    }
    if (!problem.empty()) {
        std::cerr << "fenlowick-cli: Could not open " << terminalText(m_feasible) << ": " << problem
                  << "\n";
        return kExitFile;
    }
    Expected<CombinedTotals> totals = combineFeasibleOutput(in, groups, currentDateTime());
    if (!totals) {
        std::cerr << "fenlowick-cli: " << terminalText(m_feasible) << ": "
                  << terminalText(totals.error().message) << "\n";
        return totals.error().kind == Error::Kind::Refused ? kExitUsage : kExitFile;
    }

    const std::string path = totalsPath();
    // Stopped by a signal (or past the file-size limit) while the file is written, combine
    // says why and leaves no partial file, as run does.
    installInterruptHandlers();
    const Status written = writeFilesTogether({{path, totals->text}}, &interruptFlag());
    restoreDefaultSignals();
    if (!written) {
        if (written.error().kind != Error::Kind::Cancelled) {
            std::cerr << "fenlowick-cli: " << terminalText(written.error().message) << "\n";
        }
        if (interruptSignal() != 0) {
            std::cerr << "fenlowick-cli: " << interruptReason() << "; no totals file was written\n";
            return interruptExitCode();
        }
        return kExitFile;
    }
    if (!m_quiet) {
        if (totals->observations == 0) {
            std::cout << messages::kNoObservations << "\n";
        }
        std::cout << "Combined sources:";
        for (std::size_t i = 0; i < totals->sources.size(); ++i) {
            std::cout << (i == 0 ? " " : ", ") << terminalText(totals->sources[i]);
        }
        std::cout << "\nFeasible solutions: " << totals->observations
                  << "\nTotals: " << terminalText(path) << "\n";
    }
    return kExitDone;
}

} // namespace fenlowick
