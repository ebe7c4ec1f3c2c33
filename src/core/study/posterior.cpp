#include "core/study/posterior.h"

#include "core/base/csvtable.h"
#include "core/base/gammafunctions.h"
#include "core/base/numerictext.h"
#include "core/base/textencoding.h"
#include "core/entry/mixingconstraints.h"
#include "core/tables/labelledtable.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numbers>
#include <thread>

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

/// The grid's steps: 100 / increment when that is a whole number.
std::optional<int> gridSteps(const std::string& incrementText) {
    const std::optional<float> increment = toFloat(incrementText);
    if (!increment || !(*increment >= 1.0f && *increment <= 100.0f)) {
        return std::nullopt;
    }
    const double steps = 100.0 / static_cast<double>(*increment);
    const double whole = std::round(steps);
    if (std::fabs(steps - whole) > 1e-6 * whole) {
        return std::nullopt;
    }
    return static_cast<int>(whole);
}

/// The consumers of each level of the grouping factors, in the order the levels appear.
std::vector<PosteriorGroup> groupsOf(const Study& study, const std::vector<int>& byFactors) {
    std::vector<PosteriorGroup> groups;
    std::map<std::vector<std::string>, std::size_t> groupOf;
    for (std::size_t c = 0; c < study.consumers.size(); ++c) {
        std::vector<std::string> levels;
        for (const int f : byFactors) {
            levels.push_back(study.consumers[c].levels[static_cast<std::size_t>(f)]);
        }
        auto [it, added] = groupOf.emplace(levels, groups.size());
        if (added) {
            groups.emplace_back().levels = levels;
        }
        groups[it->second].consumers.push_back(c);
    }
    return groups;
}

std::string groupName(const std::vector<std::string>& levels) {
    return levels.empty() ? std::string("the study") : "the group " + commaList(levels);
}

/// The sources of a group in the order of its first consumer's set, refused when another
/// consumer's set has other sources.
Expected<std::vector<std::string>> groupSources(const Study& study, const PosteriorGroup& group) {
    std::vector<std::string> labels;
    for (const std::size_t c : group.consumers) {
        const StudySourceSet& set =
            study.sourceSets[static_cast<std::size_t>(study.consumers[c].sourceSet)];
        std::vector<std::string> these;
        for (const StudySource& source : set.sources) {
            these.push_back(source.label);
        }
        if (labels.empty()) {
            labels = these;
            continue;
        }
        std::vector<std::string> a = labels;
        std::vector<std::string> b = these;
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        if (a != b) {
            return refusal("The consumers of " + groupName(group.levels) +
                           " have different sources (" + commaList(labels) + "; " +
                           commaList(these) +
                           "): a group's proportions are of one set of "
                           "sources. Group them by the factor that picks "
                           "the sources (--by).");
        }
    }
    return labels;
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

/// What the likelihood needs of one source set, per tracer and source (in the group's
/// order): the concentration c, c times the mean with discrimination, and the variance.
struct SetTerms {
    std::vector<std::vector<double>> concentration;
    std::vector<std::vector<double>> weightedMean;
    std::vector<std::vector<double>> variance;
};

/// One group's model: its sets, its consumers' values and what the prior and limits keep.
struct GroupModel {
    int sources = 0;
    int tracers = 0;
    int steps = 0;
    PosteriorError error = PosteriorError::Both;
    std::vector<SetTerms> sets;
    std::vector<int> setOf;                 ///< per consumer, an index into `sets`
    std::vector<std::vector<double>> value; ///< per consumer and tracer
    std::vector<double> priorWeight;        ///< Dirichlet weights
    std::vector<ShareLimit> limits;
    float increment = 1.0f;
};

Expected<GroupModel> buildModel(const Study& study, const PosteriorGroup& group,
                                const PosteriorSettings& settings, PosteriorError error,
                                int steps) {
    GroupModel model;
    model.sources = static_cast<int>(group.sources.size());
    model.tracers = static_cast<int>(study.tracers.size());
    model.steps = steps;
    model.error = error;
    model.increment = *toFloat(settings.options.increment);
    const bool byConcentration = settings.options.concentrations && study.hasConcentrations;
    std::map<int, int> localSet;
    for (const std::size_t c : group.consumers) {
        const StudyConsumer& consumer = study.consumers[c];
        auto [it, added] =
            localSet.emplace(consumer.sourceSet, static_cast<int>(model.sets.size()));
        if (added) {
            const StudySourceSet& set =
                study.sourceSets[static_cast<std::size_t>(consumer.sourceSet)];
            SetTerms terms;
            for (std::size_t j = 0; j < study.tracers.size(); ++j) {
                terms.concentration.emplace_back();
                terms.weightedMean.emplace_back();
                terms.variance.emplace_back();
                for (const std::string& label : group.sources) {
                    const auto s = static_cast<std::size_t>(
                        std::find_if(set.sources.begin(), set.sources.end(),
                                     [&](const StudySource& x) { return x.label == label; }) -
                        set.sources.begin());
                    const StudySource& source = set.sources[s];
                    double mean = source.means[j].toDouble();
                    double variance = 0.0;
                    const std::optional<double> sd = source.sds[j];
                    if (error != PosteriorError::Residual && !sd) {
                        return refusal("The posterior needs the SD of every source: " +
                                       source.label + " has none for " + study.tracers[j] + ".");
                    }
                    variance += sd ? *sd * *sd : 0.0;
                    if (!set.discrimination.empty()) {
                        const StudyDiscrimination& d = set.discrimination[s];
                        mean += d.means[j].toDouble();
                        if (error != PosteriorError::Residual && !d.sds[j]) {
                            return refusal("The posterior needs the SD of every discrimination: " +
                                           source.label + " has none for " + study.tracers[j] +
                                           ".");
                        }
                        variance += d.sds[j] ? *d.sds[j] * *d.sds[j] : 0.0;
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
    Expected<std::vector<double>> weights = priorWeights(settings.options.prior, group.sources);
    if (!weights) {
        return weights.error();
    }
    model.priorWeight = std::move(*weights);
    Expected<std::vector<ShareLimit>> limits =
        parseShareLimits(settings.options.limits, group.sources);
    if (!limits) {
        return refusal("The sources of " + groupName(group.levels) + ": " + limits.error().message);
    }
    model.limits = std::move(*limits);
    if (auto message = unreachableLimitsMessage(model.limits, model.sources, model.increment)) {
        return refusal("The sources of " + groupName(group.levels) + ": " + *message);
    }
    return model;
}

/// The log likelihood of one grid point: of all the group's consumers, of all but each one,
/// and the posterior moments of each tracer's residual term at the point.
struct PointValues {
    double all = 0.0;
    std::vector<double> allBut;           ///< per consumer
    std::vector<double> moment1, moment2; ///< per tracer
};

/// log of the integral over the residual factor eps ~ U(0, 20) of the normal densities of
/// `n` values with variances eps w_i: -(n/2) log 2 pi - (1/2) sum log w_i - log 20 +
/// (1 - n/2) log a + log Gamma(n/2 - 1, a/20), a = sum (y_i - m_i)^2 / (2 w_i).
double logResidualIntegral(int n, double a, double sumLogW) {
    const double half = n / 2.0;
    a = std::max(a, std::numeric_limits<double>::min());
    return -half * kLogTwoPi - 0.5 * sumLogW - std::log(kResidualTop) + (1.0 - half) * std::log(a) +
           logUpperGamma(half - 1.0, a / kResidualTop);
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

class PointLikelihood {
public:
    explicit PointLikelihood(const GroupModel& model)
        : m_model(model), m_consumers(static_cast<int>(model.value.size())),
          m_mean(model.sets.size(), std::vector<double>(static_cast<std::size_t>(model.tracers))),
          m_variance(m_mean), m_residual(static_cast<std::size_t>(m_consumers) *
                                         static_cast<std::size_t>(model.tracers)) {
        m_values.allBut.resize(static_cast<std::size_t>(m_consumers));
        m_values.moment1.resize(static_cast<std::size_t>(model.tracers));
        m_values.moment2.resize(static_cast<std::size_t>(model.tracers));
    }

    /// The values at proportions `p`; false where the likelihood is 0 (a variance of 0).
    bool evaluate(const std::vector<double>& p) {
        const int tracers = m_model.tracers;
        for (std::size_t s = 0; s < m_model.sets.size(); ++s) {
            const SetTerms& set = m_model.sets[s];
            for (int j = 0; j < tracers; ++j) {
                const auto jj = static_cast<std::size_t>(j);
                double numerator = 0.0;
                double denominator = 0.0;
                double variance = 0.0;
                for (int k = 0; k < m_model.sources; ++k) {
                    const auto kk = static_cast<std::size_t>(k);
                    numerator += p[kk] * set.weightedMean[jj][kk];
                    denominator += p[kk] * set.concentration[jj][kk];
                    variance += p[kk] * p[kk] * set.variance[jj][kk];
                }
                m_mean[s][jj] = numerator / denominator;
                m_variance[s][jj] = variance;
                if (m_model.error != PosteriorError::Residual && !(variance > 0.0)) {
                    return false;
                }
            }
        }
        for (int i = 0; i < m_consumers; ++i) {
            const auto s = static_cast<std::size_t>(m_model.setOf[static_cast<std::size_t>(i)]);
            for (int j = 0; j < tracers; ++j) {
                m_residual[static_cast<std::size_t>(i * tracers + j)] =
                    m_model.value[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] -
                    m_mean[s][static_cast<std::size_t>(j)];
            }
        }
        if (m_model.error == PosteriorError::Residual) {
            residualStructure();
        } else {
            varianceStructures();
        }
        return true;
    }

    const PointValues& values() const { return m_values; }

private:
    void varianceStructures() {
        const int n = m_consumers;
        const int tracers = m_model.tracers;
        // One consumer cannot inform a residual factor: it is 1, as under the process error.
        const bool residualFactor = m_model.error == PosteriorError::Both && n > 1;
        m_values.all = 0.0;
        std::fill(m_values.allBut.begin(), m_values.allBut.end(), 0.0);
        for (int j = 0; j < tracers; ++j) {
            double a = 0.0;
            double sumLogW = 0.0;
            for (int i = 0; i < n; ++i) {
                const auto s = static_cast<std::size_t>(m_model.setOf[static_cast<std::size_t>(i)]);
                const double w = m_variance[s][static_cast<std::size_t>(j)];
                const double d = m_residual[static_cast<std::size_t>(i * tracers + j)];
                a += d * d / (2.0 * w);
                sumLogW += std::log(w);
            }
            const auto jj = static_cast<std::size_t>(j);
            if (!residualFactor) {
                m_values.all += -n / 2.0 * kLogTwoPi - 0.5 * sumLogW - a;
                m_values.moment1[jj] = 1.0;
                m_values.moment2[jj] = 1.0;
            } else {
                const double x = std::max(a, std::numeric_limits<double>::min()) / kResidualTop;
                const double base = logUpperGamma(n / 2.0 - 1.0, x);
                m_values.all += logResidualIntegral(n, a, sumLogW);
                m_values.moment1[jj] =
                    std::exp(std::log(a) + logUpperGamma(n / 2.0 - 2.0, x) - base);
                m_values.moment2[jj] =
                    std::exp(2.0 * std::log(a) + logUpperGamma(n / 2.0 - 3.0, x) - base);
            }
            if (n < 2) {
                continue;
            }
            for (int i = 0; i < n; ++i) {
                const auto s = static_cast<std::size_t>(m_model.setOf[static_cast<std::size_t>(i)]);
                const double w = m_variance[s][jj];
                const double d = m_residual[static_cast<std::size_t>(i * tracers + j)];
                const double ai = a - d * d / (2.0 * w);
                const double logWi = sumLogW - std::log(w);
                m_values.allBut[static_cast<std::size_t>(i)] +=
                    residualFactor ? logResidualIntegral(n - 1, ai, logWi)
                                   : -(n - 1) / 2.0 * kLogTwoPi - 0.5 * logWi - ai;
            }
        }
    }

    void residualStructure() {
        const int n = m_consumers;
        const int tracers = m_model.tracers;
        const auto t = static_cast<std::size_t>(tracers);
        if (tracers == 1) {
            double sum = 0.0;
            for (int i = 0; i < n; ++i) {
                sum += m_residual[static_cast<std::size_t>(i)] *
                       m_residual[static_cast<std::size_t>(i)];
            }
            const double rate = kPrecisionRate + sum / 2.0;
            m_values.all = logResidualMarginal(n, 1, std::log(rate));
            const double shape = kPrecisionShape + n / 2.0;
            // The variance 1 / precision is inverse gamma(shape, rate).
            m_values.moment1[0] = shape > 1.0 ? rate / (shape - 1.0) : kInfinity;
            m_values.moment2[0] =
                shape > 2.0 ? rate * rate / ((shape - 1.0) * (shape - 2.0)) : kInfinity;
            for (int i = 0; i < n && n > 1; ++i) {
                const double d = m_residual[static_cast<std::size_t>(i)];
                m_values.allBut[static_cast<std::size_t>(i)] =
                    logResidualMarginal(n - 1, 1, std::log(rate - d * d / 2.0));
            }
            return;
        }
        std::vector<double> a(t * t, 0.0);
        for (std::size_t j = 0; j < t; ++j) {
            a[j * t + j] = 1.0;
        }
        for (int i = 0; i < n; ++i) {
            const double* d = &m_residual[static_cast<std::size_t>(i) * t];
            for (std::size_t j = 0; j < t; ++j) {
                for (std::size_t k = 0; k <= j; ++k) {
                    a[j * t + k] += d[j] * d[k];
                }
            }
        }
        for (std::size_t j = 0; j < t; ++j) {
            // The diagonal of I + S: the inverse Wishart's scale for each tracer's variance,
            // with n + J + 1 degrees of freedom: mean A_jj / n, variance 2 A_jj^2 / (n^2 (n - 2)).
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
        for (int i = 0; i < n && n > 1; ++i) {
            std::copy_n(&m_residual[static_cast<std::size_t>(i) * t], t, d.begin());
            // det(A - d d') = det(A) (1 - d' A^-1 d).
            const double lemma = 1.0 - inverseQuadratic(l, tracers, d);
            m_values.allBut[static_cast<std::size_t>(i)] =
                logResidualMarginal(n - 1, tracers, logDet + std::log(lemma));
        }
    }

    const GroupModel& m_model;
    int m_consumers;
    std::vector<std::vector<double>> m_mean;     ///< per set and tracer
    std::vector<std::vector<double>> m_variance; ///< per set and tracer
    std::vector<double> m_residual;              ///< per consumer and tracer
    PointValues m_values;
};

/// A sum of exp(v) over many v, kept as exp(reference) times a sum.
struct LogSum {
    double reference = -kInfinity;
    double sum = 0.0;

    void add(double v) {
        if (v == -kInfinity) {
            return;
        }
        if (v > reference) {
            sum = sum * std::exp(reference - v) + 1.0;
            reference = v;
        } else {
            sum += std::exp(v - reference);
        }
    }
    void add(const LogSum& other) {
        if (other.reference == -kInfinity) {
            return;
        }
        if (other.reference > reference) {
            sum = sum * std::exp(reference - other.reference) + other.sum;
            reference = other.reference;
        } else {
            sum += other.sum * std::exp(other.reference - reference);
        }
    }
    double log() const { return reference + std::log(sum); }
};

/// What a worker sums over its part of the grid: posterior masses relative to exp(reference).
struct GridSums {
    double reference = -kInfinity;
    std::vector<std::vector<double>> marginals;
    std::vector<std::vector<double>> pairs;
    std::vector<double> moment1, moment2;
    LogSum evidence;            ///< of prior weight times likelihood
    LogSum prior;               ///< of prior weight
    std::vector<LogSum> allBut; ///< per consumer

    GridSums(int sources, int steps, int tracers, int consumers)
        : marginals(static_cast<std::size_t>(sources),
                    std::vector<double>(static_cast<std::size_t>(steps + 1), 0.0)),
          pairs(static_cast<std::size_t>(sources * (sources - 1) / 2),
                std::vector<double>(static_cast<std::size_t>((steps + 1) * (steps + 1)), 0.0)),
          moment1(static_cast<std::size_t>(tracers), 0.0),
          moment2(static_cast<std::size_t>(tracers), 0.0),
          allBut(static_cast<std::size_t>(consumers)) {}

    /// Multiplies every mass by `factor`.
    void scale(double factor) {
        for (auto* rows : {&marginals, &pairs}) {
            for (auto& row : *rows) {
                for (double& v : row) {
                    v *= factor;
                }
            }
        }
        for (auto* row : {&moment1, &moment2}) {
            for (double& v : *row) {
                v *= factor;
            }
        }
    }

    /// The weight exp(v - reference) of a point of log posterior weight v, moving the
    /// reference up first when v lies far above it.
    double weightOf(double v) {
        if (reference == -kInfinity || v > reference + 200.0) {
            if (reference != -kInfinity) {
                scale(std::exp(reference - v));
            }
            reference = v;
        }
        return std::exp(v - reference);
    }

    void add(GridSums& other) {
        if (other.reference == -kInfinity) {
            return;
        }
        if (reference == -kInfinity || other.reference > reference) {
            if (reference != -kInfinity) {
                scale(std::exp(reference - other.reference));
            }
            reference = other.reference;
        }
        const double factor = std::exp(other.reference - reference);
        for (std::size_t s = 0; s < marginals.size(); ++s) {
            for (std::size_t b = 0; b < marginals[s].size(); ++b) {
                marginals[s][b] += factor * other.marginals[s][b];
            }
        }
        for (std::size_t q = 0; q < pairs.size(); ++q) {
            for (std::size_t b = 0; b < pairs[q].size(); ++b) {
                pairs[q][b] += factor * other.pairs[q][b];
            }
        }
        for (std::size_t j = 0; j < moment1.size(); ++j) {
            moment1[j] += factor * other.moment1[j];
            moment2[j] += factor * other.moment2[j];
        }
        evidence.add(other.evidence);
        prior.add(other.prior);
        for (std::size_t i = 0; i < allBut.size(); ++i) {
            allBut[i].add(other.allBut[i]);
        }
    }
};

/// True when the shares `levels` (of `steps`) meet every limit.
bool meetsLimits(const GroupModel& model, const std::vector<int>& levels) {
    const double slack = limitSlack(model.increment);
    for (const ShareLimit& limit : model.limits) {
        double share = 0.0;
        for (const int s : limit.sources) {
            share += levels[static_cast<std::size_t>(s)] * static_cast<double>(model.increment);
        }
        if ((limit.atLeast && share < *limit.atLeast - slack) ||
            (limit.atMost && share > *limit.atMost + slack)) {
            return false;
        }
    }
    return true;
}

/// Sums the grid points whose first source has a level in `firstLevels`.
void sumGridPart(const GroupModel& model, const std::vector<int>& firstLevels, GridSums& sums,
                 const std::atomic<bool>* cancel) {
    const int k = model.sources;
    const int steps = model.steps;
    PointLikelihood likelihood(model);
    std::vector<int> levels(static_cast<std::size_t>(k), 0);
    std::vector<double> p(static_cast<std::size_t>(k), 0.0);
    std::vector<double> logShare(static_cast<std::size_t>(steps + 1));
    for (int b = 0; b <= steps; ++b) {
        logShare[static_cast<std::size_t>(b)] = std::log(static_cast<double>(b) / steps);
    }
    for (const int first : firstLevels) {
        if (cancel != nullptr && cancel->load()) {
            return;
        }
        // The other sources' levels, from (steps - first, 0, ..., 0) on through every
        // composition of the rest.
        levels.assign(static_cast<std::size_t>(k), 0);
        levels[0] = first;
        if (k > 1) {
            levels[1] = steps - first;
        }
        while (true) {
            double logPrior = 0.0;
            for (int s = 0; s < k; ++s) {
                const auto ss = static_cast<std::size_t>(s);
                p[ss] = static_cast<double>(levels[ss]) / steps;
                if (model.priorWeight[ss] != 1.0) {
                    logPrior += (model.priorWeight[ss] - 1.0) *
                                logShare[static_cast<std::size_t>(levels[ss])];
                }
            }
            if (logPrior != -kInfinity && meetsLimits(model, levels)) {
                sums.prior.add(logPrior);
                if (likelihood.evaluate(p)) {
                    const PointValues& v = likelihood.values();
                    const double logWeight = logPrior + v.all;
                    sums.evidence.add(logWeight);
                    for (std::size_t i = 0; i < v.allBut.size(); ++i) {
                        sums.allBut[i].add(logPrior + v.allBut[i]);
                    }
                    const double w = sums.weightOf(logWeight);
                    std::size_t pair = 0;
                    for (int s = 0; s < k; ++s) {
                        const auto ls =
                            static_cast<std::size_t>(levels[static_cast<std::size_t>(s)]);
                        sums.marginals[static_cast<std::size_t>(s)][ls] += w;
                        for (int t = s + 1; t < k; ++t, ++pair) {
                            sums.pairs[pair][ls * static_cast<std::size_t>(steps + 1) +
                                             static_cast<std::size_t>(
                                                 levels[static_cast<std::size_t>(t)])] += w;
                        }
                    }
                    for (std::size_t j = 0; j < v.moment1.size(); ++j) {
                        sums.moment1[j] += w * v.moment1[j];
                        sums.moment2[j] += w * v.moment2[j];
                    }
                }
            }
            // The next composition of the rest over sources 1..k-1: move one level from the
            // last non-empty source before the last to its right neighbour, gathering the
            // last source's levels there too.
            int s = k - 2;
            while (s >= 1 && levels[static_cast<std::size_t>(s)] == 0) {
                --s;
            }
            if (s < 1) {
                break;
            }
            const int tail = levels[static_cast<std::size_t>(k - 1)];
            levels[static_cast<std::size_t>(k - 1)] = 0;
            --levels[static_cast<std::size_t>(s)];
            levels[static_cast<std::size_t>(s + 1)] = tail + 1;
        }
    }
}

Expected<PosteriorGroup> groupPosterior(const Study& study, PosteriorGroup group,
                                        const PosteriorSettings& settings, PosteriorError error,
                                        int steps) {
    Expected<GroupModel> built = buildModel(study, group, settings, error, steps);
    if (!built) {
        return built.error();
    }
    const GroupModel& model = *built;
    const int consumers = static_cast<int>(group.consumers.size());
    int threads = settings.threads > 0 ? settings.threads
                                       : static_cast<int>(std::thread::hardware_concurrency());
    threads = std::clamp(threads, 1, steps + 1);
    std::vector<GridSums> parts(static_cast<std::size_t>(threads),
                                GridSums(model.sources, steps, model.tracers, consumers));
    std::vector<std::vector<int>> levels(static_cast<std::size_t>(threads));
    for (int b = 0; b <= steps; ++b) {
        levels[static_cast<std::size_t>(b % threads)].push_back(b);
    }
    {
        std::vector<std::jthread> workers;
        for (int w = 1; w < threads; ++w) {
            workers.emplace_back([&, w] {
                sumGridPart(model, levels[static_cast<std::size_t>(w)],
                            parts[static_cast<std::size_t>(w)], settings.cancel);
            });
        }
        sumGridPart(model, levels[0], parts[0], settings.cancel);
    }
    // Always summed in the same order, so that the results do not depend on the threads'
    // timing (they do on their number only through the order of additions).
    GridSums& sums = parts[0];
    for (std::size_t w = 1; w < parts.size(); ++w) {
        sums.add(parts[w]);
    }
    if (sums.evidence.reference == -kInfinity || sums.prior.reference == -kInfinity) {
        return refusal("The posterior of " + groupName(group.levels) +
                       " is 0 at every point of the grid (a source with SDs of 0 at every "
                       "share the limits allow).");
    }
    double total = 0.0;
    for (const double v : sums.marginals[0]) {
        total += v;
    }
    group.steps = steps;
    group.marginals = sums.marginals;
    for (auto& row : group.marginals) {
        for (double& v : row) {
            v /= total;
        }
    }
    group.pairs = sums.pairs;
    for (auto& row : group.pairs) {
        for (double& v : row) {
            v /= total;
        }
    }
    for (int j = 0; j < model.tracers; ++j) {
        const double m1 = sums.moment1[static_cast<std::size_t>(j)] / total;
        const double m2 = sums.moment2[static_cast<std::size_t>(j)] / total;
        group.residualMean.push_back(std::isfinite(m1) ? std::optional<double>(m1) : std::nullopt);
        group.residualSd.push_back(
            std::isfinite(m2) && std::isfinite(m1)
                ? std::optional<double>(std::sqrt(std::max(0.0, m2 - m1 * m1)))
                : std::nullopt);
    }
    const double logPriorTotal = sums.prior.log();
    group.logEvidence = sums.evidence.log() - logPriorTotal;
    if (consumers > 1) {
        double elpd = 0.0;
        for (const LogSum& allBut : sums.allBut) {
            elpd += group.logEvidence - (allBut.log() - logPriorTotal);
        }
        group.elpdLoo = elpd;
    }
    return group;
}

} // namespace

std::optional<PosteriorError> posteriorErrorNamed(const std::string& word) {
    for (const PosteriorError error :
         {PosteriorError::Both, PosteriorError::Process, PosteriorError::Residual}) {
        if (word == posteriorErrorName(error)) {
            return error;
        }
    }
    return std::nullopt;
}

const char* posteriorErrorName(PosteriorError error) {
    switch (error) {
    case PosteriorError::Process:
        return "process";
    case PosteriorError::Residual:
        return "residual";
    case PosteriorError::Both:
        break;
    }
    return "both";
}

Status checkPosterior(const Study& study, const PosteriorSettings& settings) {
    const std::optional<int> steps = gridSteps(settings.options.increment);
    if (!steps) {
        return refusal("The increment \"" + settings.options.increment +
                       "\" does not divide 100: the posterior's grid needs shares in whole "
                       "steps from 0 to 100 % (1, 2, 2.5, 5, 10, ...).");
    }
    const std::optional<PosteriorError> error = posteriorErrorNamed(settings.options.error);
    if (!error) {
        return refusal("The error structure \"" + settings.options.error +
                       "\" is not both, process or residual.");
    }
    for (PosteriorGroup& group : groupsOf(study, settings.byFactors)) {
        Expected<std::vector<std::string>> sources = groupSources(study, group);
        if (!sources) {
            return sources.error();
        }
        group.sources = std::move(*sources);
        if (Expected<GroupModel> model = buildModel(study, group, settings, *error, *steps);
            !model) {
            return model.error();
        }
    }
    return ok();
}

Expected<PosteriorOutcome> runPosterior(const Study& study, const PosteriorSettings& settings) {
    if (Status checked = checkPosterior(study, settings); !checked) {
        return checked.error();
    }
    PosteriorOutcome outcome;
    outcome.error = *posteriorErrorNamed(settings.options.error);
    const int steps = *gridSteps(settings.options.increment);
    for (PosteriorGroup& group : groupsOf(study, settings.byFactors)) {
        group.sources = *groupSources(study, group);
        Expected<PosteriorGroup> result =
            groupPosterior(study, std::move(group), settings, outcome.error, steps);
        if (!result) {
            return result.error();
        }
        if (settings.cancel != nullptr && settings.cancel->load()) {
            outcome.cancelled = true;
            return outcome;
        }
        outcome.groups.push_back(std::move(*result));
    }
    return outcome;
}

} // namespace fenlowick
