#pragma once

#include "core/engine/engine.h"
#include "core/engine/searchplan.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace fenlowick {

class SearchWorker;

/// The parallel driver of a fast search: splits the loops into ordered parts (the index
/// paths of the first two levels that the bounds leave), lets EngineControl::threads
/// workers search them, and on the calling thread writes their records to the sink in the
/// plain loops' order and makes every callback. Records wait in memory for at most about
/// 100 MB whatever the number of records. One search per object.
class ParallelSearch {
public:
    /// sink may be null (only counts wanted); it and control must outlive run().
    ParallelSearch(const CalculationInput& input, RecordSink* sink, const EngineControl& control);

    /// Runs the search. A callback or sink that throws stops the workers before the
    /// exception leaves.
    EngineResult run();

private:
    /// The records of one task, handed from its worker to the writing thread.
    struct TaskOutput {
        /// Each the first `bytes` of its storage.
        std::deque<std::pair<std::string, std::size_t>> chunks;
        std::size_t bytes = 0; ///< held by the chunks' storage
        bool done = false;
    };

    void work(SearchWorker& worker);
    bool publish(std::size_t task, std::string& storage, std::size_t bytes);
    bool cancelRequested() const;
    void writeInOrder(EngineResult& result, double totalWork);

    SearchPlan m_plan;
    RecordSink* m_sink;
    const EngineControl& m_control;
    std::vector<std::pair<std::vector<int>, double>> m_tasks;
    std::vector<TaskOutput> m_outputs;
    std::atomic<std::size_t> m_nextTask{0};
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_writerWake;
    std::condition_variable m_workersWake;
    std::size_t m_head = 0;     ///< the task whose records are being written
    std::size_t m_buffered = 0; ///< bytes held by the storage of all tasks' chunks
    /// Chunks the sink has taken, given back to the workers to fill again: their storage
    /// is then already mapped and written, which spares the system that work per megabyte.
    std::vector<std::string> m_spareChunks;
};

} // namespace fenlowick
