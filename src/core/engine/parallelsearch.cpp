#include "core/engine/parallelsearch.h"

#include "core/engine/searchworker.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

namespace fenlowick {

namespace {

/// Records of the tasks not being written that may wait in memory; the task being written
/// may hold as much again.
constexpr std::size_t kBufferedLimit = std::size_t{48} << 20;

/// Chunks kept for reuse: a few for each worker; more would only hold memory.
constexpr std::size_t kSpareChunks = 8;

} // namespace

ParallelSearch::ParallelSearch(const CalculationInput& input, RecordSink* sink,
                               const EngineControl& control)
    : m_plan(input, sink == nullptr), m_sink(sink), m_control(control) {}

EngineResult ParallelSearch::run() {
    int threads = m_control.threads;
    if (threads <= 0) {
        threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    }
    // Tasks: the index paths of the first two levels (one with three sources) that the
    // bounds leave, in visiting order.
    const int depth = std::min(2, m_plan.innermost());
    {
        SearchWorker planner(m_plan, false, m_stop);
        std::vector<int> path;
        planner.collectTasks(0, 100.0f, depth, path, m_tasks);
    }
    m_outputs = std::vector<TaskOutput>(m_tasks.size());
    double totalWork = 0.0;
    for (const auto& task : m_tasks) {
        totalWork += task.second;
    }

    threads = std::max(1, std::min<int>(threads, static_cast<int>(m_tasks.size())));
    std::vector<std::unique_ptr<SearchWorker>> workers;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        workers.push_back(std::make_unique<SearchWorker>(m_plan, m_sink != nullptr, m_stop));
    }
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back(
            [this, worker = workers[static_cast<std::size_t>(t)].get()] { work(*worker); });
    }

    EngineResult result;
    auto stopWorkers = [&] {
        {
            std::lock_guard lock(m_mutex);
            m_stop.store(true);
        }
        m_workersWake.notify_all();
        for (auto& thread : pool) {
            thread.join();
        }
    };
    try {
        writeInOrder(result, totalWork);
    } catch (...) {
        // A callback or the sink threw: the workers must not outlive the search.
        stopWorkers();
        throw;
    }
    if (result.cancelled || result.sinkFailed) {
        stopWorkers();
    } else {
        for (auto& thread : pool) {
            thread.join();
        }
    }
    if (result.cancelled || result.sinkFailed) {
        return result;
    }
    for (auto& worker : workers) {
        worker->settleRuns();
        worker->addTo(result);
    }
    result.visitedCount = combinationCount(m_plan.sources(), m_plan.increment());
    return result;
}

void ParallelSearch::work(SearchWorker& worker) {
    for (;;) {
        const std::size_t task = m_nextTask.fetch_add(1);
        if (task >= m_tasks.size() || m_stop.load() || cancelRequested()) {
            return;
        }
        worker.runTask(m_tasks[task].first, [this, task](std::string& storage, std::size_t bytes) {
            return publish(task, storage, bytes);
        });
        std::lock_guard lock(m_mutex);
        m_outputs[task].done = true;
        m_writerWake.notify_one();
        if (worker.stopped()) {
            return;
        }
    }
}

/// Hands a chunk of task `task`, the first `bytes` of `storage`, to the writer. Waits while
/// too much is held in memory, unless the task is the one being written. False once the
/// search is stopping.
bool ParallelSearch::publish(std::size_t task, std::string& storage, std::size_t bytes) {
    if (bytes == 0) {
        return !m_stop.load();
    }
    // The memory the chunk holds: the storage written so far, which may be more than its
    // records when storage is filled again.
    const std::size_t held = storage.size();
    std::unique_lock lock(m_mutex);
    // The task being written waits only for its own records, which the writer is
    // draining; the others wait for all held records, so at most twice the limit is held.
    TaskOutput& output = m_outputs[task];
    m_workersWake.wait(lock, [&] {
        return m_stop.load() || (task == m_head ? output.bytes + held <= kBufferedLimit
                                                : m_buffered + held <= kBufferedLimit);
    });
    if (m_stop.load()) {
        return false;
    }
    m_buffered += held;
    output.bytes += held;
    output.chunks.emplace_back(std::move(storage), bytes);
    storage = std::string();
    if (bytes < SearchWorker::kSmallChunk) {
        // The worker keeps its storage (see SearchWorker::Publish).
    } else if (m_spareChunks.empty()) {
        storage.reserve(SearchWorker::kChunkBytes + SearchWorker::kChunkSlack);
    } else {
        storage = std::move(m_spareChunks.back());
        m_spareChunks.pop_back();
    }
    m_writerWake.notify_one();
    return true;
}

bool ParallelSearch::cancelRequested() const {
    return m_control.cancel != nullptr && m_control.cancel->load(std::memory_order_relaxed);
}

/// On the calling thread: writes the tasks' records in task order and makes the
/// callbacks, until every task is done or the search stops.
void ParallelSearch::writeInOrder(EngineResult& result, double totalWork) {
    const int firstShares = m_plan.stepCount(100.0f);
    int reported = 0; // first-share indices reported so far
    double doneWork = 0.0;
    auto reportUpTo = [&](int endIndex) {
        for (; reported < endIndex && !cancelRequested(); ++reported) {
            if (m_control.progress) {
                m_control.progress(m_plan.steps()[static_cast<std::size_t>(reported)]);
            }
        }
    };
    std::unique_lock lock(m_mutex);
    while (m_head < m_tasks.size()) {
        if (cancelRequested()) {
            result.cancelled = true;
            return;
        }
        TaskOutput& output = m_outputs[m_head];
        if (!output.chunks.empty()) {
            auto [chunk, bytes] = std::move(output.chunks.front());
            output.chunks.pop_front();
            m_buffered -= chunk.size();
            output.bytes -= chunk.size();
            m_workersWake.notify_all();
            lock.unlock();
            const bool written = m_sink->write(std::string_view(chunk.data(), bytes));
            lock.lock();
            if (chunk.capacity() >= SearchWorker::kChunkBytes &&
                m_spareChunks.size() < kSpareChunks) {
                m_spareChunks.push_back(std::move(chunk));
            }
            if (!written) {
                result.sinkFailed = true;
                return;
            }
            continue;
        }
        if (output.done) {
            doneWork += m_tasks[m_head].second;
            ++m_head;
            m_workersWake.notify_all();
            const int next = m_head < m_tasks.size() ? m_tasks[m_head].first[0] : firstShares;
            lock.unlock();
            reportUpTo(next);
            if (m_control.fractionDone && totalWork > 0.0) {
                m_control.fractionDone(std::min(1.0, doneWork / totalWork));
            }
            lock.lock();
            continue;
        }
        m_writerWake.wait_for(lock, std::chrono::milliseconds(50));
    }
    lock.unlock();
    if (cancelRequested()) {
        result.cancelled = true;
        return;
    }
    reportUpTo(firstShares);
    if (m_control.fractionDone) {
        m_control.fractionDone(1.0);
    }
}

} // namespace fenlowick
