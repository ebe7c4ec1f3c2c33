// The count of the benchmark entries without records (runSearch alone, no files, both
// cores) on every row path this processor runs: how fast the last levels are counted, and
// the portable path beside the vector one. The feasible count and the histograms of every
// path are compared with the first path's, so a run also shows that the paths agree.

#include "core/engine/engine.h"
#include "core/engine/lastlevelscounter.h"
#include "core/entry/checks.h"
#include "core/entry/datafile.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>

namespace {

using namespace fenlowick;

/// The result of each entry's first path, to compare the other paths with.
std::map<std::string, EngineResult> g_first;

void runCount(benchmark::State& state, const std::string& file, RowPath path) {
    Expected<Entry> entry = readDataFile(std::string(FENLOWICK_BENCH_DATA) + "/" + file);
    Expected<CalculationInput> input =
        entry ? checkEntry(*entry) : Expected<CalculationInput>(entry.error());
    if (!input) {
        state.SkipWithError(input.error().message.c_str());
        return;
    }
    setRowPath(path);
    EngineControl control;
    control.threads = 2;
    EngineResult result;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        result = runSearch(*input, nullptr, control);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    setRowPath(RowPath::Best);
    const auto [first, added] = g_first.try_emplace(file, result);
    if (!added && (first->second.histograms != result.histograms ||
                   first->second.feasibleCount != result.feasibleCount)) {
        state.SkipWithError("the paths count differently");
    }
    state.counters["combinations"] = static_cast<double>(result.visitedCount);
    state.counters["feasible"] = static_cast<double>(result.feasibleCount);
}

} // namespace

int main(int argc, char** argv) {
    for (const char* file :
         {"bench-8-sources.dat", "bench-9-sources.dat", "bench-10-sources.dat"}) {
        for (const RowPath path : supportedRowPaths()) {
            const std::string name =
                std::string("count/") + file + (path == RowPath::Portable ? "/portable" : "/avx2");
            benchmark::RegisterBenchmark(name.c_str(), runCount, std::string(file), path)
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
