#include "core/base/gammafunctions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace fenlowick {
namespace {

/// log Gamma(s, x) by quadrature: with t = x e^v the integral of t^(s-1) e^(-t) dt from x
/// to infinity becomes that of exp(s log t - t) dv from 0, smooth enough for Simpson's rule
/// on a fine grid; the exponent's peak is taken out first so that nothing under- or
/// overflows.
double logUpperGammaByQuadrature(double s, double x) {
    const auto exponent = [&](double v) { return s * (std::log(x) + v) - x * std::exp(v); };
    const double peak = exponent(s > x ? std::log(s / x) : 0.0);
    const double end = std::log((std::max(s, x) + 800.0) / x);
    const int steps = 400000;
    const double h = end / steps;
    double sum = 0.0;
    for (int i = 0; i <= steps; ++i) {
        const double weight = (i == 0 || i == steps) ? 1.0 : (i % 2 == 1 ? 4.0 : 2.0);
        sum += weight * std::exp(exponent(i * h) - peak);
    }
    return peak + std::log(sum * h / 3.0);
}

TEST(GammaFunctions, UpperIncompleteGammaAgreesWithQuadratureOverHalfWholeOrders) {
    // The orders the mixing model needs are halves of whole numbers, from -2.5 (one consumer's
    // second moment) to a few hundred consumers; arguments from nearly 0 to far in the tail.
    for (const double s :
         {-2.5, -2.0, -1.5, -1.0, -0.5, 0.0, 0.5, 1.0, 1.5, 2.0, 7.5, 40.0, 300.5}) {
        for (const double x : {1e-3, 0.2, 0.999, 1.0, 2.5, 9.0, 41.0, 250.0, 5000.0}) {
            EXPECT_NEAR(logUpperGamma(s, x), logUpperGammaByQuadrature(s, x),
                        1e-8 * std::max(1.0, std::fabs(logUpperGammaByQuadrature(s, x))))
                << "s " << s << ", x " << x;
        }
    }
}

TEST(GammaFunctions, ClosedFormsAndEdges) {
    // Gamma(1, x) = e^-x; Gamma(1/2, x) = sqrt(pi) erfc(sqrt(x)); Gamma(s, 0) = Gamma(s).
    for (const double x : {0.01, 0.7, 3.0, 60.0}) {
        EXPECT_NEAR(logUpperGamma(1.0, x), -x, 1e-12);
        EXPECT_NEAR(logUpperGamma(0.5, x),
                    std::log(std::sqrt(std::numbers::pi) * std::erfc(std::sqrt(x))), 1e-10);
    }
    EXPECT_DOUBLE_EQ(logUpperGamma(4.5, 0.0), std::lgamma(4.5));
    EXPECT_EQ(logUpperGamma(-1.0, 0.0), INFINITY);
    EXPECT_EQ(logUpperGamma(2.0, INFINITY), -INFINITY);
}

TEST(GammaFunctions, TheTableOfOneOrderAgreesWithTheDirectValues) {
    // Orders of a few to some hundred consumers; arguments across and beyond the table.
    for (const double s : {-0.5, 1.5, 3.0, 3.5, 7.5, 14.5, 89.5, 300.0}) {
        const LogUpperGammaOfOrder table(s);
        double worst = 0.0;
        for (int i = 0; i < 200000; ++i) {
            const double x = (s + 100.0) * (i + 0.37) / 200000.0;
            worst = std::max(worst, std::fabs(table(x) - logUpperGamma(s, x)) /
                                        std::max(1.0, std::fabs(logUpperGamma(s, x))));
        }
        EXPECT_LT(worst, 1e-12) << "order " << s;
    }
}

TEST(GammaFunctions, TheRegularizedTableAgreesWithTheDirectValuesDownToATenthOfAPercent) {
    // The orders of all but one of 13, 14, 31, 34, 122 and 250 consumers: within 1e-12 of
    // Gamma(s, x) / Gamma(s) from the series and fraction, over the whole table; the table
    // ends where the function falls to 1e-3.
    for (const double s : {5.0, 5.5, 14.0, 15.5, 59.5, 123.5}) {
        const RegularizedUpperGammaOfOrder table(s);
        const auto direct = [&](double x) {
            return std::exp(logUpperGamma(s, x) - std::lgamma(s));
        };
        ASSERT_GT(table.top(), s) << "order " << s;
        EXPECT_GE(direct(table.top()), 1e-3) << "order " << s;
        EXPECT_LT(direct(table.top() + 2.0 / 256.0), 1e-3) << "order " << s;
        double worst = 0.0;
        for (int i = 0; i < 100000; ++i) {
            const double x = table.top() * (i + 0.37) / 100000.0;
            worst = std::max(worst, std::fabs(table(x) / direct(x) - 1.0));
        }
        EXPECT_LT(worst, 1e-12) << "order " << s;
        // Beyond the table, and below zero, it is worked out directly.
        EXPECT_NEAR(table(table.top() + 5.0) / direct(table.top() + 5.0), 1.0, 1e-13);
    }
    // Smaller orders (whose derivatives grow without bound at 0) are not tabled.
    const RegularizedUpperGammaOfOrder small(4.5);
    EXPECT_EQ(small.top(), 0.0);
    EXPECT_NEAR(small(2.0), std::exp(logUpperGamma(4.5, 2.0) - std::lgamma(4.5)), 1e-15);
}

} // namespace
} // namespace fenlowick
