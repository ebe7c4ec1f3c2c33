#pragma once

#include <cstddef>
#include <vector>

namespace fenlowick {

/// The natural log of the upper incomplete gamma function Gamma(s, x), the integral of
/// t^(s-1) e^(-t) from x to infinity, for any real s and x > 0 (s may be zero or negative,
/// where the integral still converges). Worked in logs so that neither a large x nor a large
/// s underflows: a series for x < s + 1, a continued fraction for x from 1 on, and for s <= 0
/// and x < 1 the recurrence down from a series or the exponential integral.
double logUpperGamma(double s, double x);

/// log Gamma(s, x) of one order s for many x, as `logUpperGamma` gives it within 1e-12:
/// for s >= 5 from cubic pieces between exact values and slopes at steps of 1/256 up to
/// where the function's tail begins, and directly beyond; for smaller s (whose derivatives
/// are unbounded at 0) always directly.
class LogUpperGammaOfOrder {
public:
    explicit LogUpperGammaOfOrder(double s);
    double order() const { return m_s; }
    double operator()(double x) const;

private:
    double m_s;
    double m_top = 0.0;
    std::vector<double> m_value;
    std::vector<double> m_slope;
};

/// Gamma(s, x) / Gamma(s) of one order s >= 5 for many x, as `logUpperGamma` gives it within
/// 1e-12 of its value where it is at least 1e-3 (from x = 0 up to `top()`): cubic pieces
/// between exact values and slopes at steps of 1/256. Beyond the top, and for smaller orders,
/// it is worked out directly.
class RegularizedUpperGammaOfOrder {
public:
    explicit RegularizedUpperGammaOfOrder(double s);
    /// The end of the table: 0 for an order it does not table.
    double top() const { return m_top; }
    double operator()(double x) const;
    /// out[i] *= this(x * c[i]) for i < n, each x * c[i] in [0, top()), as the function
    /// gives them, in vector registers where the processor has them.
    void multiplyAlong(double x, const double* c, double* out, std::size_t n) const;

private:
    double m_s;
    double m_top = 0.0;
    std::vector<double> m_value;
    std::vector<double> m_slope; ///< times the step
};

/// The natural log of the multivariate gamma function Gamma_d(a) of dimension d:
/// pi^(d(d-1)/4) times the product of Gamma(a + (1 - j)/2) for j = 1..d.
double logMultivariateGamma(int d, double a);

} // namespace fenlowick
