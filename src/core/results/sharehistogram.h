#pragma once

#include "core/entry/entry.h"

#include <array>
#include <cstdint>

namespace fenlowick {

inline constexpr int kHistogramLevels = 102;

/// Counts of kept combinations by share level (share / increment, rounded down), one per
/// source. 64-bit: a ten-source search keeps tens of billions of combinations.
using ShareHistogram = std::array<std::uint64_t, kHistogramLevels>;

using ShareHistograms = std::array<ShareHistogram, kSourceRows>;

} // namespace fenlowick
