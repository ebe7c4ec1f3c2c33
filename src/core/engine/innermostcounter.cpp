#include "core/engine/innermostcounter.h"

#include <algorithm>
#include <cmath>

namespace fenlowick {

namespace {

/// Innermost ranges with fewer steps than this between their ends are checked one by one.
constexpr int kShortRange = 8;

} // namespace

InnermostCounter::InnermostCounter(const SearchPlan& plan, ShareHistograms& histograms,
                                   std::array<float, kSourceRows>& shares)
    : m_plan(plan), m_histograms(histograms), m_shares(shares) {
    const std::size_t width = m_plan.steps().size() + 1;
    m_runDiff.assign(width, 0);
    // A table per quarter slot of the bound, made when a run first needs it: a search meets
    // only the few bounds its increment makes, and a study runs many small searches.
    m_derivedDiff.resize(SearchPlan::kQuarterSlots);
}

inline void InnermostCounter::addDerived(float last, std::uint64_t count) {
    const auto level = static_cast<std::size_t>(std::floor(last / m_plan.increment()));
    m_histograms[static_cast<std::size_t>(m_plan.sources() - 1)][level] += count;
}

std::uint64_t InnermostCounter::count(float bound, int first, int last, const float* prefix) {
    // A short range is checked one by one: solving its core would cost more.
    auto [coreFirst, coreLast] = m_plan.coreImpossible() || last - first < kShortRange
                                     ? std::pair<int, int>{1, 0}
                                     : m_plan.innermostCore(bound, prefix);
    coreFirst = std::max(coreFirst, first);
    coreLast = std::min(coreLast, last);
    if (coreFirst > coreLast) {
        coreFirst = last + 1;
        coreLast = last;
    }
    const auto inner = static_cast<std::size_t>(m_plan.innermost());
    std::uint64_t kept = 0;
    auto checkOne = [&](int i) {
        const float share = m_plan.steps()[static_cast<std::size_t>(i)];
        const float rest = bound - share;
        if (!m_plan.passesAfter(prefix, share, rest, m_plan.linearColumns())) {
            return;
        }
        if (m_plan.constrained()) {
            m_shares[inner] = share;
            m_shares[inner + 1] = rest;
            if (!m_plan.passesConstraints(m_shares.data())) {
                return;
            }
        }
        ++kept;
        ++m_histograms[inner][m_plan.stepLevels()[static_cast<std::size_t>(i)]];
        addDerived(rest, 1);
    };
    for (int i = first; i < coreFirst; ++i) {
        checkOne(i);
    }
    for (int i = coreLast + 1; i <= last; ++i) {
        checkOne(i);
    }
    if (coreFirst <= coreLast) {
        const auto runLength = static_cast<std::uint64_t>(coreLast - coreFirst + 1);
        kept += runLength;
        const std::size_t width = m_plan.steps().size() + 1;
        ++m_runDiff[static_cast<std::size_t>(coreFirst)];
        --m_runDiff[static_cast<std::size_t>(coreLast) + 1];
        const float quarters = bound * 4.0f;
        if (quarters >= 0.0f && quarters < static_cast<float>(SearchPlan::kQuarterSlots) &&
            quarters == std::floor(quarters)) {
            std::vector<std::int64_t>& diffs = m_derivedDiff[static_cast<std::size_t>(quarters)];
            if (diffs.empty()) {
                diffs.assign(width, 0);
            }
            ++diffs[static_cast<std::size_t>(coreFirst)];
            --diffs[static_cast<std::size_t>(coreLast) + 1];
        } else {
            for (int i = coreFirst; i <= coreLast; ++i) {
                addDerived(bound - m_plan.steps()[static_cast<std::size_t>(i)], 1);
            }
        }
    }
    return kept;
}

void settleInnermostRuns(const SearchPlan& plan, std::vector<std::int64_t>& runDiff,
                         ShareHistograms& histograms) {
    const auto inner = static_cast<std::size_t>(plan.innermost());
    std::int64_t running = 0;
    for (std::size_t i = 0; i < plan.steps().size(); ++i) {
        running += runDiff[i];
        histograms[inner][plan.stepLevels()[i]] += static_cast<std::uint64_t>(running);
    }
    std::fill(runDiff.begin(), runDiff.end(), 0);
}

void InnermostCounter::settleRuns() {
    settleInnermostRuns(m_plan, m_runDiff, m_histograms);
    const std::size_t width = m_plan.steps().size() + 1;
    std::int64_t running = 0;
    for (int q = 0; q < SearchPlan::kQuarterSlots; ++q) {
        std::vector<std::int64_t>& diffs = m_derivedDiff[static_cast<std::size_t>(q)];
        if (diffs.empty()) {
            continue;
        }
        const float bound = static_cast<float>(q) * 0.25f;
        running = 0;
        for (std::size_t i = 0; i + 1 < width; ++i) {
            running += diffs[i];
            if (running != 0) {
                addDerived(bound - m_plan.steps()[i], static_cast<std::uint64_t>(running));
            }
        }
        std::fill(diffs.begin(), diffs.end(), 0);
    }
}

} // namespace fenlowick
