#include "core/engine/searchworker.h"

#include "core/results/resultformat.h"

#include "core/engine/innermostcounter.h"
#include "core/engine/lastlevelscounter.h"
#include "core/engine/searchplan.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace fenlowick {

namespace {

/// Innermost ranges with fewer steps than this between their ends are tested one by one.
constexpr int kShortRange = 8;

} // namespace

SearchWorker::SearchWorker(const SearchPlan& plan, bool records, const std::atomic<bool>& stop)
    : m_plan(plan), m_records(records), m_stop(stop), m_counterSteps(plan.steps().size()) {
    if (!m_records && m_plan.lastLevels().exactGrid) {
        m_lastLevelsCounter = std::make_unique<LastLevelsCounter>(m_plan, m_histograms, m_share);
    }
    if (m_records) {
        for (const std::string& text : m_plan.recordTexts().steps) {
            m_stepTexts.push_back(fieldText(text));
        }
        for (const std::string& text : m_plan.recordTexts().quarters) {
            m_quarterTexts.push_back(fieldText(text));
        }
        m_endLength =
            std::min(m_plan.recordTexts().padding.size(), m_end.size() - FieldText::kSlot);
        std::memcpy(m_end.data(), m_plan.recordTexts().padding.data(), m_endLength);
    }
}

SearchWorker::FieldText SearchWorker::fieldText(const std::string& text) {
    FieldText field;
    field.length = std::min(text.size(), FieldText::kSlot);
    std::memcpy(field.bytes, text.data(), field.length);
    return field;
}

SearchWorker::~SearchWorker() = default;

/// Fixes the share of a level to index i (the level's bound allows it).
void SearchWorker::enter(int level, int i) {
    const float share = m_plan.steps()[static_cast<std::size_t>(i)];
    const auto l = static_cast<std::size_t>(level);
    m_share[l] = share;
    forColumns([&](int k) {
        const float c = m_plan.signature(k, level) * share;
        m_prefix[l + 1][k] = level == 0 ? c : m_prefix[l][k] + c;
    });
    if (m_records) {
        const FieldText& field = m_stepTexts[static_cast<std::size_t>(i)];
        std::memcpy(m_line.data() + m_lineLength[l], field.bytes, FieldText::kSlot);
        m_lineLength[l + 1] = m_lineLength[l] + field.length;
    }
}

/// The search below a node whose levels before `level` are fixed; returns the number of
/// kept combinations and adds the shares of levels >= `level` to the histograms.
std::uint64_t SearchWorker::descend(int level, float bound) {
    if (level == m_plan.innermost()) {
        const float* prefix = m_prefix[static_cast<std::size_t>(level)].data();
        const auto [first, last] = m_plan.innermostRange(bound, prefix);
        if (first > last) {
            return 0;
        }
        return m_records ? innermostRecords(bound, first, last)
                         : innermostCounter().count(bound, first, last, prefix);
    }
    if (m_stop.load(std::memory_order_relaxed)) {
        m_stopped = true;
        return 0;
    }
    const float* prefix = m_prefix[static_cast<std::size_t>(level)].data();
    if (level == m_plan.innermost() - 3 && !m_records && LastLevelsCounter::countsFive(m_plan)) {
        return m_lastLevelsCounter->countLastLevels(5, level, bound, prefix);
    }
    if (level == m_plan.innermost() - 2 && !m_records && m_plan.lastLevels().exactGrid &&
        !m_plan.lastLevels().anyFlat) {
        return m_lastLevelsCounter->countLastLevels(4, level, bound, prefix);
    }
    if (level == m_plan.innermost() - 1 && !m_records && m_plan.lastLevels().exactGrid) {
        return m_lastLevelsCounter->countLastLevels(3, level, bound, prefix);
    }
    if (level == m_plan.innermost() - 1 && level > 0) {
        return penultimate(level, bound);
    }
    const auto [first, last] = m_plan.shareRange(level, bound, prefix);
    std::uint64_t total = 0;
    for (int i = first; i <= last && !m_stopped; ++i) {
        enter(level, i);
        const float share = m_plan.steps()[static_cast<std::size_t>(i)];
        const std::uint64_t kept = descend(level + 1, bound - share);
        m_histograms[static_cast<std::size_t>(level)]
                    [m_plan.stepLevels()[static_cast<std::size_t>(i)]] += kept;
        total += kept;
    }
    return total;
}

/// descend() for the level above the innermost: most of the search's nodes are here, and
/// most of them have no innermost share left, so the innermost prefix and range are formed
/// inline and the record line only for the others.
std::uint64_t SearchWorker::penultimate(int level, float bound) {
    const auto l = static_cast<std::size_t>(level);
    const auto [first, last] = m_plan.shareRange(level, bound, m_prefix[l].data());
    std::uint64_t total = 0;
    for (int i = first; i <= last && !m_stopped; ++i) {
        const float share = m_plan.steps()[static_cast<std::size_t>(i)];
        m_share[l] = share;
        forColumns([&](int k) {
            m_prefix[l + 1][k] = m_prefix[l][k] + m_plan.signature(k, level) * share;
        });
        const float inner = bound - share;
        const float* prefix = m_prefix[l + 1].data();
        const auto [innerFirst, innerLast] = m_plan.innermostRange(inner, prefix);
        if (innerFirst > innerLast) {
            continue;
        }
        std::uint64_t kept = 0;
        if (m_records) {
            const FieldText& field = m_stepTexts[static_cast<std::size_t>(i)];
            std::memcpy(m_line.data() + m_lineLength[l], field.bytes, FieldText::kSlot);
            m_lineLength[l + 1] = m_lineLength[l] + field.length;
            kept = innermostRecords(inner, innerFirst, innerLast);
        } else {
            kept = innermostCounter().count(inner, innerFirst, innerLast, prefix);
        }
        m_histograms[l][m_plan.stepLevels()[static_cast<std::size_t>(i)]] += kept;
        total += kept;
    }
    return total;
}

std::uint64_t SearchWorker::runTask(const std::vector<int>& indices, Publish publish) {
    m_publish = std::move(publish);
    float bound = 100.0f;
    for (std::size_t level = 0; level < indices.size(); ++level) {
        enter(static_cast<int>(level), indices[level]);
        bound = bound - m_plan.steps()[static_cast<std::size_t>(indices[level])];
    }
    const std::uint64_t kept = descend(static_cast<int>(indices.size()), bound);
    for (std::size_t level = 0; level < indices.size(); ++level) {
        m_histograms[level][m_plan.stepLevels()[static_cast<std::size_t>(indices[level])]] += kept;
    }
    m_feasible += kept;
    if (m_records && !m_stopped) {
        if (m_used < kSmallChunk) {
            // A task's last records, when few, go as a copy of their own size: the chunk's
            // storage, already written, stays with the worker for the next task.
            std::string tail(m_out.data(), m_used);
            m_stopped = !m_publish(tail, tail.size());
            m_used = 0;
        } else {
            publishChunk();
        }
    }
    return kept;
}

void SearchWorker::collectTasks(int level, float bound, int depth, std::vector<int>& path,
                                std::vector<std::pair<std::vector<int>, double>>& tasks) {
    if (level == depth) {
        tasks.emplace_back(path, leafEstimate(level, bound));
        return;
    }
    const auto [first, last] =
        m_plan.shareRange(level, bound, m_prefix[static_cast<std::size_t>(level)].data());
    for (int i = first; i <= last; ++i) {
        enter(level, i);
        path.push_back(i);
        collectTasks(level + 1, bound - m_plan.steps()[static_cast<std::size_t>(i)], depth, path,
                     tasks);
        path.pop_back();
    }
}

InnermostCounter& SearchWorker::innermostCounter() {
    if (!m_innermostCounter) {
        m_innermostCounter = std::make_unique<InnermostCounter>(m_plan, m_histograms, m_share);
    }
    return *m_innermostCounter;
}

void SearchWorker::settleRuns() {
    if (m_innermostCounter) {
        m_innermostCounter->settleRuns();
    }
    if (m_lastLevelsCounter) {
        m_lastLevelsCounter->settleRuns();
    }
}

void SearchWorker::restart() {
    m_stopped = false;
    m_feasible = 0;
    if (m_plan.steps().size() != m_counterSteps) {
        // The counters' tables are as long as the steps of the plan they were made for.
        m_innermostCounter.reset();
        m_lastLevelsCounter.reset();
        m_counterSteps = m_plan.steps().size();
    } else {
        // A cancelled search leaves its runs unsettled: settled here, they go with the
        // histograms cleared below.
        settleRuns();
    }
    m_histograms = {};
    if (m_plan.lastLevels().exactGrid && !m_lastLevelsCounter) {
        m_lastLevelsCounter = std::make_unique<LastLevelsCounter>(m_plan, m_histograms, m_share);
    }
}

void SearchWorker::addTo(EngineResult& result) const {
    for (int j = 0; j < m_plan.sources(); ++j) {
        // Level j searched source order[j].
        const auto s = static_cast<std::size_t>(m_plan.order()[static_cast<std::size_t>(j)]);
        for (int b = 0; b < kHistogramLevels; ++b) {
            const auto l = static_cast<std::size_t>(b);
            result.histograms[s][l] += m_histograms[static_cast<std::size_t>(j)][l];
        }
    }
    result.feasibleCount += m_feasible;
}

double SearchWorker::leafEstimate(int level, float bound) const {
    // C(m + n - 1, n - 1) combinations below, m the steps in the bound, n the sources left.
    const int n = m_plan.sources() - level;
    const double m = m_plan.stepCount(bound) - 1;
    double result = 1.0;
    for (int i = 1; i < n; ++i) {
        result = result * (m + i) / i;
    }
    return result;
}

void SearchWorker::addDerived(float last, std::uint64_t count) {
    const auto level = static_cast<std::size_t>(std::floor(last / m_plan.increment()));
    m_histograms[static_cast<std::size_t>(m_plan.sources() - 1)][level] += count;
}

// Inline: it runs once per record, and the search loop is faster with it in place.
inline const SearchWorker::FieldText& SearchWorker::derivedText(float last) {
    const float quarters = last * 4.0f;
    if (quarters >= 0.0f && quarters < static_cast<float>(SearchPlan::kQuarterSlots) &&
        quarters == std::floor(quarters)) {
        return m_quarterTexts[static_cast<std::size_t>(quarters)];
    }
    std::uint32_t key = 0;
    std::memcpy(&key, &last, sizeof key);
    auto it = m_derivedTexts.find(key);
    if (it == m_derivedTexts.end()) {
        it = m_derivedTexts.emplace(key, fieldText(shareFieldText(last))).first;
    }
    return it->second;
}

namespace {

/// Copies n bytes in whole slots of 16: up to 15 bytes beyond n are read from `from` and
/// written after `to + n`, where both have room for them. Returns to + n.
inline char* copySlots(char* to, const char* from, std::size_t n) {
    for (std::size_t k = 0; k < n; k += 16) {
        std::memcpy(to + k, from + k, 16);
    }
    return to + n;
}

} // namespace

void SearchWorker::reserveRecords(std::size_t bytes) {
    // The room grows by steps that the records then fill while they are in the cache: a
    // task with few records touches little of its chunk.
    constexpr std::size_t kStep = std::size_t{64} << 10;
    const std::size_t needed = m_used + bytes + FieldText::kSlot;
    if (needed > m_out.size()) {
        m_out.resize(std::max(needed, m_out.size() + kStep));
    }
}

std::uint64_t SearchWorker::innermostRecords(float bound, int first, int last) {
    const auto inner = static_cast<std::size_t>(m_plan.innermost());
    const float* prefix = m_prefix[inner].data();
    const std::size_t lineLength = m_lineLength[inner];
    reserveRecords(static_cast<std::size_t>(last - first + 1) *
                   (lineLength + 2 * FieldText::kSlot + m_endLength));
    // The values the margins prove kept (as the counts take them) need no test; a short
    // range is tested whole, solving its core would cost more.
    auto [coreFirst, coreLast] = m_plan.coreImpossible() || last - first < kShortRange
                                     ? std::pair<int, int>{1, 0}
                                     : m_plan.innermostCore(bound, prefix);
    char* out = m_out.data() + m_used;
    std::uint64_t kept = 0;
    for (int i = first; i <= last; ++i) {
        const float share = m_plan.steps()[static_cast<std::size_t>(i)];
        const float rest = bound - share;
        const bool sure = i >= coreFirst && i <= coreLast;
        if (!sure && !m_plan.passesAfter(prefix, share, rest, m_plan.linearColumns())) {
            continue;
        }
        if (!sure && m_plan.constrained()) {
            m_share[inner] = share;
            m_share[inner + 1] = rest;
            if (!m_plan.passesConstraints(m_share.data())) {
                continue;
            }
        }
        ++kept;
        ++m_histograms[inner][m_plan.stepLevels()[static_cast<std::size_t>(i)]];
        addDerived(rest, 1);
        out = copySlots(out, m_line.data(), lineLength);
        const FieldText& own = m_stepTexts[static_cast<std::size_t>(i)];
        std::memcpy(out, own.bytes, FieldText::kSlot);
        out += own.length;
        const FieldText& derived = derivedText(rest);
        std::memcpy(out, derived.bytes, FieldText::kSlot);
        out += derived.length;
        out = copySlots(out, m_end.data(), m_endLength);
    }
    m_used = static_cast<std::size_t>(out - m_out.data());
    if (m_used >= kChunkBytes) {
        publishChunk();
    }
    return kept;
}

void SearchWorker::publishChunk() {
    if (!m_publish(m_out, m_used)) {
        m_stopped = true;
    }
    // The publisher leaves a string with room for a chunk, often one given back by the
    // writer, whose size is room already written.
    m_used = 0;
}

} // namespace fenlowick
