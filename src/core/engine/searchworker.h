#pragma once

#include "core/engine/engine.h"
#include "core/engine/searchplan.h"
#include "core/entry/entry.h"
#include "core/results/sharehistogram.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace fenlowick {

class InnermostCounter;
class LastLevelsCounter;

/// One worker's search of ordered parts of the loops (tasks: the shares of the first levels
/// fixed), with its own histograms, counters and record buffer. Not shared between threads;
/// the plan must outlive it.
///
/// With records, every kept combination is written as a record line in visiting order and
/// handed over in chunks of about kChunkBytes; without, the last levels are counted by an
/// InnermostCounter and a LastLevelsCounter, and the histograms are complete only after
/// settleRuns().
class SearchWorker {
public:
    /// Receives a chunk of records of the current task, the first `bytes` of `storage`;
    /// returns false to stop. It may take the storage; for a chunk of kSmallChunk bytes or
    /// more it leaves a string with room for kChunkBytes + kChunkSlack, whose size counts as
    /// room already written.
    using Publish = std::function<bool(std::string& storage, std::size_t bytes)>;

    /// The size of record text from which a chunk is handed over.
    static constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
    /// Room beyond kChunkBytes in a chunk's storage, for the records of one innermost run.
    static constexpr std::size_t kChunkSlack = std::size_t{64} << 10;
    /// Records of a task's end below this size are handed over as a string of their own
    /// size; larger chunks hand over the storage and take the publisher's in return.
    static constexpr std::size_t kSmallChunk = std::size_t{16} << 10;

    /// records: write records (otherwise only count). stop: polled between nodes; once set,
    /// the current task ends early and stopped() becomes true.
    SearchWorker(const SearchPlan& plan, bool records, const std::atomic<bool>& stop);
    ~SearchWorker();
    SearchWorker(const SearchWorker&) = delete;
    SearchWorker& operator=(const SearchWorker&) = delete;

    /// Runs one task: the shares of its first levels fixed to `indices`, then the search
    /// below; returns the number of kept combinations. Records go to `publish`, the last
    /// chunk before it returns.
    std::uint64_t runTask(const std::vector<int>& indices, Publish publish);

    /// Appends the tasks below a node in visiting order: the index paths of depth `depth`
    /// that the bounds leave, each with an estimate of its work (combinations below it).
    void collectTasks(int level, float bound, int depth, std::vector<int>& path,
                      std::vector<std::pair<std::vector<int>, double>>& tasks);

    /// Adds the runs counted whole to the histograms and empties them: after the last task
    /// of a search.
    void settleRuns();

    /// Makes a worker without records ready for the next search, of the plan now standing
    /// where its plan stood (built over it): histograms and counts start again from zero,
    /// and the storage of its counters is kept where the plan's steps still fit it.
    void restart();

    /// Adds the histograms, by source, and the kept count to `result`.
    void addTo(EngineResult& result) const;

    /// By level (level j is source order[j] of the plan).
    const ShareHistograms& histograms() const { return m_histograms; }
    std::uint64_t feasible() const { return m_feasible; }
    /// The stop flag was seen or the publisher refused a chunk.
    bool stopped() const { return m_stopped; }

private:
    void enter(int level, int i);
    /// Calls f(k) for every column k of the plan; most plans have at most five, a bound the
    /// compiler sees and unrolls.
    template <typename F> void forColumns(F&& f) const {
        if (m_plan.columns() > kIsotopeColumns) {
            for (int k = 0; k < m_plan.columns(); ++k) {
                f(k);
            }
        } else {
            for (int k = 0; k < kIsotopeColumns && k < m_plan.columns(); ++k) {
                f(k);
            }
        }
    }
    std::uint64_t descend(int level, float bound);
    std::uint64_t penultimate(int level, float bound);
    std::uint64_t innermostRecords(float bound, int first, int last);
    /// A share's record text (its number and the comma after it) in a slot of fixed size:
    /// a record is assembled by copying whole slots and moving on by the text's length.
    /// A share is a fraction of one rounded to hundredths, whose text is far shorter.
    struct FieldText {
        static constexpr std::size_t kSlot = 16;
        char bytes[kSlot]{};
        std::size_t length = 0;
    };
    static FieldText fieldText(const std::string& text);
    const FieldText& derivedText(float last);
    /// Makes room for `bytes` more record bytes (and a slot's overshoot) after m_used.
    void reserveRecords(std::size_t bytes);
    void addDerived(float last, std::uint64_t count);
    double leafEstimate(int level, float bound) const;
    InnermostCounter& innermostCounter();
    void publishChunk();

    const SearchPlan& m_plan;
    bool m_records;
    const std::atomic<bool>& m_stop;
    bool m_stopped = false;
    Publish m_publish;
    std::array<std::array<float, SearchPlan::kMaxColumns>, kSourceRows> m_prefix{};
    std::array<float, kSourceRows> m_share{}; ///< the share of each fixed level
    std::vector<FieldText> m_stepTexts;       ///< by step index
    std::vector<FieldText> m_quarterTexts;    ///< the shares q / 4, q = 0..400
    std::unordered_map<std::uint32_t, FieldText> m_derivedTexts;
    /// The record's fields of the fixed levels, and room for a slot's overshoot; padded
    /// like the end of the record, so that both are copied in whole slots.
    std::array<char, (kSourceRows + 1) * FieldText::kSlot> m_line{};
    std::array<std::size_t, kSourceRows + 1> m_lineLength{};
    std::array<char, 64> m_end{}; ///< the record's empty fields and its line end
    std::size_t m_endLength = 0;
    /// Records being gathered: the first m_used bytes of m_out, whose size is the room
    /// available, so that records are written through a pointer.
    std::string m_out;
    std::size_t m_used = 0;
    ShareHistograms m_histograms{};
    std::uint64_t m_feasible = 0;
    /// Count into m_histograms: only when no records are wanted, the last levels only with a
    /// whole increment.
    std::unique_ptr<InnermostCounter> m_innermostCounter; ///< made when first needed
    std::unique_ptr<LastLevelsCounter> m_lastLevelsCounter;
    std::size_t m_counterSteps = 0; ///< the plan's step count when the counters were made
};

} // namespace fenlowick
