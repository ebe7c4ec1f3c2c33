#include "diagnosecommand.h"

#include "cliapp.h"
#include "datafile.h"
#include "diagnosis.h"

#include <CLI/CLI.hpp>

#include <iostream>

namespace fenlowick {

CLI::App* addDiagnoseCommand(CLI::App& app, DiagnoseOptions& options) {
    CLI::App* diagnose = app.add_subcommand(
        "diagnose", "Tell where the mixture of a data file (.dat) lies against its sources and "
                    "the smallest tolerance that gives solutions at its increment");
    diagnose->add_option("ENTRY", options.entryPath, "The data file holding the entry")->required();
    return diagnose;
}

int runDiagnoseCommand(const DiagnoseOptions& options) {
    Expected<Entry> entry = readDataFile(options.entryPath);
    if (!entry) {
        std::cerr << "fenlowick-cli: " << entry.error().message << "\n";
        return kExitFile;
    }
    const Expected<Diagnosis> diagnosis = diagnoseEntry(*entry);
    if (!diagnosis) {
        std::cerr << diagnosis.error().message << "\n";
        return kExitRefused;
    }
    std::cout << diagnosis->message << "\n";
    return kExitDone;
}

void printDiagnosis(const Entry& entry, std::ostream& out) {
    const Expected<Diagnosis> diagnosis = diagnoseEntry(entry);
    if (diagnosis) {
        out << diagnosis->message << "\n";
    }
}

} // namespace fenlowick
