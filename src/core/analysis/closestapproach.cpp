#include "core/analysis/closestapproach.h"

#include "core/base/numerictext.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

namespace fenlowick {

namespace {

class ApproachSearch {
public:
    ApproachSearch(const CalculationInput& input, const ApproachLimits& limits)
        : m_limits(limits), m_sources(input.sourceCount()), m_isotopes(input.isotopeCount()),
          m_scale(static_cast<double>(input.decimalScale)) {
        for (int k = 0; k < m_isotopes; ++k) {
            for (int i = 0; i < m_sources; ++i) {
                m_signature[k][i] = input.signature[k][i];
            }
            m_mixture[k] = input.mixture100[k];
        }
        // The shares every loop visits: 0, inc, inc + inc, ... summed in single precision,
        // the same sequence at every level; a loop stops at the first value above its bound.
        for (float share = 0.0f; share <= 100.0f; share += input.incrementPercent) {
            m_shareValues.push_back(share);
        }
        // Bounds of what the sources from j on can add per unit of share, and a margin for
        // the rounding of single-precision products and sums (well above the ~10^-6
        // relative error that ten terms of at most 100 × |signature| can carry).
        for (int k = 0; k < m_isotopes; ++k) {
            float largest = 0.0f;
            for (int j = m_sources - 1; j >= 0; --j) {
                const float s = m_signature[k][j];
                m_lowest[j][k] = j == m_sources - 1 ? s : std::min(s, m_lowest[j + 1][k]);
                m_highest[j][k] = j == m_sources - 1 ? s : std::max(s, m_highest[j + 1][k]);
                largest = std::max(largest, std::fabs(s));
            }
            m_margin[k] = 1e-4 * (100.0 * static_cast<double>(largest)) + 1e-9;
        }
    }

    ClosestApproach run() {
        std::array<float, kIsotopeColumns> partial{};
        descend(0, 100.0f, partial);
        m_result.steps = m_steps;
        return m_result;
    }

private:
    static constexpr double kUnset = std::numeric_limits<double>::infinity();

    /// The limits apply once a first combination is found, so that a stopped search still
    /// names one (best first, it is reached after a few hundred steps).
    bool stopping() {
        if (m_stopped) {
            return true;
        }
        if (m_result.distance == kUnset) {
            return false;
        }
        if (m_steps >= m_limits.maxSteps ||
            (m_limits.cancel != nullptr && m_limits.cancel->load(std::memory_order_relaxed))) {
            m_stopped = true;
            m_result.complete = false;
        }
        return m_stopped;
    }

    /// The smallest distance any combination below a node can have: the sources from
    /// `from` on share `budget` percent, so each isotope's prediction lies between
    /// partial + budget × lowest and partial + budget × highest signature.
    double lowerBound(int from, float budget, const std::array<float, kIsotopeColumns>& partial,
                      double& centreGap) const {
        double bound = 0.0;
        centreGap = 0.0;
        const double b = static_cast<double>(budget);
        for (int k = 0; k < m_isotopes; ++k) {
            const double base = static_cast<double>(partial[k]);
            const double low = base + b * static_cast<double>(m_lowest[from][k]);
            const double high = base + b * static_cast<double>(m_highest[from][k]);
            const double gap = std::max({0.0, low - m_mixture[k], m_mixture[k] - high});
            const double safe = std::max(0.0, gap - m_margin[k]);
            bound = std::max(bound, std::trunc(m_scale * safe));
            centreGap = std::max(centreGap, std::fabs(0.5 * (low + high) - m_mixture[k]));
        }
        return bound;
    }

    struct Child {
        double bound;
        double centreGap;
        std::size_t index;
    };

    void descend(int level, float budget, const std::array<float, kIsotopeColumns>& partial) {
        if (level == m_sources - 2) {
            finish(budget, partial);
            return;
        }
        std::vector<Child> children;
        for (std::size_t i = 0; i < m_shareValues.size() && m_shareValues[i] <= budget; ++i) {
            const float share = m_shareValues[i];
            std::array<float, kIsotopeColumns> next{};
            for (int k = 0; k < m_isotopes; ++k) {
                const float contribution = m_signature[k][level] * share;
                next[k] = level == 0 ? contribution : partial[k] + contribution;
            }
            Child child{0.0, 0.0, i};
            child.bound = lowerBound(level + 1, budget - share, next, child.centreGap);
            children.push_back(child);
        }
        m_steps += children.size();
        // Most promising first, so that a close combination is found early and prunes the rest.
        std::sort(children.begin(), children.end(), [](const Child& a, const Child& b) {
            return a.bound < b.bound || (a.bound == b.bound && a.centreGap < b.centreGap);
        });
        for (const Child& child : children) {
            if (child.bound >= m_result.distance || stopping()) {
                return;
            }
            const float share = m_shareValues[child.index];
            std::array<float, kIsotopeColumns> next{};
            for (int k = 0; k < m_isotopes; ++k) {
                const float contribution = m_signature[k][level] * share;
                next[k] = level == 0 ? contribution : partial[k] + contribution;
            }
            m_shares[level] = share;
            descend(level + 1, budget - share, next);
        }
    }

    /// The innermost loop: the next-to-last share runs, the last one is what is left.
    void finish(float budget, const std::array<float, kIsotopeColumns>& partial) {
        const int second = m_sources - 2;
        const int last = m_sources - 1;
        for (std::size_t i = 0; i < m_shareValues.size() && m_shareValues[i] <= budget; ++i) {
            ++m_steps;
            const float share = m_shareValues[i];
            const float rest = budget - share;
            double distance = 0.0;
            for (int k = 0; k < m_isotopes && distance < m_result.distance; ++k) {
                float predicted = partial[k];
                predicted += m_signature[k][second] * share;
                predicted += m_signature[k][last] * rest;
                const double scaled =
                    std::trunc(m_scale * std::fabs(static_cast<double>(predicted) - m_mixture[k]));
                distance = std::max(distance, scaled);
            }
            if (distance < m_result.distance) {
                m_result.distance = distance;
                m_result.shares = m_shares;
                m_result.shares[second] = share;
                m_result.shares[last] = rest;
            }
        }
    }

    const ApproachLimits& m_limits;
    int m_sources;
    int m_isotopes;
    double m_scale;
    float m_signature[kIsotopeColumns][kSourceRows]{};
    double m_mixture[kIsotopeColumns]{};
    float m_lowest[kSourceRows][kIsotopeColumns]{};
    float m_highest[kSourceRows][kIsotopeColumns]{};
    double m_margin[kIsotopeColumns]{};
    std::vector<float> m_shareValues;
    std::array<float, kSourceRows> m_shares{};
    std::uint64_t m_steps = 0;
    bool m_stopped = false;
    ClosestApproach m_result{kUnset, true, {}, 0};
};

} // namespace

ClosestApproach findClosestApproach(const CalculationInput& input, const ApproachLimits& limits) {
    return ApproachSearch(input, limits).run();
}

double scaledTolerance(const CalculationInput& input) {
    return std::trunc(static_cast<double>(input.decimalScale) * input.tolerance100);
}

namespace {

/// The whole number `digits` divided by 10^decimals, written with exactly `decimals` decimals.
std::string withDecimals(std::string digits, int decimals) {
    if (decimals <= 0) {
        return digits;
    }
    const auto places = static_cast<std::size_t>(decimals);
    if (digits.size() <= places) {
        digits.insert(0, places + 1 - digits.size(), '0');
    }
    digits.insert(digits.size() - places, ".");
    return digits;
}

/// Whole numbers held as doubles: every one up to 2^53, above that only the representable
/// ones (the text of n + 1 would read back as n).
constexpr double kExactWhole = 0x1p53;

double nextWhole(double n) {
    return n < kExactWhole ? n + 1.0 : std::nextafter(n, std::numeric_limits<double>::infinity());
}

double previousWhole(double n) {
    return n <= kExactWhole ? n - 1.0 : std::nextafter(n, 0.0);
}

/// toleranceText for a whole number held as a double, written out in full.
std::string toleranceTextOf(double n, int decimals) {
    char digits[400];
    std::snprintf(digits, sizeof digits, "%.0f", n);
    return withDecimals(digits, decimals);
}

} // namespace

std::string toleranceText(std::uint64_t n, int decimals) {
    return withDecimals(std::to_string(n), decimals);
}

ToleranceStep smallestToleranceFor(const Entry& entry, double distance) {
    const int decimals = deriveCalculationInput(entry).decimalPlaces;
    Entry probe = entry;
    const auto scaledToleranceOf = [&](double n) {
        probe.threshold = toleranceTextOf(n, decimals);
        return scaledTolerance(deriveCalculationInput(probe));
    };
    // With d decimals the tolerance n / 10^d gives a scaled tolerance of about 100 n (the scale is
    // 10^d and the tolerance is taken times 100); the rounding of the decimal value and of
    // the products can lower it by one (by a unit in the last place above 2^53), so start
    // below and step up. The steps are few; they are bounded all the same, for a distance
    // no tolerance reaches (infinite, which the entry checks keep from happening).
    const double estimate = std::ceil(distance / 100.0);
    double n =
        std::isfinite(estimate) ? std::max(0.0, estimate) : std::numeric_limits<float>::max();
    for (int i = 0; i < 2 && n > 0.0; ++i) {
        n = previousWhole(n);
    }
    for (int steps = 0; steps < 1000 && scaledToleranceOf(n) < distance; ++steps) {
        n = nextWhole(n);
    }
    ToleranceStep step;
    step.enough = toleranceTextOf(n, decimals);
    if (n > 0.0) {
        step.below = toleranceTextOf(previousWhole(n), decimals);
    }
    return step;
}

std::string largestDifferenceText(const Entry& entry, const std::array<float, kSourceRows>& shares,
                                  int sources, int isotopes) {
    __extension__ using Wide = __int128;
    // Shares as whole multiples of 10^-shareDecimals, values of 10^-valueDecimals; both are
    // exact while the scaled values stay within a double's 53 bits.
    const int shareDecimals = numberOfDecimals(entry.increment);
    int valueDecimals = 0;
    for (int k = 0; k < isotopes; ++k) {
        valueDecimals = std::max(valueDecimals, numberOfDecimals(entry.mixture[k]));
        for (int i = 0; i < sources; ++i) {
            valueDecimals = std::max(valueDecimals, numberOfDecimals(entry.col[k][i]));
        }
    }
    bool exact = true;
    const auto scaled = [&exact](double value, int decimals) {
        const double product = value * std::pow(10.0, decimals);
        if (!(std::fabs(product) <= 0x1p53)) {
            exact = false;
            return Wide{0};
        }
        return static_cast<Wide>(std::llround(product));
    };
    Wide largest = 0;
    for (int k = 0; k < isotopes; ++k) {
        Wide predicted = 0;
        for (int i = 0; i < sources; ++i) {
            predicted +=
                scaled(static_cast<double>(shares[static_cast<std::size_t>(i)]), shareDecimals) *
                scaled(toDouble(entry.col[k][i]).value_or(0.0), valueDecimals);
        }
        // Shares are in percent: the mixture is scaled by 100 more.
        const Wide mixture = scaled(toDouble(entry.mixture[k]).value_or(0.0), valueDecimals) *
                             scaled(100.0, shareDecimals);
        if (!exact) {
            return {};
        }
        const Wide difference = predicted > mixture ? predicted - mixture : mixture - predicted;
        largest = std::max(largest, difference);
    }
    int places = shareDecimals + valueDecimals + 2;
    for (; places > 6; --places) {
        largest = (largest + 9) / 10;
    }
    for (; places > 0 && largest % 10 == 0; --places) {
        largest /= 10;
    }
    return toleranceText(static_cast<std::uint64_t>(largest), places);
}

} // namespace fenlowick
