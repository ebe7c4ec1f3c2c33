#pragma once

#include <vector>

namespace fenlowick {

/// The range an axis shows and the step of its ticks.
struct AxisScale {
    double low = 0.0;
    double high = 1.0;
    double step = 1.0;
};

/// Round axis limits and step (1, 2 or 5 times a power of ten) that take in [low, high]
/// with about `ticks` steps; a zero-width range is widened around its value.
AxisScale niceAxis(double low, double high, int ticks = 6);

/// The multiples of the step within [low, high], from low to high, each worked out from its
/// index so that no rounding drift builds up; a value within a millionth of a step of zero
/// is 0.
std::vector<double> axisTicks(const AxisScale& axis);

} // namespace fenlowick
