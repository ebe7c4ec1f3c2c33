#include "cli/diagnosecommand.h"

#include "cli/cliapp.h"
#include "cli/terminaltext.h"
#include "core/analysis/diagnosis.h"
#include "core/entry/datafile.h"

#include <CLI/CLI.hpp>

#include <iostream>

namespace fenlowick {

namespace {

const char* const kDiagnoseHelp = R"(Exit codes:
  0  the diagnosis was printed
  1  the entry was refused by the run's checks; their message is printed
  2  the command line is wrong
  3  the data file could not be read)";

} // namespace

DiagnoseCommand::DiagnoseCommand(CLI::App& app) {
    m_command = app.add_subcommand(
        "diagnose", "Tell where the mixture of a data file (.dat) lies against its sources and "
                    "the smallest tolerance that gives solutions at its increment");
    m_command->add_option("ENTRY", m_entry, "The data file holding the entry")->required();
    m_command->footer(kDiagnoseHelp);
}

bool DiagnoseCommand::parsed() const {
    return m_command->parsed();
}

int DiagnoseCommand::run() const {
    Expected<Entry> entry = readDataFile(m_entry);
    if (!entry) {
        std::cerr << "fenlowick-cli: " << terminalText(entry.error().message) << "\n";
        return kExitFile;
    }
    const Expected<Diagnosis> diagnosis = diagnoseEntry(*entry);
    if (!diagnosis) {
        std::cerr << terminalText(diagnosis.error().message) << "\n";
        return kExitRefused;
    }
    std::cout << terminalText(diagnosis->message) << "\n";
    return kExitDone;
}

void printDiagnosis(const Entry& entry, std::ostream& out, const std::atomic<bool>* cancel) {
    DiagnosisLimits limits;
    limits.approach.cancel = cancel;
    const Expected<Diagnosis> diagnosis = diagnoseEntry(entry, limits);
    if (diagnosis && !diagnosis->cancelled) {
        out << terminalText(diagnosis->message) << "\n";
    }
}

} // namespace fenlowick
