#include "combinecommand.h"

#include "atomicfile.h"
#include "cliapp.h"
#include "combinedtotals.h"
#include "messages.h"
#include "outputnaming.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>

namespace fenlowick {

namespace {

/// The totals path: --output as a folder or a name (its extension becomes "tot"), or
/// RUN-combined.tot beside the feasible-output file.
std::string totalsPathFor(const CombineOptions& options) {
    const std::filesystem::path input(options.feasiblePath);
    const std::string defaultName = input.stem().string() + "-combined";
    if (options.outputPath.empty()) {
        return resultFilePath(input.parent_path().string(), defaultName, "tot");
    }
    std::error_code ec;
    const std::filesystem::path output(options.outputPath);
    if (options.outputPath.back() == '/' || std::filesystem::is_directory(output, ec)) {
        return resultFilePath(options.outputPath, defaultName, "tot");
    }
    return resultFilePath(output.parent_path().string(), output.filename().string(), "tot");
}

} // namespace

CLI::App* addCombineCommand(CLI::App& app, CombineOptions& options) {
    CLI::App* combine = app.add_subcommand(
        "combine", "Write the totals file (.tot) of a finished run with some of its sources "
                   "counted as one, from its feasible-output file (.out)");
    combine->add_option("RUN", options.feasiblePath, "The feasible-output file of the run")
        ->required();
    combine
        ->add_option("--group,-g", options.groups,
                     "A combined source: NAME=SOURCE,SOURCE,... (repeat for more groups; quote "
                     "a source whose label holds a comma: Marine='\"Fish, salted\"',Seals)")
        ->required();
    combine->add_option("--output,-o", options.outputPath,
                        "Folder and name of the totals file (the extension becomes .tot). "
                        "Default: RUN-combined.tot beside RUN");
    combine->add_flag("--quiet,-q", options.quiet, "Print nothing but errors");
    return combine;
}

int runCombineCommand(const CombineOptions& options) {
    std::vector<SourceGroup> groups;
    for (const std::string& text : options.groups) {
        Expected<SourceGroup> group = parseSourceGroup(text);
        if (!group) {
            std::cerr << "fenlowick-cli: " << group.error().message << "\n";
            return kExitUsage;
        }
        groups.push_back(std::move(*group));
    }

    std::ifstream in(options.feasiblePath, std::ios::binary);
    if (!in) {
        std::cerr << "fenlowick-cli: Could not open " << options.feasiblePath << "\n";
        return kExitFile;
    }
    Expected<CombinedTotals> totals = combineFeasibleOutput(in, groups, currentDateTime());
    if (!totals) {
        std::cerr << "fenlowick-cli: " << options.feasiblePath << ": " << totals.error().message
                  << "\n";
        return totals.error().kind == Error::Kind::Refused ? kExitUsage : kExitFile;
    }

    const std::string path = totalsPathFor(options);
    const Status written = writeFileAtomically(path, totals->text);
    if (!written) {
        std::cerr << "fenlowick-cli: " << written.error().message << "\n";
        return kExitFile;
    }
    if (!options.quiet) {
        if (totals->observations == 0) {
            std::cout << messages::kNoObservations << "\n";
        }
        std::cout << "Combined sources:";
        for (std::size_t i = 0; i < totals->sources.size(); ++i) {
            std::cout << (i == 0 ? " " : ", ") << totals->sources[i];
        }
        std::cout << "\nFeasible solutions: " << totals->observations << "\nTotals: " << path
                  << "\n";
    }
    return kExitDone;
}

} // namespace fenlowick
