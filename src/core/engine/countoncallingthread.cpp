#include "core/engine/countoncallingthread.h"

#include "core/engine/searchplan.h"
#include "core/engine/searchworker.h"

#include <atomic>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

namespace fenlowick {

namespace {

/// The plan and worker a thread keeps from one count to the next.
struct KeptCount {
    std::optional<SearchPlan> plan;
    std::unique_ptr<SearchWorker> worker; ///< searches *plan, built over in place
    std::atomic<bool> stop{false};
    bool busy = false;
};

thread_local KeptCount t_kept;

bool cancelRequested(const EngineControl& control) {
    return control.cancel != nullptr && control.cancel->load(std::memory_order_relaxed);
}

/// The whole search as one task, then the callbacks in the order of a parallel search's
/// writer: the first shares' progress, the fraction done, and the fraction done once more
/// at the end.
EngineResult countWith(const SearchPlan& plan, SearchWorker& worker, const EngineControl& control) {
    static const std::vector<int> kNoFixedShares;
    EngineResult result;
    if (!cancelRequested(control)) {
        worker.runTask(kNoFixedShares, [](std::string&, std::size_t) { return true; });
    }
    if (cancelRequested(control)) {
        result.cancelled = true;
        return result;
    }
    if (control.progress) {
        const int firstShares = plan.stepCount(100.0f);
        for (int i = 0; i < firstShares && !cancelRequested(control); ++i) {
            control.progress(plan.steps()[static_cast<std::size_t>(i)]);
        }
    }
    if (control.fractionDone) {
        control.fractionDone(1.0);
    }
    if (cancelRequested(control)) {
        result.cancelled = true;
        return result;
    }
    if (control.fractionDone) {
        control.fractionDone(1.0);
    }
    worker.settleRuns();
    worker.addTo(result);
    result.visitedCount = combinationCount(plan.sources(), plan.increment());
    return result;
}

} // namespace

EngineResult countOnCallingThread(const CalculationInput& input, const EngineControl& control) {
    KeptCount& kept = t_kept;
    if (kept.busy) {
        const SearchPlan plan(input, true);
        const std::atomic<bool> stop{false};
        SearchWorker worker(plan, false, stop);
        return countWith(plan, worker, control);
    }
    // Frees the thread's plan and worker again at the end, and after a callback that threw,
    // or memory that ran out, lets the next count start afresh. The result is returned as
    // made, not copied.
    struct Busy {
        KeptCount& kept;
        int exceptions = std::uncaught_exceptions();
        explicit Busy(KeptCount& count) : kept(count) { kept.busy = true; }
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;
        ~Busy() {
            if (std::uncaught_exceptions() > exceptions) {
                kept.worker.reset();
                kept.plan.reset();
            }
            kept.busy = false;
        }
    } busy(kept);
    if (kept.plan) {
        kept.plan.emplace(input, true, kept.plan->release());
        kept.worker->restart();
    } else {
        kept.plan.emplace(input, true);
        kept.worker = std::make_unique<SearchWorker>(*kept.plan, false, kept.stop);
    }
    return countWith(*kept.plan, *kept.worker, control);
}

} // namespace fenlowick
