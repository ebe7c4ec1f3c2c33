#include "core/base/gammafunctions.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace fenlowick {

namespace {

constexpr double kTiny = 1e-300;
constexpr double kRelative = 1e-16;
constexpr int kMaxTerms = 100000;

/// Gamma(s, x) for 0 < s and x < s + 1, as the complement of the lower function's series.
double logUpperBySeries(double s, double x) {
    double term = 1.0 / s;
    double sum = term;
    for (int n = 1; n < kMaxTerms; ++n) {
        term *= x / (s + n);
        sum += term;
        if (std::fabs(term) < std::fabs(sum) * kRelative) {
            break;
        }
    }
    const double lower = std::exp(std::log(sum) - x + s * std::log(x) - std::lgamma(s));
    return std::lgamma(s) + std::log1p(-lower);
}

/// Gamma(s, x) by its continued fraction (modified Lentz), for x >= 1 and any s.
double logUpperByFraction(double s, double x) {
    double b = x + 1.0 - s;
    double c = 1.0 / kTiny;
    double d = 1.0 / b;
    double h = d;
    for (int i = 1; i < kMaxTerms; ++i) {
        const double an = -i * (i - s);
        b += 2.0;
        d = an * d + b;
        d = std::fabs(d) < kTiny ? kTiny : d;
        c = b + an / c;
        c = std::fabs(c) < kTiny ? kTiny : c;
        d = 1.0 / d;
        const double step = d * c;
        h *= step;
        if (std::fabs(step - 1.0) < kRelative) {
            break;
        }
    }
    return -x + s * std::log(x) + std::log(h);
}

/// The exponential integral E1(x) = Gamma(0, x) for 0 < x < 1, by its power series.
double exponentialIntegral(double x) {
    double term = 1.0;
    double sum = 0.0;
    for (int k = 1; k < 200; ++k) {
        term *= -x / k;
        sum -= term / k;
        if (std::fabs(term) < kRelative * std::fabs(sum)) {
            break;
        }
    }
    return -std::numbers::egamma - std::log(x) + sum;
}

} // namespace

double logUpperGamma(double s, double x) {
    if (!(x > 0.0)) {
        return x == 0.0 && s > 0.0 ? std::lgamma(s) : std::numeric_limits<double>::infinity();
    }
    if (std::isinf(x)) {
        return -std::numeric_limits<double>::infinity();
    }
    if (s > 0.0 && x < s + 1.0) {
        return logUpperBySeries(s, x);
    }
    if (x >= 1.0) {
        return logUpperByFraction(s, x);
    }
    // s <= 0 and x < 1: no cancellation to fear going down by
    // Gamma(t - 1, x) = (Gamma(t, x) - x^(t-1) e^(-x)) / (t - 1).
    const double steps = std::ceil(-s);
    double t = s + steps;
    double value = 0.0;
    if (t == 0.0) {
        value = exponentialIntegral(x);
    } else {
        value = std::exp(logUpperBySeries(t, x));
    }
    for (int i = 0; i < static_cast<int>(steps); ++i) {
        value = (value - std::exp((t - 1.0) * std::log(x) - x)) / (t - 1.0);
        t -= 1.0;
    }
    return std::log(value);
}

namespace {

constexpr double kTableStep = 1.0 / 256.0;
constexpr double kSteps = 256.0; ///< table nodes per unit of x
constexpr double kSmallestTabledOrder = 5.0;

/// The cubic Hermite piece through y0 and y1 with slopes d0 and d1 (per piece), at t in
/// [0, 1).
inline double cubicHermite(double t, double y0, double d0, double y1, double d1) {
    const double t2 = t * t;
    const double t3 = t2 * t;
    return (2 * t3 - 3 * t2 + 1) * y0 + (t3 - 2 * t2 + t) * d0 + (-2 * t3 + 3 * t2) * y1 +
           (t3 - t2) * d1;
}

} // namespace

LogUpperGammaOfOrder::LogUpperGammaOfOrder(double s) : m_s(s) {
    if (s < kSmallestTabledOrder) {
        return;
    }
    m_top = s + 8.0 * std::sqrt(s) + 16.0;
    const auto nodes = static_cast<std::size_t>(std::ceil(m_top / kTableStep)) + 1;
    m_value.resize(nodes);
    m_slope.resize(nodes);
    for (std::size_t i = 0; i < nodes; ++i) {
        const double x = static_cast<double>(i) * kTableStep;
        m_value[i] = logUpperGamma(s, x);
        // d/dx log Gamma(s, x) = -x^(s-1) e^(-x) / Gamma(s, x).
        m_slope[i] = x == 0.0 ? 0.0 : -std::exp((s - 1.0) * std::log(x) - x - m_value[i]);
    }
}

double LogUpperGammaOfOrder::operator()(double x) const {
    if (m_value.empty() || !(x >= 0.0) || x >= m_top) {
        return logUpperGamma(m_s, x);
    }
    const double at = x / kTableStep;
    const auto i = static_cast<std::size_t>(at);
    if (i + 1 >= m_value.size()) {
        return logUpperGamma(m_s, x);
    }
    // On [x_i, x_i+1] in t = (x - x_i) / step.
    return cubicHermite(at - static_cast<double>(i), m_value[i], m_slope[i] * kTableStep,
                        m_value[i + 1], m_slope[i + 1] * kTableStep);
}

RegularizedUpperGammaOfOrder::RegularizedUpperGammaOfOrder(double s) : m_s(s) {
    if (s < kSmallestTabledOrder) {
        return;
    }
    // Up to where the function falls to 1e-3, and one node beyond.
    const double logGamma = std::lgamma(s);
    const double smallest = std::log(1e-3);
    for (double x = 0.0;; x += kTableStep) {
        const double value = logUpperGamma(s, x) - logGamma;
        m_value.push_back(std::exp(value));
        // d/dx Gamma(s, x) / Gamma(s) = -x^(s-1) e^(-x) / Gamma(s).
        m_slope.push_back(
            x == 0.0 ? 0.0 : -std::exp((s - 1.0) * std::log(x) - x - logGamma) * kTableStep);
        if (value < smallest) {
            m_top = x - kTableStep;
            break;
        }
    }
}

namespace {

/// The loop of RegularizedUpperGammaOfOrder::multiplyAlong, the same operations as its
/// operator() (so the same numbers), made for wider vector registers too.
__attribute__((target_clones("avx2", "default"))) void
multiplyByTable(const double* __restrict value, const double* __restrict slope, double steps,
                double x, const double* __restrict c, double* __restrict out, int n) {
    for (int i = 0; i < n; ++i) {
        const double at = x * c[i] * steps;
        const int k = static_cast<int>(at);
        out[i] *= cubicHermite(at - static_cast<double>(k), value[k], slope[k], value[k + 1],
                               slope[k + 1]);
    }
}

} // namespace

void RegularizedUpperGammaOfOrder::multiplyAlong(double x, const double* c, double* out,
                                                 std::size_t n) const {
    multiplyByTable(m_value.data(), m_slope.data(), kSteps, x, c, out, static_cast<int>(n));
}

double RegularizedUpperGammaOfOrder::operator()(double x) const {
    if (!(x >= 0.0) || !(x < m_top)) {
        return std::exp(logUpperGamma(m_s, x) - std::lgamma(m_s));
    }
    const double at = x * kSteps;
    const auto i = static_cast<std::size_t>(at);
    return cubicHermite(at - static_cast<double>(i), m_value[i], m_slope[i], m_value[i + 1],
                        m_slope[i + 1]);
}

double logMultivariateGamma(int d, double a) {
    double sum = d * (d - 1) / 4.0 * std::log(std::numbers::pi);
    for (int j = 1; j <= d; ++j) {
        sum += std::lgamma(a + (1.0 - j) / 2.0);
    }
    return sum;
}

} // namespace fenlowick
