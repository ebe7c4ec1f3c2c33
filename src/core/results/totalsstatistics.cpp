#include "core/results/totalsstatistics.h"

#include "core/base/numberformat.h"

#include <cmath>

namespace fenlowick {

TotalsStatistics computeTotalsStatistics(const ShareHistograms& histograms, int sources,
                                         float increment) {
    TotalsStatistics result;
    result.sources = sources;
    result.lastLevel = static_cast<int>(std::floor(100.0f / increment));
    const int levels = result.lastLevel;
    for (int b = 0; b <= levels; ++b) {
        result.levelValue[static_cast<std::size_t>(b)] =
            shareFraction(static_cast<float>(b) * increment);
    }
    for (int b = 0; b <= levels; ++b) {
        result.observations += histograms[0][static_cast<std::size_t>(b)];
    }
    // The sums in the order in which the histogram table is written: level by level, and
    // within a level source by source.
    for (int b = 0; b <= levels; ++b) {
        const auto level = static_cast<std::size_t>(b);
        for (int s = 0; s < sources; ++s) {
            result.source[static_cast<std::size_t>(s)].sum +=
                static_cast<double>(result.levelValue[level]) *
                static_cast<double>(histograms[static_cast<std::size_t>(s)][level]);
        }
    }
    if (result.observations == 0) {
        return result;
    }

    const auto obs = static_cast<double>(result.observations);
    for (int s = 0; s < sources; ++s) {
        SourceStatistics& st = result.source[static_cast<std::size_t>(s)];
        st.mean = st.sum / obs;
    }
    double rank1 = std::floor(0.01 * obs + 0.5);
    if (rank1 == 0.0) {
        rank1 = 1.0;
    }
    const double rank50 = std::floor(0.5 * obs + 0.5);
    const double rank99 = std::floor(0.99 * obs + 0.5);
    for (int b = 0; b <= levels; ++b) {
        const auto level = static_cast<std::size_t>(b);
        const float x = result.levelValue[level];
        for (int s = 0; s < sources; ++s) {
            SourceStatistics& st = result.source[static_cast<std::size_t>(s)];
            const std::uint64_t count = histograms[static_cast<std::size_t>(s)][level];
            if (count > 0) {
                st.maximum = x;
                if (!st.minimum) {
                    st.minimum = x;
                }
            }
            st.cumulative += count;
            const auto cumulative = static_cast<double>(st.cumulative);
            if (cumulative >= rank1 && !st.p1) {
                st.p1 = x;
            }
            if (cumulative >= rank50 && !st.p50) {
                st.p50 = x;
            }
            if (cumulative >= rank99 && !st.p99) {
                st.p99 = x;
            }
            const double deviation = static_cast<double>(x) - st.mean;
            st.sumSquares =
                static_cast<float>(static_cast<double>(st.sumSquares) +
                                   static_cast<double>(count) * (deviation * deviation));
        }
    }
    if (result.observations > 1) {
        for (int s = 0; s < sources; ++s) {
            SourceStatistics& st = result.source[static_cast<std::size_t>(s)];
            st.stdDev =
                static_cast<float>(std::sqrt(static_cast<double>(st.sumSquares) / (obs - 1.0)));
        }
    }
    return result;
}

SourceFigures figuresOf(const TotalsStatistics& statistics, int s) {
    SourceFigures figures;
    if (statistics.observations == 0) {
        return figures;
    }
    const SourceStatistics& st = statistics.source[static_cast<std::size_t>(s)];
    const auto level = [](std::optional<float> value) -> std::optional<double> {
        if (!value) {
            return std::nullopt;
        }
        return roundedHundredths(*value);
    };
    figures.mean = roundedThousandths(st.mean);
    figures.minimum = level(st.minimum);
    figures.maximum = level(st.maximum);
    figures.p1 = level(st.p1);
    figures.p50 = level(st.p50);
    figures.p99 = level(st.p99);
    if (statistics.observations > 1) {
        figures.stdDev = roundedThousandths(st.stdDev);
    }
    return figures;
}

} // namespace fenlowick
