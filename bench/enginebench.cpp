// The engine on the benchmark entries, timed as the program runs them: the search, the
// records written to a real ".out" file (flushed to disk before it is moved into place) and
// the ".tot" file; for entries whose ".out" would not fit on a disk, the ".tot" alone. Where
// the plain loops finish in under a minute they are timed in the same run and the ratio is
// reported. A study of 250 consumers with 1,000 draws each times the many small exact
// counts that source uncertainty needs. The search alone counts bench-8 as it is, with
// unequal concentrations, and with limits on shares that exclude much and little. Many small
// counts of a four-source entry show what a count costs besides its own arithmetic. The
// result file's writer alone writes a full run's bytes around the page cache and through it.

#include "core/base/atomicfile.h"
#include "core/engine/engine.h"
#include "core/engine/searchplan.h"
#include "core/engine/searchworker.h"
#include "core/entry/checks.h"
#include "core/entry/datafile.h"
#include "core/study/posterior.h"
#include "core/study/studyrun.h"
#include "core/workflows/calculationrun.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <tuple>
#include <vector>

namespace {

/// Heap allocations of the whole process so far (every operator new below counts).
std::atomic<std::uint64_t> g_allocations{0};

} // namespace

// The replacements below pair malloc with free, which GCC cannot see through.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace fenlowick;

struct BenchEntry {
    const char* file;
    bool feasibleFile;     ///< false: the ".tot" only (--no-feasible-file)
    bool plainUnderMinute; ///< time the plain loops too
};

const BenchEntry kEntries[] = {
    {"bench-6-sources.dat", true, true},    {"bench-7-sources.dat", true, true},
    {"bench-8-sources.dat", true, false},   {"bench-10-sources-3-isotopes.dat", true, false},
    {"bench-6-sources.dat", false, false},  {"bench-7-sources.dat", false, false},
    {"bench-8-sources.dat", false, false},  {"bench-9-sources.dat", false, false},
    {"bench-10-sources.dat", false, false},
};

/// Seconds of the fast runs with records, by entry, for the ratio against the plain loops.
std::map<std::string, double> g_fastSeconds;

/// Starts a new peak of resident memory for this process (Linux: clear_refs 5).
void resetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

/// The peak resident memory since the last reset, in megabytes.
double peakMemoryMegabytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024.0;
        }
    }
    return 0.0;
}

Entry loadEntry(const std::string& file) {
    Expected<Entry> entry = readDataFile(std::string(FENLOWICK_BENCH_DATA) + "/" + file);
    if (!entry) {
        std::fprintf(stderr, "%s\n", entry.error().message.c_str());
        std::exit(1);
    }
    return *entry;
}

void runFast(benchmark::State& state, const BenchEntry& bench) {
    const Entry entry = loadEntry(bench.file);
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "fenlowick-bench";
    std::filesystem::create_directories(folder);
    RunOutcome outcome;
    double seconds = 0.0;
    resetPeakMemory();
    for (auto _ : state) {
        RunRequest request;
        request.entry = entry;
        request.folder = folder.string();
        request.typedName = bench.file;
        request.writeFeasibleFile = bench.feasibleFile;
        const auto start = std::chrono::steady_clock::now();
        outcome = runCalculation(request);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        if (outcome.status != RunOutcome::Status::Completed) {
            state.SkipWithError(outcome.message.c_str());
            return;
        }
    }
    state.counters["combinations"] = static_cast<double>(outcome.visitedCount);
    state.counters["feasible"] = static_cast<double>(outcome.feasibleCount);
    state.counters["records_per_s"] = static_cast<double>(outcome.feasibleCount) / seconds;
    state.counters["peak_MB"] = peakMemoryMegabytes();
    if (bench.feasibleFile) {
        state.counters["out_MB"] =
            static_cast<double>(std::filesystem::file_size(outcome.feasiblePath)) / 1e6;
        g_fastSeconds[bench.file] = seconds;
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

/// Discards the records after they are formatted, as a fast disk would take them.
class DiscardingSink : public RecordSink {
public:
    bool write(std::string_view records) override {
        bytes += records.size();
        return true;
    }
    std::uint64_t bytes = 0;
};

void runPlain(benchmark::State& state, const BenchEntry& bench) {
    const Expected<CalculationInput> input = checkEntry(loadEntry(bench.file));
    EngineResult result;
    double seconds = 0.0;
    resetPeakMemory();
    for (auto _ : state) {
        DiscardingSink sink;
        const auto start = std::chrono::steady_clock::now();
        result = enumeratePlain(*input, &sink, EngineControl{});
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
    }
    state.counters["combinations"] = static_cast<double>(result.visitedCount);
    state.counters["feasible"] = static_cast<double>(result.feasibleCount);
    state.counters["records_per_s"] = static_cast<double>(result.feasibleCount) / seconds;
    state.counters["peak_MB"] = peakMemoryMegabytes();
    if (auto fast = g_fastSeconds.find(bench.file); fast != g_fastSeconds.end()) {
        state.counters["plain_over_fast"] = seconds / fast->second;
    }
}

/// Elemental concentrations (C and N, percent of dry mass) of bench-8's sources in entry
/// order: Algae, Macrophytes, Detritus, Zooplankton, Insects, Fish, Snails, Terrestrial.
constexpr double kCarbon[] = {42.0, 41.0, 40.0, 44.0, 45.0, 43.0, 40.5, 44.5};
constexpr double kNitrogen[] = {8.0, 3.0, 1.0, 11.0, 10.0, 12.0, 6.0, 2.0};

enum class Constraint { None, Concentrations, LimitExcludingMuch, LimitExcludingLittle };

/// The search of bench-8 without records on both cores (runSearch alone, no files), with
/// `constraint` set on its input.
void runCount(benchmark::State& state, Constraint constraint) {
    Expected<CalculationInput> input = checkEntry(loadEntry("bench-8-sources.dat"));
    if (constraint == Constraint::Concentrations) {
        SourceConcentrations c;
        for (std::size_t i = 0; i < 8; ++i) {
            c.value[0][i] = kCarbon[i];
            c.value[1][i] = kNitrogen[i];
        }
        input->constraints.concentrations = c;
    } else if (constraint == Constraint::LimitExcludingMuch) {
        input->constraints.limits = {{{0, 2}, 50.0, std::nullopt, "Algae+Detritus>=50"}};
    } else if (constraint == Constraint::LimitExcludingLittle) {
        input->constraints.limits = {{{7}, std::nullopt, 25.0, "Terrestrial<=25"}};
    }
    EngineControl control;
    control.threads = 2;
    EngineResult result;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        result = runSearch(*input, nullptr, control);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["combinations"] = static_cast<double>(result.visitedCount);
    state.counters["feasible"] = static_cast<double>(result.feasibleCount);
}

/// The study of the three tables in `folder`.
Expected<Study> readBenchStudy(const std::string& folder) {
    const Expected<CsvTable> sources = CsvTable::read(folder + "/sources.csv");
    const Expected<CsvTable> consumers = CsvTable::read(folder + "/consumers.csv");
    const Expected<CsvTable> discrimination = CsvTable::read(folder + "/discrimination.csv");
    if (!sources || !consumers || !discrimination) {
        return !sources ? sources.error() : !consumers ? consumers.error() : discrimination.error();
    }
    return readStudy(*sources, *consumers, &*discrimination);
}

/// The study in study/ (250 consumers, 4 sources, 2 tracers), increment 1, tolerance 0.1,
/// with `state.range(0)` draws per consumer on both cores.
void runStudyBench(benchmark::State& state) {
    const Expected<Study> study = readBenchStudy(FENLOWICK_BENCH_STUDY);
    if (!study) {
        state.SkipWithError(study.error().message.c_str());
        return;
    }
    StudySettings settings;
    settings.options.increment = "1";
    settings.options.tolerance = "0.1";
    settings.options.draws = static_cast<int>(state.range(0));
    double seconds = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const Expected<StudyOutcome> outcome = runStudy(*study, settings);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        if (!outcome) {
            state.SkipWithError(outcome.error().message.c_str());
            return;
        }
    }
    const double counts = static_cast<double>(study->consumers.size()) *
                          static_cast<double>(settings.options.draws + 1);
    state.counters["exact_counts"] = counts;
    state.counters["us_per_count"] = seconds / counts * 1e6;
}

/// The posterior of a study in posterior/NAME/ at `increment` %, by its consumers' third
/// column (the group), with `state.range(0)` draws, on both cores.
void runPosteriorBench(benchmark::State& state, const char* name, const char* increment) {
    const Expected<Study> study =
        readBenchStudy(std::string(FENLOWICK_BENCH_POSTERIOR) + "/" + name);
    if (!study) {
        state.SkipWithError(study.error().message.c_str());
        return;
    }
    PosteriorSettings settings;
    settings.options.increment = increment;
    settings.options.posterior = true;
    settings.options.draws = static_cast<int>(state.range(0));
    settings.byFactors = {0};
    double points = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const Expected<PosteriorOutcome> outcome = runPosterior(*study, settings);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (!outcome) {
            state.SkipWithError(outcome.error().message.c_str());
            return;
        }
        points = 0.0;
        for (const PosteriorGroup& group : outcome->groups) {
            points += group.pointsEvaluated;
        }
    }
    state.counters["consumers"] = static_cast<double>(study->consumers.size());
    state.counters["points_worked_out"] = points;
}

/// Inputs of the small counts: bench-6's first four sources (two tracers), increment 1 %,
/// with the mixture moved a little from one input to the next, as a study's draws move it.
std::vector<CalculationInput> smallCountInputs() {
    Entry entry = loadEntry("bench-6-sources.dat");
    for (int row = 4; row < kSourceRows; ++row) {
        entry.sources[static_cast<std::size_t>(row)].clear();
        for (auto& column : entry.col) {
            column[static_cast<std::size_t>(row)].clear();
        }
    }
    std::vector<CalculationInput> inputs;
    for (int i = 0; i < 50; ++i) {
        entry.mixture[0] = std::to_string(-26.5 + 0.02 * i);
        entry.mixture[1] = std::to_string(6.3 + 0.03 * (i % 7));
        const Expected<CalculationInput> input = checkEntry(entry);
        if (!input) {
            std::fprintf(stderr, "%s\n", input.error().message.c_str());
            std::exit(1);
        }
        inputs.push_back(*input);
    }
    return inputs;
}

constexpr int kSmallCounts = 10000;

/// 10,000 counts of four sources on one thread, as a study's worker runs them: runSearch
/// with everything it sets up per count.
void runSmallCounts(benchmark::State& state) {
    const std::vector<CalculationInput> inputs = smallCountInputs();
    EngineControl control;
    control.threads = 1;
    std::uint64_t feasible = 0;
    for (const CalculationInput& input : inputs) {
        feasible += runSearch(input, nullptr, control).feasibleCount; // warm-up
    }
    double seconds = 0.0;
    std::uint64_t allocations = 0;
    for (auto _ : state) {
        const std::uint64_t allocationsBefore = g_allocations.load();
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kSmallCounts; ++i) {
            const EngineResult result =
                runSearch(inputs[static_cast<std::size_t>(i) % inputs.size()], nullptr, control);
            benchmark::DoNotOptimize(result.feasibleCount);
        }
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        allocations = g_allocations.load() - allocationsBefore;
        state.SetIterationTime(seconds);
    }
    state.counters["us_per_count"] = seconds / kSmallCounts * 1e6;
    state.counters["allocs_per_count"] = static_cast<double>(allocations) / kSmallCounts;
    state.counters["feasible"] = static_cast<double>(feasible) / static_cast<double>(inputs.size());
}

/// The same counts' own arithmetic: the plans and workers made beforehand, only the search
/// below the first level timed.
void runSmallCountArithmetic(benchmark::State& state) {
    const std::vector<CalculationInput> inputs = smallCountInputs();
    const std::atomic<bool> stop{false};
    std::vector<std::unique_ptr<SearchPlan>> plans;
    std::vector<std::unique_ptr<SearchWorker>> workers;
    for (const CalculationInput& input : inputs) {
        plans.push_back(std::make_unique<SearchPlan>(input, true));
        workers.push_back(std::make_unique<SearchWorker>(*plans.back(), false, stop));
    }
    const std::vector<int> root;
    const SearchWorker::Publish publish = [](std::string&, std::size_t) { return true; };
    double seconds = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kSmallCounts; ++i) {
            benchmark::DoNotOptimize(
                workers[static_cast<std::size_t>(i) % workers.size()]->runTask(root, publish));
        }
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
    }
    state.counters["us_per_count"] = seconds / kSmallCounts * 1e6;
}

/// Writes `megabytes` of record-like text in 1 MiB pieces through an AtomicFile taking
/// `route`, into the system's temporary folder, and moves it into place: the disk's part of
/// a full run. `finish_s` is the time of the sync at the end.
void runWrite(benchmark::State& state, std::size_t megabytes, FileWriteRoute route) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "fenlowick-bench";
    std::filesystem::create_directories(folder);
    std::string piece(1u << 20, ' ');
    for (std::size_t i = 0; i < piece.size(); ++i) {
        piece[i] = ".12345,\"\",\r\n"[i % 13];
    }
    double finishSeconds = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        AtomicFile file((folder / "write.out").string(), route);
        bool written = static_cast<bool>(file.open());
        for (std::size_t i = 0; i < megabytes && written; ++i) {
            written = static_cast<bool>(file.write(piece));
        }
        const auto finishing = std::chrono::steady_clock::now();
        written = written && file.finish() && file.commit();
        const auto end = std::chrono::steady_clock::now();
        if (!written) {
            state.SkipWithError("the file could not be written");
            return;
        }
        finishSeconds = std::chrono::duration<double>(end - finishing).count();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    state.counters["finish_s"] = finishSeconds;
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("small-count/bench-4-sources", runSmallCounts)
        ->Repetitions(3)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("small-count/bench-4-sources-arithmetic", runSmallCountArithmetic)
        ->Repetitions(3)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    for (const auto& [label, name, increment, draws] :
         {std::tuple{"posterior/wolves-3-sources-66-consumers-3-groups", "wolves", "1", 0},
          std::tuple{"posterior/geese-4-sources-251-consumers-8-groups", "geese", "1", 0},
          std::tuple{"posterior/geese-with-draws", "geese", "1", 10},
          std::tuple{"posterior/seven-sources-50-consumers-5-percent", "seven", "5", 0}}) {
        benchmark::RegisterBenchmark(label, runPosteriorBench, name, increment)
            ->Arg(draws)
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kSecond);
    }
    benchmark::RegisterBenchmark("study/250-consumers", runStudyBench)
        ->Arg(1000)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kSecond);
    for (const auto& [name, constraint] :
         {std::pair{"count/bench-8-sources", Constraint::None},
          std::pair{"count/bench-8-concentrations", Constraint::Concentrations},
          std::pair{"count/bench-8-limit-excluding-much", Constraint::LimitExcludingMuch},
          std::pair{"count/bench-8-limit-excluding-little", Constraint::LimitExcludingLittle}}) {
        benchmark::RegisterBenchmark(name, runCount, constraint)
            ->Repetitions(5)
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
    for (const BenchEntry& bench : kEntries) {
        const std::string name =
            std::string(bench.feasibleFile ? "full/" : "totals-only/") + bench.file;
        benchmark::RegisterBenchmark(name.c_str(), runFast, bench)
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kSecond);
    }
    // bench-7's and bench-8's ".out" sizes.
    for (const std::size_t megabytes : {317u, 2403u}) {
        for (const bool direct : {true, false}) {
            const std::string name = std::string("write/") + (direct ? "direct/" : "page-cache/") +
                                     std::to_string(megabytes) + "MiB";
            benchmark::RegisterBenchmark(name.c_str(), runWrite, megabytes,
                                         FileWriteRoute{.directIo = direct})
                ->Iterations(1)
                ->UseManualTime()
                ->Unit(benchmark::kSecond);
        }
    }
    for (const BenchEntry& bench : kEntries) {
        if (bench.plainUnderMinute) {
            benchmark::RegisterBenchmark((std::string("plain/") + bench.file).c_str(), runPlain,
                                         bench)
                ->Iterations(1)
                ->UseManualTime()
                ->Unit(benchmark::kSecond);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
