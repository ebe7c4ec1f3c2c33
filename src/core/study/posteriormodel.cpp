#include "core/study/posteriormodel.h"

#include "core/base/csvtable.h"
#include "core/base/gammafunctions.h"
#include "core/base/numerictext.h"
#include "core/base/textencoding.h"
#include "core/study/drawrandom.h"
#include "core/tables/labelledtable.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numbers>

namespace fenlowick {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
/// The residual factor's Uniform(0, kResidualTop) prior.
constexpr double kResidualTop = 20.0;
/// The Gamma(shape, rate) prior of one tracer's residual precision.
constexpr double kPrecisionShape = 0.001;
constexpr double kPrecisionRate = 0.001;
const double kLogTwoPi = std::log(2.0 * std::numbers::pi);

Error refusal(std::string message) {
    return Error{Error::Kind::Refused, std::move(message)};
}

/// The Dirichlet weights of the sources, in `labels`' order; all 1 without a prior.
Expected<std::vector<double>> priorWeights(const std::string& prior,
                                           const std::vector<std::string>& labels) {
    std::vector<double> weights(labels.size(), 1.0);
    if (prior.empty()) {
        return weights;
    }
    std::vector<bool> named(labels.size(), false);
    for (const std::string_view part : splitText(prior, ',')) {
        const std::size_t equals = part.rfind('=');
        const std::string label(trimBlanks(part.substr(0, std::min(equals, part.size()))));
        const auto it = std::find(labels.begin(), labels.end(), label);
        if (equals == std::string_view::npos || it == labels.end()) {
            return refusal("The prior \"" + prior + "\": \"" + std::string(part) +
                           "\" is not a source and its weight (Source=weight); the sources are " +
                           commaList(labels) + ".");
        }
        const auto index = static_cast<std::size_t>(it - labels.begin());
        const std::optional<double> weight =
            toDouble(std::string(trimBlanks(part.substr(equals + 1))));
        if (named[index]) {
            return refusal("The prior \"" + prior + "\" names " + label + " twice.");
        }
        if (!weight || !std::isfinite(*weight) || *weight <= 0.0) {
            return refusal("The prior \"" + prior + "\": the weight of " + label +
                           " is not a number above 0.");
        }
        if (*weight < 1.0) {
            return refusal("The prior \"" + prior + "\": the weight of " + label +
                           " is below 1, which puts infinite density on the grid's edges "
                           "(where " +
                           label + " has no share); give weights of 1 or more.");
        }
        named[index] = true;
        weights[index] = *weight;
    }
    for (std::size_t k = 0; k < labels.size(); ++k) {
        if (!named[k]) {
            return refusal("The prior \"" + prior + "\" does not name " + labels[k] +
                           ": give every source's weight.");
        }
    }
    return weights;
}

/// log of the integral over the residual factor eps ~ U(0, 20) of the normal densities of
/// `n` values with variances eps w_i: -(n/2) log 2 pi - (1/2) sum log w_i - log 20 +
/// (1 - n/2) log a + log Gamma(n/2 - 1, a/20), a = sum (y_i - m_i)^2 / (2 w_i).
double logResidualIntegral(int n, double a, double sumLogW, const LogUpperGammaOfOrder& gamma) {
    const double half = n / 2.0;
    a = std::max(a, std::numeric_limits<double>::min());
    return -half * kLogTwoPi - 0.5 * sumLogW - std::log(kResidualTop) + (1.0 - half) * std::log(a) +
           gamma(a / kResidualTop);
}

/// The log marginal likelihood of `n` consumers' residuals under the residual structure:
/// for one tracer a Gamma precision prior, for more a Wishart(I, J + 1) precision prior;
/// `logDet` is log det(I + S) (for one tracer log(rate + S/2) with S the sum of squares).
double logResidualMarginal(int n, int tracers, double logDet) {
    if (tracers == 1) {
        return -n / 2.0 * kLogTwoPi + kPrecisionShape * std::log(kPrecisionRate) -
               std::lgamma(kPrecisionShape) + std::lgamma(kPrecisionShape + n / 2.0) -
               (kPrecisionShape + n / 2.0) * logDet;
    }
    const double nu = tracers + 1.0;
    return -n * tracers / 2.0 * std::log(std::numbers::pi) +
           logMultivariateGamma(tracers, (nu + n) / 2.0) - logMultivariateGamma(tracers, nu / 2.0) -
           (nu + n) / 2.0 * logDet;
}

/// The Cholesky factor of a symmetric positive definite matrix (row major, lower), or
/// false when it is not.
bool cholesky(std::vector<double>& a, int n) {
    for (int j = 0; j < n; ++j) {
        double d = a[static_cast<std::size_t>(j * n + j)];
        for (int k = 0; k < j; ++k) {
            d -= a[static_cast<std::size_t>(j * n + k)] * a[static_cast<std::size_t>(j * n + k)];
        }
        if (!(d > 0.0)) {
            return false;
        }
        d = std::sqrt(d);
        a[static_cast<std::size_t>(j * n + j)] = d;
        for (int i = j + 1; i < n; ++i) {
            double v = a[static_cast<std::size_t>(i * n + j)];
            for (int k = 0; k < j; ++k) {
                v -=
                    a[static_cast<std::size_t>(i * n + k)] * a[static_cast<std::size_t>(j * n + k)];
            }
            a[static_cast<std::size_t>(i * n + j)] = v / d;
        }
    }
    return true;
}

/// x' A^-1 x for A = L L' (the Cholesky factor in `l`): |L^-1 x|^2.
double inverseQuadratic(const std::vector<double>& l, int n, const std::vector<double>& x) {
    std::vector<double> z(static_cast<std::size_t>(n));
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        double v = x[static_cast<std::size_t>(i)];
        for (int k = 0; k < i; ++k) {
            v -= l[static_cast<std::size_t>(i * n + k)] * z[static_cast<std::size_t>(k)];
        }
        z[static_cast<std::size_t>(i)] = v / l[static_cast<std::size_t>(i * n + i)];
        sum += z[static_cast<std::size_t>(i)] * z[static_cast<std::size_t>(i)];
    }
    return sum;
}

/// The consumers of every set but `left` (-1 for none) as sums.
ConsumerSample sampleOf(const GroupModel& model, int left) {
    const auto t = static_cast<std::size_t>(model.tracers);
    ConsumerSample sample;
    sample.sets.resize(model.sets.size());
    for (SetSample& set : sample.sets) {
        set.mean.assign(t, 0.0);
        set.scatter.assign(t * t, 0.0);
        set.smallest.assign(t, kInfinity);
        set.largest.assign(t, -kInfinity);
    }
    for (std::size_t i = 0; i < model.value.size(); ++i) {
        if (static_cast<int>(i) != left) {
            SetSample& set = sample.sets[static_cast<std::size_t>(model.setOf[i])];
            ++set.count;
            ++sample.consumers;
            for (std::size_t j = 0; j < t; ++j) {
                set.mean[j] += model.value[i][j];
                set.smallest[j] = std::min(set.smallest[j], model.value[i][j]);
                set.largest[j] = std::max(set.largest[j], model.value[i][j]);
            }
        }
    }
    for (SetSample& set : sample.sets) {
        for (double& m : set.mean) {
            m = set.count > 0 ? m / set.count : 0.0;
        }
    }
    for (std::size_t i = 0; i < model.value.size(); ++i) {
        if (static_cast<int>(i) != left) {
            SetSample& set = sample.sets[static_cast<std::size_t>(model.setOf[i])];
            for (std::size_t j = 0; j < t; ++j) {
                for (std::size_t k = 0; k < t; ++k) {
                    set.scatter[j * t + k] +=
                        (model.value[i][j] - set.mean[j]) * (model.value[i][k] - set.mean[k]);
                }
            }
        }
    }
    if (model.error != PosteriorError::Residual) {
        return sample; // only the residual structure's bound uses the within-set scatter
    }
    std::vector<double> within(t * t, 0.0);
    for (std::size_t j = 0; j < t; ++j) {
        within[j * t + j] = 1.0;
    }
    for (const SetSample& set : sample.sets) {
        for (std::size_t e = 0; e < t * t; ++e) {
            within[e] += set.scatter[e];
        }
    }
    for (std::size_t j = 0; j < t; ++j) {
        sample.traceWithin += within[j * t + j];
    }
    cholesky(within, model.tracers);
    for (std::size_t j = 0; j < t; ++j) {
        sample.logDetWithin += 2.0 * std::log(within[j * t + j]);
    }
    return sample;
}

} // namespace

std::string posteriorGroupName(const std::vector<std::string>& levels) {
    return levels.empty() ? std::string("the study") : "the group " + commaList(levels);
}

Expected<GroupModel> buildGroupModel(const Study& study, const std::vector<std::size_t>& consumers,
                                     const std::vector<std::string>& levels,
                                     const std::vector<std::string>& sources,
                                     const StudyOptions& options, PosteriorError error, int steps) {
    GroupModel model;
    model.sources = static_cast<int>(sources.size());
    model.tracers = static_cast<int>(study.tracers.size());
    model.steps = steps;
    model.error = error;
    model.increment = *toFloat(options.increment);
    const bool byConcentration = options.concentrations && study.hasConcentrations;
    std::map<int, int> localSet;
    for (const std::size_t c : consumers) {
        const StudyConsumer& consumer = study.consumers[c];
        auto [it, added] =
            localSet.emplace(consumer.sourceSet, static_cast<int>(model.sets.size()));
        if (added) {
            const StudySourceSet& set =
                study.sourceSets[static_cast<std::size_t>(consumer.sourceSet)];
            SetTerms terms;
            terms.studySet = consumer.sourceSet;
            for (const std::string& label : sources) {
                const auto source =
                    std::find_if(set.sources.begin(), set.sources.end(),
                                 [&](const StudySource& x) { return x.label == label; });
                terms.samples.push_back(source->samples);
                if (options.draws > 0 && source->samples < 2) {
                    return refusal("The posterior's draws (--draws) need the number of samples "
                                   "(an n column of 2 or more, or raw rows) of every source: " +
                                   label + " has " +
                                   (source->samples == 0 ? std::string("none")
                                                         : std::to_string(source->samples)) +
                                   ".");
                }
            }
            for (std::size_t j = 0; j < study.tracers.size(); ++j) {
                for (auto* row :
                     {&terms.concentration, &terms.weightedMean, &terms.variance, &terms.sourceMean,
                      &terms.sourceSd, &terms.shift, &terms.shiftVariance}) {
                    row->emplace_back();
                }
                for (const std::string& label : sources) {
                    const auto s = static_cast<std::size_t>(
                        std::find_if(set.sources.begin(), set.sources.end(),
                                     [&](const StudySource& x) { return x.label == label; }) -
                        set.sources.begin());
                    const StudySource& source = set.sources[s];
                    double mean = source.means[j].toDouble();
                    double variance = 0.0;
                    const std::optional<double> sd = source.sds[j];
                    if ((error != PosteriorError::Residual || options.draws > 0) && !sd) {
                        return refusal("The posterior needs the SD of every source: " +
                                       source.label + " has none for " + study.tracers[j] + ".");
                    }
                    variance += sd ? *sd * *sd : 0.0;
                    terms.sourceMean.back().push_back(mean);
                    terms.sourceSd.back().push_back(sd.value_or(0.0));
                    terms.shift.back().push_back(0.0);
                    terms.shiftVariance.back().push_back(0.0);
                    if (!set.discrimination.empty()) {
                        const StudyDiscrimination& d = set.discrimination[s];
                        mean += d.means[j].toDouble();
                        terms.shift.back().back() = d.means[j].toDouble();
                        if (error != PosteriorError::Residual && !d.sds[j]) {
                            return refusal("The posterior needs the SD of every discrimination: " +
                                           source.label + " has none for " + study.tracers[j] +
                                           ".");
                        }
                        variance += d.sds[j] ? *d.sds[j] * *d.sds[j] : 0.0;
                        terms.shiftVariance.back().back() = d.sds[j] ? *d.sds[j] * *d.sds[j] : 0.0;
                    }
                    const double conc =
                        byConcentration ? source.concentrations[j].value_or(1.0) : 1.0;
                    terms.concentration.back().push_back(conc);
                    terms.weightedMean.back().push_back(conc * mean);
                    terms.variance.back().push_back(variance);
                }
            }
            model.sets.push_back(std::move(terms));
        }
        model.setOf.push_back(it->second);
        model.value.push_back(consumer.numbers);
    }
    Expected<std::vector<double>> weights = priorWeights(options.prior, sources);
    if (!weights) {
        return weights.error();
    }
    model.priorWeight = std::move(*weights);
    Expected<std::vector<ShareLimit>> limits = parseShareLimits(options.limits, sources);
    if (!limits) {
        return refusal("The sources of " + posteriorGroupName(levels) + ": " +
                       limits.error().message);
    }
    model.limits = std::move(*limits);
    if (auto message = unreachableLimitsMessage(model.limits, model.sources, model.increment)) {
        return refusal("The sources of " + posteriorGroupName(levels) + ": " + *message);
    }
    model.residualFactor = error == PosteriorError::Both && consumers.size() > 1;
    model.all = sampleOf(model, -1);
    for (std::size_t i = 0; i < consumers.size() && consumers.size() > 1; ++i) {
        model.allBut.push_back(sampleOf(model, static_cast<int>(i)));
    }
    return model;
}

void lineRange(const GroupModel& model, const std::vector<double>& numerator,
               const std::vector<double>& denominator, const std::vector<double>& variance,
               double low, double high, double rest, PredictionRange& range) {
    const auto first = static_cast<std::size_t>(model.sources - 2);
    const auto second = first + 1;
    const auto t = static_cast<std::size_t>(model.tracers);
    const double ends[2][2] = {{low, rest - low}, {high, rest - high}};
    for (std::size_t s = 0; s < model.sets.size(); ++s) {
        const SetTerms& set = model.sets[s];
        for (std::size_t j = 0; j < t; ++j) {
            const std::size_t at = s * t + j;
            const double v1 = set.variance[j][first];
            const double v2 = set.variance[j][second];
            double mean[2];
            double w[2];
            for (int e = 0; e < 2; ++e) {
                const double p1 = ends[e][0];
                const double p2 = ends[e][1];
                mean[e] = (numerator[at] + p1 * set.weightedMean[j][first] +
                           p2 * set.weightedMean[j][second]) /
                          (denominator[at] + p1 * set.concentration[j][first] +
                           p2 * set.concentration[j][second]);
                w[e] = variance[at] + p1 * p1 * v1 + p2 * p2 * v2;
            }
            double lowest = std::min(w[0], w[1]);
            if (v1 + v2 > 0.0) {
                const double p1 = std::clamp(rest * v2 / (v1 + v2), low, high);
                lowest =
                    std::min(lowest, variance[at] + p1 * p1 * v1 + (rest - p1) * (rest - p1) * v2);
            }
            range.low[at] = std::min(mean[0], mean[1]);
            range.high[at] = std::max(mean[0], mean[1]);
            range.low[at] -= 1e-12 * std::fabs(range.low[at]);
            range.high[at] += 1e-12 * std::fabs(range.high[at]);
            range.varianceLow[at] = lowest * (1.0 - 1e-12);
            range.varianceHigh[at] = std::max(w[0], w[1]) * (1.0 + 1e-12);
        }
    }
}

void addResidualGammas(GroupModel& model) {
    if (model.residualFactor && !model.gammas) {
        const double n = model.all.consumers;
        model.gammas = std::make_shared<const ResidualGammas>(ResidualGammas{
            LogUpperGammaOfOrder(n / 2.0 - 1.0), LogUpperGammaOfOrder((n - 1.0) / 2.0 - 1.0),
            LogUpperGammaOfOrder(n / 2.0 - 2.0), LogUpperGammaOfOrder(n / 2.0 - 3.0),
            RegularizedUpperGammaOfOrder((n - 1.0) / 2.0 - 1.0)});
    }
}

GroupModel drawnGroupModel(const GroupModel& model, std::uint64_t seed, int draw) {
    // The draws' numbers in a stream of their own, apart from those of the exact runs' draws.
    constexpr std::uint64_t kPosteriorStream = 0xFFFFFFFF00000000u;
    GroupModel drawn = model;
    const auto t = static_cast<std::size_t>(model.tracers);
    for (SetTerms& set : drawn.sets) {
        const std::uint64_t stream = kPosteriorStream + static_cast<std::uint64_t>(set.studySet);
        for (std::size_t k = 0; k < set.samples.size(); ++k) {
            const int n = set.samples[k];
            for (std::size_t j = 0; j < t; ++j) {
                const std::uint64_t base = (k * t + j) << 32;
                const auto d = static_cast<std::uint64_t>(draw);
                const double sd = set.sourceSd[j][k];
                const double mean = set.sourceMean[j][k] +
                                    sd / std::sqrt(n) * standardNormal(seed, stream, d, base);
                double chiSquare = 0.0;
                for (int m = 1; m <= n; ++m) {
                    const double z =
                        standardNormal(seed, stream, d, base + static_cast<std::uint64_t>(m));
                    chiSquare += z * z;
                }
                set.weightedMean[j][k] = set.concentration[j][k] * (mean + set.shift[j][k]);
                set.variance[j][k] = sd * sd * (n - 1) / chiSquare + set.shiftVariance[j][k];
            }
        }
    }
    return drawn;
}

double logLikelihoodBound(const GroupModel& model, const ConsumerSample& sample,
                          const PredictionRange& range) {
    const auto t = static_cast<std::size_t>(model.tracers);
    const int n = sample.consumers;
    // Per set and tracer, how far the consumers' mean lies outside the predicted range.
    const auto distance = [&](std::size_t s, std::size_t j) {
        const double mean = sample.sets[s].mean[j];
        const std::size_t at = s * t + j;
        return std::max({0.0, range.low[at] - mean, mean - range.high[at]});
    };
    if (model.error == PosteriorError::Residual) {
        double outside = 0.0;
        for (std::size_t s = 0; s < sample.sets.size(); ++s) {
            for (std::size_t j = 0; j < t; ++j) {
                const double d = distance(s, j);
                outside += sample.sets[s].count * d * d;
            }
        }
        if (t == 1) {
            double sum = outside;
            for (const SetSample& set : sample.sets) {
                sum += set.scatter[0];
            }
            return logResidualMarginal(n, 1, std::log(kPrecisionRate + sum / 2.0));
        }
        // det(A + D) >= det(A) (1 + tr(D) / tr(A)) for positive semidefinite D and A.
        return logResidualMarginal(n, model.tracers,
                                   sample.logDetWithin + std::log1p(outside / sample.traceWithin));
    }
    double total = 0.0;
    for (std::size_t j = 0; j < t; ++j) {
        double a = 0.0;
        double sumLogW = 0.0;
        for (std::size_t s = 0; s < sample.sets.size(); ++s) {
            const SetSample& set = sample.sets[s];
            if (set.count == 0) {
                continue;
            }
            if (!(range.varianceHigh[s * t + j] > 0.0)) {
                return -kInfinity;
            }
            const double d = distance(s, j);
            a += (set.scatter[j * t + j] + set.count * d * d) /
                 (2.0 * range.varianceHigh[s * t + j]);
            sumLogW += set.count * std::log(range.varianceLow[s * t + j]);
        }
        total += model.residualFactor
                     ? logResidualIntegral(n, a, sumLogW,
                                           n == model.all.consumers ? model.gammas->all
                                                                    : model.gammas->allBut)
                     : -n / 2.0 * kLogTwoPi - 0.5 * sumLogW - a;
    }
    return total;
}

double allButLikelihoodBound(const GroupModel& model, const PredictionRange& range) {
    const auto t = static_cast<std::size_t>(model.tracers);
    const int n = model.all.consumers;
    double total = 0.0;
    for (std::size_t j = 0; j < t; ++j) {
        double a = 0.0;
        double largestShare = 0.0;
        double sumLogW = 0.0;
        double largestLogW = -kInfinity;
        for (std::size_t s = 0; s < model.sets.size(); ++s) {
            const SetSample& set = model.all.sets[s];
            const std::size_t at = s * t + j;
            if (!(range.varianceLow[at] > 0.0)) {
                return kInfinity;
            }
            const double mean = set.mean[j];
            const double d = std::max({0.0, range.low[at] - mean, mean - range.high[at]});
            a += (set.scatter[j * t + j] + set.count * d * d) / (2.0 * range.varianceHigh[at]);
            const double far =
                std::max(set.largest[j] - range.low[at], range.high[at] - set.smallest[j]);
            largestShare = std::max(largestShare, far * far / (2.0 * range.varianceLow[at]));
            sumLogW += set.count * std::log(range.varianceLow[at]);
            largestLogW = std::max(largestLogW, std::log(range.varianceHigh[at]));
        }
        a = std::max(0.0, a - largestShare);
        sumLogW -= largestLogW;
        total += model.residualFactor ? logResidualIntegral(n - 1, a, sumLogW, model.gammas->allBut)
                                      : -(n - 1) / 2.0 * kLogTwoPi - 0.5 * sumLogW - a;
    }
    return total;
}

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
            // As logResidualIntegral, keeping log a and the gamma function for what follows.
            const double half = n / 2.0;
            a = std::max(a, std::numeric_limits<double>::min());
            m_logA[j] = std::log(a);
            m_gammaAll[j] = m_model.gammas->all(a / kResidualTop);
            m_values.all += -half * kLogTwoPi - 0.5 * sumLogW - std::log(kResidualTop) +
                            (1.0 - half) * m_logA[j] + m_gammaAll[j];
        } else {
            m_values.all += -n / 2.0 * kLogTwoPi - 0.5 * sumLogW - a;
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
            const double sumLogW = m_sumLogW[j] - m_logW[s * t + j];
            sum += m_model.residualFactor
                       ? logResidualIntegral(n - 1, a, sumLogW, m_model.gammas->allBut)
                       : -(n - 1) / 2.0 * kLogTwoPi - 0.5 * sumLogW - a;
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
        double largestLogW = -kInfinity;
        for (std::size_t s = 0; s < m_model.sets.size(); ++s) {
            largestLogW = std::max(largestLogW, m_logW[s * t + j]);
        }
        const double a = std::max(0.0, m_a[j] - largestShare);
        const double sumLogW = m_sumLogW[j] - largestLogW;
        bound += m_model.residualFactor
                     ? logResidualIntegral(n - 1, a, sumLogW, m_model.gammas->allBut)
                     : -(n - 1) / 2.0 * kLogTwoPi - 0.5 * sumLogW - a;
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
        double largestLogW = -kInfinity;
        for (std::size_t s = 0; s < m_model.sets.size(); ++s) {
            largestLogW = std::max(largestLogW, m_logW[s * t + j]);
        }
        for (std::size_t s = 0; s < m_model.sets.size(); ++s) {
            m_setFactor[s] += 0.5 * (m_logW[s * t + j] - largestLogW);
        }
        base += -(n - 1) / 2.0 * kLogTwoPi - 0.5 * (m_sumLogW[j] - largestLogW) -
                std::log(kResidualTop) - m_order * m_logA[j] + m_logGammaOrder;
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
    cholesky(l, tracers);
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
