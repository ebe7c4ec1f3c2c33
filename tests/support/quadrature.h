#pragma once

namespace fenlowick {

/// Simpson's rule for f on [a, b] with `steps` (even) intervals.
template <typename F> double simpson(F f, double a, double b, int steps) {
    const double h = (b - a) / steps;
    double sum = f(a) + f(b);
    for (int i = 1; i < steps; ++i) {
        sum += (i % 2 == 1 ? 4.0 : 2.0) * f(a + i * h);
    }
    return sum * h / 3.0;
}

} // namespace fenlowick
