#pragma once

#include "core/engine/searchplan.h"
#include "core/results/sharehistogram.h"

#include <array>
#include <cstdint>
#include <vector>

namespace fenlowick {

/// Adds runs of the innermost level counted whole as differences over its step indices
/// (runDiff[i] is the change of the count at step i) to that level's histogram, and empties
/// runDiff.
void settleInnermostRuns(const SearchPlan& plan, std::vector<std::int64_t>& runDiff,
                         ShareHistograms& histograms);

/// The count of the innermost looped share of a search without records: the values that
/// the plan's margins prove kept are counted as one run, the others between that run and
/// the outer ends of the range are checked one by one with the program's arithmetic. Counts
/// go to the histograms given at construction, the runs only as differences until
/// settleRuns(). The plan, the histograms and the shares (the share of each level fixed
/// above, kept up to date by the caller) must outlive the counter.
class InnermostCounter {
public:
    InnermostCounter(const SearchPlan& plan, ShareHistograms& histograms,
                     std::array<float, kSourceRows>& shares);

    /// The innermost share, indices first..last (a range from SearchPlan::innermostRange),
    /// after the single-precision prefix of the levels before it; returns how many are kept
    /// and counts them and their derived shares.
    std::uint64_t count(float bound, int first, int last, const float* prefix);

    /// Adds the runs counted whole to the histograms and empties them, so that the counter
    /// can count the next search of a plan of the same steps.
    void settleRuns();

private:
    void addDerived(float last, std::uint64_t count);

    const SearchPlan& m_plan;
    ShareHistograms& m_histograms;
    std::array<float, kSourceRows>& m_shares;
    /// Runs counted whole, as differences over the innermost share's indices.
    std::vector<std::int64_t> m_runDiff;
    /// Their derived shares, by the bound of the innermost loop in quarters (table q for a
    /// bound of q / 4; empty until a run has that bound) and the innermost index.
    std::vector<std::vector<std::int64_t>> m_derivedDiff;
};

} // namespace fenlowick
