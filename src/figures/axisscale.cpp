#include "figures/axisscale.h"

#include <algorithm>
#include <cmath>

namespace fenlowick {

AxisScale niceAxis(double low, double high, int ticks) {
    if (!(high > low)) {
        const double half = std::max(1.0, std::fabs(low) * 0.1);
        low -= half;
        high += half;
    }
    const double rough = (high - low) / std::max(1, ticks);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * power;
        if (step >= rough) {
            break;
        }
    }
    AxisScale axis;
    axis.step = step;
    axis.low = std::floor(low / step) * step;
    axis.high = std::ceil(high / step) * step;
    return axis;
}

std::vector<double> axisTicks(const AxisScale& axis) {
    std::vector<double> ticks;
    const double allowance = axis.step * 1e-6;
    const auto first = static_cast<long>(std::ceil((axis.low - allowance) / axis.step));
    for (long i = first;; ++i) {
        const double value = static_cast<double>(i) * axis.step;
        if (value > axis.high + allowance) {
            break;
        }
        ticks.push_back(std::fabs(value) < allowance ? 0.0 : value);
    }
    return ticks;
}

} // namespace fenlowick
