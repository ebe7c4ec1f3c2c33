#include "core/study/pointlikelihood.h"

#include "core/base/gammafunctions.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace fenlowick {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

} // namespace

PointLikelihood::PointLikelihood(const GroupModel& model) : m_model(model) {
    const std::size_t cells = model.sets.size() * static_cast<std::size_t>(model.tracers);
    m_range.low.resize(cells);
    m_range.high.resize(cells);
    m_range.varianceLow.resize(cells);
    m_range.varianceHigh.resize(cells);
    m_values.allBut.resize(model.value.size());
    m_values.moment1.resize(static_cast<std::size_t>(model.tracers));
    m_values.moment2.resize(static_cast<std::size_t>(model.tracers));
    m_a.resize(static_cast<std::size_t>(model.tracers));
    m_logW.resize(cells);
    m_halfInverse.resize(cells);
    m_sumLogW.resize(static_cast<std::size_t>(model.tracers));
    m_logA.resize(static_cast<std::size_t>(model.tracers));
    m_gammaAll.resize(static_cast<std::size_t>(model.tracers));
    m_largestLogW.resize(static_cast<std::size_t>(model.tracers));
    // Tracer by tracer, so that the loops over the consumers run along memory.
    for (std::size_t j = 0; j < static_cast<std::size_t>(model.tracers); ++j) {
        for (const std::vector<double>& values : model.value) {
            m_value.push_back(values[j]);
        }
    }
    m_share.resize(m_value.size());
    m_complement.resize(m_value.size());
    m_product.resize(model.value.size());
    m_power.resize(model.value.size());
    m_setFactor.resize(model.sets.size());
    const int n = model.all.consumers;
    if (n >= 3) {
        m_order = (n - 1) / 2.0 - 1.0;
        m_wholeOrder = (n - 3) / 2;
        m_halfOrder = (n - 3) % 2 != 0;
        m_logGammaOrder = m_order > 0.0 ? std::lgamma(m_order) : 0.0;
        m_leastProduct = m_order > 0.0 ? std::exp(-std::log(1e100) / m_order) : 1.0;
    }
}

bool PointLikelihood::predict(const std::vector<double>& p) {
    const auto t = static_cast<std::size_t>(m_model.tracers);
    bool positive = true;
    for (std::size_t s = 0; s < m_model.sets.size(); ++s) {
        const SetTerms& set = m_model.sets[s];
        for (std::size_t j = 0; j < t; ++j) {
            double numerator = 0.0;
            double denominator = 0.0;
            double variance = 0.0;
            for (std::size_t k = 0; k < p.size(); ++k) {
                numerator += p[k] * set.weightedMean[j][k];
                denominator += p[k] * set.concentration[j][k];
                variance += p[k] * p[k] * set.variance[j][k];
            }
            const std::size_t at = s * t + j;
            m_range.low[at] = m_range.high[at] = numerator / denominator;
            m_range.varianceLow[at] = m_range.varianceHigh[at] = variance;
            positive = positive && variance > 0.0;
        }
    }
    return positive || m_model.error == PosteriorError::Residual;
}

const PointValues& PointLikelihood::evaluate(double logPrior, double momentFloor, AllButAs form,
                                             double allButFloor) {
    m_values.allButSkipped = false;
    m_values.allButBase = 0.0;
    if (m_model.error == PosteriorError::Residual) {
        residualStructure(!m_model.allBut.empty(), true);
        if (form == AllButAs::Ratios && !m_model.allBut.empty()) {
            logsToRatios();
        }
        return m_values;
    }
    varianceStructures(logPrior, momentFloor);
    if (m_model.allBut.empty()) {
        return m_values;
    }
    // Per set and tracer, once: 1 / (2 w); per consumer and tracer its share of a.
    const auto t = static_cast<std::size_t>(m_model.tracers);
    for (std::size_t at = 0; at < m_halfInverse.size(); ++at) {
        m_halfInverse[at] = 0.5 / m_range.varianceLow[at];
    }
    const std::size_t n = m_model.setOf.size();
    for (std::size_t j = 0; j < t; ++j) {
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t at = static_cast<std::size_t>(m_model.setOf[i]) * t + j;
            const double d = m_value[j * n + i] - m_range.low[at];
            m_share[j * n + i] = d * d * m_halfInverse[at];
        }
    }
    for (std::size_t j = 0; j < t; ++j) {
        m_largestLogW[j] = -kInfinity;
        for (std::size_t s = 0; s < m_model.sets.size(); ++s) {
            m_largestLogW[j] = std::max(m_largestLogW[j], m_logW[s * t + j]);
        }
    }
    if (form == AllButAs::Logs) {
        allButLogs();
    } else if (allButBelow(allButFloor - logPrior)) {
        m_values.allButSkipped = true;
    } else if (!allButRatios()) {
        allButLogs();
        logsToRatios();
    }
    return m_values;
}

void PointLikelihood::varianceStructures(double logPrior, double momentFloor) {
    const auto t = static_cast<std::size_t>(m_model.tracers);
    const int n = m_model.all.consumers;
    const bool factor = m_model.residualFactor;
    m_values.all = 0.0;
    for (std::size_t j = 0; j < t; ++j) {
        double a = 0.0;
        double sumLogW = 0.0;
        for (std::size_t s = 0; s < m_model.sets.size(); ++s) {
            const SetSample& set = m_model.all.sets[s];
            const double w = m_range.varianceLow[s * t + j];
            const double d = set.mean[j] - m_range.low[s * t + j];
            a += (set.scatter[j * t + j] + set.count * d * d) / (2.0 * w);
            m_logW[s * t + j] = std::log(w);
            sumLogW += set.count * m_logW[s * t + j];
        }
        m_a[j] = a;
        m_sumLogW[j] = sumLogW;
        if (factor) {
            // Keeping log a and the gamma function for what follows.
            a = std::max(a, std::numeric_limits<double>::min());
            m_logA[j] = std::log(a);
            m_gammaAll[j] = m_model.gammas->all(a / kResidualTop);
            m_values.all += logResidualIntegralOf(n, m_logA[j], m_gammaAll[j], sumLogW);
        } else {
            m_values.all += logTracerLikelihood(m_model, n, a, sumLogW);
        }
    }
    const bool moments = factor && logPrior + m_values.all >= momentFloor;
    const double order = n / 2.0 - 1.0;
    for (std::size_t j = 0; j < t; ++j) {
        if (!factor) {
            m_values.moment1[j] = m_values.moment2[j] = 1.0;
            continue;
        }
        if (!moments) {
            m_values.moment1[j] = m_values.moment2[j] = 0.0;
            continue;
        }
        // E[eps^k] = a^k Gamma(s - k, a/20) / Gamma(s, a/20), s = n/2 - 1.
        const double a = std::max(m_a[j], std::numeric_limits<double>::min());
        const double x = a / kResidualTop;
        const ResidualGammas& gammas = *m_model.gammas;
        const double base = m_gammaAll[j];
        if (order > 2.0 && x <= order + 1.0) {
            // Down from Gamma(s, x) by Gamma(s, x) = (s - 1) Gamma(s - 1, x) + x^(s-1) e^-x,
            // with r = x^(s-1) e^-x / Gamma(s, x) (no cancellation while x is below s + 1).
            const double r =
                std::exp((order - 1.0) * (m_logA[j] - std::log(kResidualTop)) - x - base);
            const double first = (1.0 - r) / (order - 1.0);
            m_values.moment1[j] = a * first;
            m_values.moment2[j] = a * a * (first - r / x) / (order - 2.0);
        } else {
            m_values.moment1[j] = std::exp(m_logA[j] + gammas.first(x) - base);
            m_values.moment2[j] = std::exp(2.0 * m_logA[j] + gammas.second(x) - base);
        }
    }
}

void PointLikelihood::allButLogs() {
    const auto t = static_cast<std::size_t>(m_model.tracers);
    const int n = m_model.all.consumers;
    for (std::size_t i = 0; i < m_model.setOf.size(); ++i) {
        const auto s = static_cast<std::size_t>(m_model.setOf[i]);
        double sum = 0.0;
        for (std::size_t j = 0; j < t; ++j) {
            const double a = std::max(0.0, m_a[j] - m_share[j * m_model.setOf.size() + i]);
            sum += logTracerLikelihood(m_model, n - 1, a, m_sumLogW[j] - m_logW[s * t + j]);
        }
        m_values.allBut[i] = sum;
    }
}

bool PointLikelihood::allButBelow(double floor) {
    if (floor == -kInfinity) {
        return false;
    }
    // Each likelihood of all but one falls as its a grows and as its sum of log w grows: at
    // most that of the largest share left out and of the largest w.
    const auto t = static_cast<std::size_t>(m_model.tracers);
    const int n = m_model.all.consumers;
    double bound = 0.0;
    for (std::size_t j = 0; j < t; ++j) {
        const std::size_t consumers = m_model.setOf.size();
        double largestShare = 0.0;
        for (std::size_t i = 0; i < consumers; ++i) {
            largestShare = std::max(largestShare, m_share[j * consumers + i]);
        }
        bound += logTracerLikelihood(m_model, n - 1, std::max(0.0, m_a[j] - largestShare),
                                     m_sumLogW[j] - m_largestLogW[j]);
    }
    // (A margin far above the tabled gamma function's error.)
    return bound + 1e-6 < floor;
}

bool PointLikelihood::allButRatios() {
    // With the residual factor, all but consumer i give per tracer
    //   -(n-1)/2 log 2 pi - (sum log w - log w_i)/2 - log 20 - s log a_i + log Gamma(s, a_i/20)
    // with s = (n-1)/2 - 1 and a_i = a c_i, c_i = 1 - (consumer i's share of a) / a. Apart
    // from what all consumers share, that is a power of the c_i and Gamma(s, a_i/20) /
    // Gamma(s) from a table, with no logarithm or exponential per consumer.
    if (!m_model.residualFactor || !(m_model.gammas->allButRegularized.top() > 0.0)) {
        return false;
    }
    const RegularizedUpperGammaOfOrder& regularized = m_model.gammas->allButRegularized;
    const auto t = static_cast<std::size_t>(m_model.tracers);
    const int n = m_model.all.consumers;
    double base = 0.0;
    std::fill(m_setFactor.begin(), m_setFactor.end(), 0.0);
    for (std::size_t j = 0; j < t; ++j) {
        if (!(m_a[j] >= std::numeric_limits<double>::min() &&
              m_a[j] / kResidualTop < regularized.top())) {
            return false;
        }
        for (std::size_t s = 0; s < m_model.sets.size(); ++s) {
            m_setFactor[s] += 0.5 * (m_logW[s * t + j] - m_largestLogW[j]);
        }
        // (1 - (n-1)/2 = -s.)
        base += logResidualIntegralOf(n - 1, m_logA[j], m_logGammaOrder,
                                      m_sumLogW[j] - m_largestLogW[j]);
    }
    for (double& f : m_setFactor) {
        f = std::exp(f);
    }
    // Per consumer the product of its c and of its gamma ratios, a tracer at a time (loops
    // along memory without branches); then the product's power -s by squaring, s a whole
    // number or a half.
    const std::size_t consumers = m_model.setOf.size();
    std::fill(m_product.begin(), m_product.end(), 1.0);
    std::fill(m_power.begin(), m_power.end(), 1.0);
    // (The checks in loops of their own, so that the others run in vector registers.)
    bool outside = false;
    for (std::size_t j = 0; j < t; ++j) {
        const double inverseA = 1.0 / m_a[j];
        const double x = m_a[j] / kResidualTop;
        const double* share = m_share.data() + j * consumers;
        double* c = m_complement.data() + j * consumers;
        for (std::size_t i = 0; i < consumers; ++i) {
            c[i] = 1.0 - share[i] * inverseA;
        }
        for (std::size_t i = 0; i < consumers; ++i) {
            outside = outside || !(c[i] > 0.0);
        }
        if (outside) {
            return false;
        }
        for (std::size_t i = 0; i < consumers; ++i) {
            m_product[i] *= c[i];
        }
        regularized.multiplyAlong(x, c, m_power.data(), consumers);
    }
    for (std::size_t i = 0; i < consumers; ++i) {
        outside = outside || !(m_product[i] >= m_leastProduct);
    }
    if (outside) {
        return false;
    }
    for (std::size_t i = 0; i < consumers; ++i) {
        m_product[i] = 1.0 / m_product[i];
    }
    if (m_halfOrder) {
        for (std::size_t i = 0; i < consumers; ++i) {
            m_power[i] *= std::sqrt(m_product[i]);
        }
    }
    for (int e = m_wholeOrder; e > 0; e >>= 1) {
        for (std::size_t i = 0; i < consumers; ++i) {
            if ((e & 1) != 0) {
                m_power[i] *= m_product[i];
            }
            m_product[i] *= m_product[i];
        }
    }
    for (std::size_t i = 0; i < consumers; ++i) {
        m_values.allBut[i] = m_power[i] * m_setFactor[static_cast<std::size_t>(m_model.setOf[i])];
    }
    m_values.allButBase = base;
    return true;
}

void PointLikelihood::logsToRatios() {
    double base = -kInfinity;
    for (const double v : m_values.allBut) {
        base = std::max(base, v);
    }
    if (!std::isfinite(base)) {
        base = 0.0;
    }
    for (double& v : m_values.allBut) {
        v = std::exp(v - base);
    }
    m_values.allButBase = base;
}

void PointLikelihood::residualStructure(bool leaveOneOut, bool moments) {
    const int n = m_model.all.consumers;
    const int tracers = m_model.tracers;
    const auto t = static_cast<std::size_t>(tracers);
    // A = I + S, S the residuals' scatter about the predictions: per set its scatter about
    // the consumers' mean plus count times the outer product of mean minus prediction.
    std::vector<double> a(t * t, 0.0);
    for (std::size_t j = 0; j < t; ++j) {
        a[j * t + j] = t == 1 ? 0.0 : 1.0;
    }
    for (std::size_t s = 0; s < m_model.sets.size(); ++s) {
        const SetSample& set = m_model.all.sets[s];
        for (std::size_t j = 0; j < t; ++j) {
            for (std::size_t k = 0; k < t; ++k) {
                a[j * t + k] +=
                    set.scatter[j * t + k] + set.count * (set.mean[j] - m_range.low[s * t + j]) *
                                                 (set.mean[k] - m_range.low[s * t + k]);
            }
        }
    }
    if (t == 1) {
        // One tracer: the variance 1 / precision is inverse gamma(shape, rate).
        const double rate = kPrecisionRate + a[0] / 2.0;
        const double shape = kPrecisionShape + n / 2.0;
        m_values.all = logResidualMarginal(n, 1, std::log(rate));
        m_values.moment1[0] = shape > 1.0 ? rate / (shape - 1.0) : kInfinity;
        m_values.moment2[0] =
            shape > 2.0 ? rate * rate / ((shape - 1.0) * (shape - 2.0)) : kInfinity;
        for (std::size_t i = 0; leaveOneOut && i < m_model.value.size(); ++i) {
            const auto s = static_cast<std::size_t>(m_model.setOf[i]);
            const double d = m_model.value[i][0] - m_range.low[s];
            m_values.allBut[i] = logResidualMarginal(n - 1, 1, std::log(rate - d * d / 2.0));
        }
        return;
    }
    for (std::size_t j = 0; moments && j < t; ++j) {
        // The inverse Wishart's variance of tracer j: mean A_jj / n and variance
        // 2 A_jj^2 / (n^2 (n - 2)).
        const double ajj = a[j * t + j];
        m_values.moment1[j] = ajj / n;
        m_values.moment2[j] =
            n > 2 ? 2.0 * ajj * ajj / (n * n * (n - 2.0)) + ajj * ajj / (n * n) : kInfinity;
    }
    std::vector<double> l = a;
    choleskyFactor(l, tracers);
    double logDet = 0.0;
    for (std::size_t j = 0; j < t; ++j) {
        logDet += 2.0 * std::log(l[j * t + j]);
    }
    m_values.all = logResidualMarginal(n, tracers, logDet);
    std::vector<double> d(t);
    for (std::size_t i = 0; leaveOneOut && i < m_model.value.size(); ++i) {
        const auto s = static_cast<std::size_t>(m_model.setOf[i]);
        for (std::size_t j = 0; j < t; ++j) {
            d[j] = m_model.value[i][j] - m_range.low[s * t + j];
        }
        // det(A - d d') = det(A) (1 - d' A^-1 d).
        m_values.allBut[i] = logResidualMarginal(
            n - 1, tracers, logDet + std::log(1.0 - inverseQuadratic(l, tracers, d)));
    }
}

} // namespace fenlowick
