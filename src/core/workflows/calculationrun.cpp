#include "core/workflows/calculationrun.h"

#include "core/base/atomicfile.h"
#include "core/entry/checks.h"
#include "core/entry/messages.h"
#include "core/entry/outputnaming.h"
#include "core/results/resultfiles.h"
#include "core/tables/concentrationtable.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace fenlowick {

namespace {

/// Streams the search's records into the feasible file, keeping the first write error.
class FileSink : public RecordSink {
public:
    explicit FileSink(AtomicFile& file) : m_file(file) {}

    bool write(std::string_view records) override {
        Status status = m_file.write(records);
        if (!status) {
            m_error = status.error();
            return false;
        }
        return true;
    }

    const std::optional<Error>& error() const { return m_error; }

private:
    AtomicFile& m_file;
    std::optional<Error> m_error;
};

/// Moves both finished files into place. Two renames cannot be one step, so the earlier
/// feasible file is kept under a hard link until the totals file is in place too: when the
/// second move fails, the earlier feasible file is put back (or the new one removed when
/// there was none), so a new ".out" never stands beside an old ".tot". On a file system
/// without hard links the earlier feasible file cannot be kept.
Status commitBoth(AtomicFile* feasible, AtomicFile& totals) {
    namespace fs = std::filesystem;
    const fs::path target(feasible->targetPath());
    std::error_code ec;
    const bool hadEarlier = fs::exists(fs::symlink_status(target, ec));
    fs::path kept;
    if (hadEarlier) {
        kept = target.parent_path() /
               ("." + target.filename().string() + ".earlier-" + std::to_string(::getpid()));
        fs::remove(kept, ec);
        fs::create_hard_link(target, kept, ec);
        if (ec) {
            kept.clear();
        }
    }
    if (Status s = feasible->commit(); !s) {
        if (!kept.empty()) {
            fs::remove(kept, ec);
        }
        return s;
    }
    Status s = totals.commit();
    if (!s) {
        if (!kept.empty()) {
            fs::rename(kept, target, ec);
        } else if (!hadEarlier) {
            fs::remove(target, ec);
        }
        return s;
    }
    if (!kept.empty()) {
        fs::remove(kept, ec);
    }
    return ok();
}

/// Moves the totals file into place for a run that writes no feasible file. An earlier
/// feasible file of the same name would then stand beside totals of another run, so it is
/// moved aside first and removed once the totals are in place; when the totals cannot be
/// moved in, it is put back. `removed` is set when an earlier file was removed.
Status commitTotalsAlone(AtomicFile& totals, const std::string& feasiblePath, bool& removed) {
    namespace fs = std::filesystem;
    const fs::path target(feasiblePath);
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(target, ec);
    if (!fs::is_regular_file(status) && !fs::is_symlink(status)) {
        return totals.commit();
    }
    const fs::path aside = target.parent_path() / ("." + target.filename().string() + ".earlier-" +
                                                   std::to_string(::getpid()));
    fs::remove(aside, ec);
    fs::rename(target, aside, ec);
    if (ec) {
        return Error{Error::Kind::FileWrite, "Could not remove the earlier " + feasiblePath +
                                                 ", which would stand beside totals of another "
                                                 "run: " +
                                                 ec.message()};
    }
    if (Status s = totals.commit(); !s) {
        fs::rename(aside, target, ec);
        return s;
    }
    fs::remove(aside, ec);
    removed = true;
    return ok();
}

/// Passes records on to the feasible file and reports the fraction of `total` records
/// written so far, about a thousand times in all.
class CountingSink : public RecordSink {
public:
    CountingSink(RecordSink& target, std::uint64_t total,
                 const std::function<void(double)>& fractionDone)
        : m_target(target), m_total(total), m_fractionDone(fractionDone),
          m_step(std::max<std::uint64_t>(1, total / 1000)) {}

    bool write(std::string_view records) override {
        if (!m_target.write(records)) {
            return false;
        }
        m_written += static_cast<std::uint64_t>(std::count(records.begin(), records.end(), '\n'));
        if (m_written >= m_nextReport) {
            m_nextReport = m_written + m_step;
            m_fractionDone(static_cast<double>(m_written) / static_cast<double>(m_total));
        }
        return true;
    }

private:
    RecordSink& m_target;
    std::uint64_t m_total;
    const std::function<void(double)>& m_fractionDone;
    std::uint64_t m_step;
    std::uint64_t m_written = 0;
    std::uint64_t m_nextReport = 0;
};

/// The search of a run. Writing the records is what takes the time of a run with many
/// solutions, and how they spread over the search cannot be told in advance; so when a
/// front end wants the fraction done for its time-left estimate and records are written,
/// the solutions are counted first (a small part of the time of writing them) and the
/// fraction is that of the records written. The counting moves neither the bar nor the
/// estimate; a count of none leaves nothing to write, and the count's totals are the run's.
EngineResult search(const CalculationInput& input, const RunRequest& request, RecordSink* sink) {
    EngineControl control;
    control.cancel = request.cancel;
    if (!request.fractionDone || sink == nullptr) {
        control.progress = request.progress;
        control.fractionDone = request.fractionDone;
        return runSearch(input, sink, control);
    }
    EngineResult counted = runSearch(input, nullptr, control);
    if (counted.cancelled || counted.feasibleCount == 0) {
        if (!counted.cancelled) {
            if (request.progress) {
                request.progress(100.0f);
            }
            request.fractionDone(1.0);
        }
        return counted;
    }
    control.progress = request.progress;
    CountingSink counting(*sink, counted.feasibleCount, request.fractionDone);
    EngineResult result = runSearch(input, &counting, control);
    if (!result.cancelled && !result.sinkFailed) {
        request.fractionDone(1.0);
    }
    return result;
}

RunOutcome failure(RunOutcome::Status status, std::string message) {
    RunOutcome outcome;
    outcome.status = status;
    outcome.message = std::move(message);
    return outcome;
}

} // namespace

std::string completionMessage(const DateTimeTexts& began, const DateTimeTexts& ended) {
    return std::string(messages::kCompletedPrefix) + began.date + "   " + began.time +
           "    Ended: " + ended.date + "   " + ended.time;
}

Expected<MixingConstraints> readRunConstraints(const Entry& entry, const CalculationInput& input,
                                               const CsvTable* concentrations,
                                               const std::vector<std::string>& limits) {
    MixingConstraints constraints;
    if (concentrations != nullptr) {
        Expected<SourceConcentrations> read =
            concentrationsFromTable(*concentrations, entry, input);
        if (!read) {
            return read.error();
        }
        constraints.concentrations = *read;
    }
    const std::vector<std::string> labels(entry.sources.begin(),
                                          entry.sources.begin() + input.sourceCount());
    Expected<std::vector<ShareLimit>> parsed = parseShareLimits(limits, labels);
    if (!parsed) {
        return parsed.error();
    }
    constraints.limits = std::move(*parsed);
    return constraints;
}

Expected<CalculationInput> checkRun(const Entry& entry, const CheckRules& rules,
                                    const MixingConstraints& constraints) {
    Expected<CalculationInput> checked = checkEntry(entry, rules);
    if (!checked) {
        return checked;
    }
    checked->constraints = constraints;
    if (const auto unreachable = unreachableLimitsMessage(
            constraints.limits, checked->sourceCount(), checked->incrementPercent)) {
        return Error{Error::Kind::Refused, *unreachable};
    }
    return checked;
}

RunOutcome runCalculation(const RunRequest& request) {
    Expected<CalculationInput> checked =
        checkRun(request.entry, request.rules, request.constraints);
    if (!checked) {
        return failure(RunOutcome::Status::Refused, checked.error().message);
    }
    CalculationInput& input = *checked;
    if (request.typedName.empty()) {
        return failure(RunOutcome::Status::NoName, {});
    }
    const Clock clock = request.clock ? request.clock : Clock(currentDateTime);

    RunOutcome outcome;
    outcome.totalsPath = resultFilePath(request.folder, request.typedName, "tot");
    AtomicFile totals(outcome.totalsPath);
    std::unique_ptr<AtomicFile> feasible;
    std::unique_ptr<FileSink> sink;
    const std::string feasiblePath = resultFilePath(request.folder, request.typedName, "out");
    if (request.writeFeasibleFile) {
        outcome.feasiblePath = feasiblePath;
        feasible = std::make_unique<AtomicFile>(feasiblePath);
        if (Status s = feasible->open(); !s) {
            return failure(RunOutcome::Status::FileError, s.error().message);
        }
        if (Status s = feasible->write(composeFeasibleHeader(request.entry, input, clock())); !s) {
            return failure(RunOutcome::Status::FileError, s.error().message);
        }
        sink = std::make_unique<FileSink>(*feasible);
    }
    // Create the totals file before the search so that an unwritable folder is reported at
    // once rather than after hours of searching.
    if (Status s = totals.open(); !s) {
        return failure(RunOutcome::Status::FileError, s.error().message);
    }

    outcome.began = clock();
    const EngineResult result = search(input, request, sink.get());
    if (result.cancelled) {
        return failure(RunOutcome::Status::Cancelled, "The calculation was cancelled.");
    }
    if (result.sinkFailed) {
        return failure(RunOutcome::Status::FileError, sink->error()->message);
    }
    if (feasible) {
        if (Status s = feasible->finish(); !s) {
            return failure(RunOutcome::Status::FileError, s.error().message);
        }
    }

    const TotalsText text = composeTotals(request.entry, input, result.histograms, clock());
    if (Status s = totals.write(text.text); !s) {
        return failure(RunOutcome::Status::FileError, s.error().message);
    }
    if (Status s = totals.finish(); !s) {
        return failure(RunOutcome::Status::FileError, s.error().message);
    }
    bool removedEarlier = false;
    const Status committed = feasible ? commitBoth(feasible.get(), totals)
                                      : commitTotalsAlone(totals, feasiblePath, removedEarlier);
    if (!committed) {
        return failure(RunOutcome::Status::FileError, committed.error().message);
    }
    if (removedEarlier) {
        outcome.removedFeasiblePath = feasiblePath;
    }

    outcome.status = RunOutcome::Status::Completed;
    outcome.feasibleCount = result.feasibleCount;
    outcome.visitedCount = result.visitedCount;
    outcome.totals.observations = text.observations;
    outcome.totals.figures = text.figures;
    outcome.totals.sources.assign(request.entry.sources.begin(),
                                  request.entry.sources.begin() + input.sourceCount());
    if (text.observations == 0) {
        outcome.notice = messages::kNoObservations;
    }
    outcome.ended = clock();
    outcome.message = completionMessage(outcome.began, outcome.ended);
    return outcome;
}

} // namespace fenlowick
