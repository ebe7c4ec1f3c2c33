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
    choleskyFactor(within, model.tracers);
    for (std::size_t j = 0; j < t; ++j) {
        sample.logDetWithin += 2.0 * std::log(within[j * t + j]);
    }
    return sample;
}

} // namespace

double logResidualIntegral(int n, double a, double sumLogW, const LogUpperGammaOfOrder& gamma) {
    a = std::max(a, std::numeric_limits<double>::min());
    return logResidualIntegralOf(n, std::log(a), gamma(a / kResidualTop), sumLogW);
}

double logResidualIntegralOf(int n, double logA, double logGamma, double sumLogW) {
    const double half = n / 2.0;
    return -half * kLogTwoPi - 0.5 * sumLogW - std::log(kResidualTop) + (1.0 - half) * logA +
           logGamma;
}

double logTracerLikelihood(const GroupModel& model, int n, double a, double sumLogW) {
    if (!model.residualFactor) {
        return -n / 2.0 * kLogTwoPi - 0.5 * sumLogW - a;
    }
    return logResidualIntegral(n, a, sumLogW,
                               n == model.all.consumers ? model.gammas->all : model.gammas->allBut);
}

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

bool choleskyFactor(std::vector<double>& a, int n) {
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
        total += logTracerLikelihood(model, n, a, sumLogW);
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
        total += logTracerLikelihood(model, n - 1, a, sumLogW);
    }
    return total;
}

} // namespace fenlowick
