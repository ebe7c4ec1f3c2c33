// A check kept beside the benchmarks, run by hand: the posterior of a study's first group
// sampled by a long Markov chain (random-walk Metropolis over the proportions, the residual
// factors and, with source uncertainty, every source mean and variance), written here apart
// from the program's own model code, against the program's exact grid posterior.
//
//   fenlowick-posterior-mcmc SOURCES CONSUMERS DISCRIMINATION INCREMENT DRAWS [ITERATIONS]
//
// DRAWS 0 takes the sources as given (both sides); DRAWS > 0 lets the chain sample the
// sources' means and variances from their sampling distributions (the program weighs that
// many draws by their evidences). Prints each source's posterior mean by both methods.

#include "core/study/posterior.h"
#include "core/tables/studytables.h"

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using fenlowick::Study;

struct Chain {
    int k = 0;                  // sources
    int t = 0;                  // tracers
    std::vector<double> y;      // consumer by tracer
    int n = 0;                  // consumers
    std::vector<double> mean0;  // source by tracer, as the table gives them
    std::vector<double> sd0;    // source by tracer
    std::vector<int> samples;   // per source
    std::vector<double> shift;  // discrimination mean, source by tracer
    std::vector<double> shift2; // discrimination variance
    std::vector<double> conc;   // concentration, source by tracer (1 without)
    bool uncertain = false;
};

/// log density of the state: Dirichlet(1) on p, Uniform(0, 20) per residual factor, the
/// sources' sampling distributions, and the consumers' normal values.
double logDensity(const Chain& c, const std::vector<double>& p, const std::vector<double>& eps,
                  const std::vector<double>& mu, const std::vector<double>& var) {
    for (const double e : eps) {
        if (!(e > 0.0 && e < 20.0)) {
            return -INFINITY;
        }
    }
    double total = 0.0;
    if (c.uncertain) {
        for (int s = 0; s < c.k; ++s) {
            const int m = c.samples[static_cast<std::size_t>(s)];
            for (int j = 0; j < c.t; ++j) {
                const auto at = static_cast<std::size_t>(s * c.t + j);
                const double sd = c.sd0[at];
                const double d = mu[at] - c.mean0[at];
                total += -d * d * m / (2 * sd * sd);
                // var = sd^2 (m - 1) / X, X ~ chi-square(m): the density of var.
                const double x = sd * sd * (m - 1) / var[at];
                total += (m / 2.0 - 1.0) * std::log(x) - x / 2.0 + std::log(x / var[at]);
            }
        }
    }
    for (int j = 0; j < c.t; ++j) {
        double m = 0.0;
        double mass = 0.0;
        double w = 0.0;
        for (int s = 0; s < c.k; ++s) {
            const auto at = static_cast<std::size_t>(s * c.t + j);
            m += p[static_cast<std::size_t>(s)] * c.conc[at] * (mu[at] + c.shift[at]);
            mass += p[static_cast<std::size_t>(s)] * c.conc[at];
            w += p[static_cast<std::size_t>(s)] * p[static_cast<std::size_t>(s)] *
                 (var[at] + c.shift2[at]);
        }
        m /= mass;
        const double v = eps[static_cast<std::size_t>(j)] * w;
        for (int i = 0; i < c.n; ++i) {
            const double d = c.y[static_cast<std::size_t>(i * c.t + j)] - m;
            total += -0.5 * std::log(2 * M_PI * v) - d * d / (2 * v);
        }
    }
    return total;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr,
                     "usage: %s SOURCES CONSUMERS DISCRIMINATION INCREMENT DRAWS "
                     "[ITERATIONS]\n",
                     argv[0]);
        return 2;
    }
    const auto sources = fenlowick::CsvTable::read(argv[1]);
    const auto consumers = fenlowick::CsvTable::read(argv[2]);
    const auto discrimination = fenlowick::CsvTable::read(argv[3]);
    const auto study = fenlowick::readStudy(*sources, *consumers, &*discrimination);
    if (!study) {
        std::fprintf(stderr, "%s\n", study.error().message.c_str());
        return 1;
    }
    const int draws = std::stoi(argv[5]);
    const long iterations = argc > 6 ? std::stol(argv[6]) : 400000;
    // The chain: the first group (the consumers' first factor's first level), or all.
    Chain c;
    const auto& set = study->sourceSets.front();
    c.k = static_cast<int>(set.sources.size());
    c.t = static_cast<int>(study->tracers.size());
    c.uncertain = draws > 0;
    for (int s = 0; s < c.k; ++s) {
        c.samples.push_back(set.sources[static_cast<std::size_t>(s)].samples);
        for (int j = 0; j < c.t; ++j) {
            const auto& source = set.sources[static_cast<std::size_t>(s)];
            c.mean0.push_back(source.means[static_cast<std::size_t>(j)].toDouble());
            c.sd0.push_back(source.sds[static_cast<std::size_t>(j)].value_or(0.0));
            c.conc.push_back(source.concentrations[static_cast<std::size_t>(j)].value_or(1.0));
            const auto& d = set.discrimination[static_cast<std::size_t>(s)];
            c.shift.push_back(d.means[static_cast<std::size_t>(j)].toDouble());
            const double tau = d.sds[static_cast<std::size_t>(j)].value_or(0.0);
            c.shift2.push_back(tau * tau);
        }
    }
    const std::string level = study->consumers.front().levels.empty()
                                  ? std::string()
                                  : study->consumers.front().levels.front();
    for (const auto& consumer : study->consumers) {
        if (consumer.levels.empty() || consumer.levels.front() == level) {
            c.y.insert(c.y.end(), consumer.numbers.begin(), consumer.numbers.end());
            ++c.n;
        }
    }
    std::vector<double> p(static_cast<std::size_t>(c.k), 1.0 / c.k);
    std::vector<double> eps(static_cast<std::size_t>(c.t), 1.0);
    std::vector<double> mu = c.mean0;
    std::vector<double> var;
    for (const double sd : c.sd0) {
        var.push_back(sd * sd);
    }
    std::mt19937_64 random(20261207);
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> uniform;
    double current = logDensity(c, p, eps, mu, var);
    double stepP = 0.3;
    double stepE = 0.3;
    double stepS = 0.1;
    std::vector<double> sums(static_cast<std::size_t>(c.k), 0.0);
    long kept = 0;
    long acceptedP = 0;
    const auto accept = [&](double proposed, double logJacobian) {
        return std::log(uniform(random)) < proposed - current + logJacobian;
    };
    for (long it = 0; it < iterations; ++it) {
        // The proportions in additive log-ratio coordinates (Jacobian: the product of the p).
        std::vector<double> q = p;
        double total = 1.0;
        for (int s = 0; s + 1 < c.k; ++s) {
            const auto ss = static_cast<std::size_t>(s);
            q[ss] = p[ss] / p.back() * std::exp(stepP * normal(random));
            total += q[ss];
        }
        q.back() = 1.0;
        double jacobian = 0.0;
        for (std::size_t s = 0; s < q.size(); ++s) {
            q[s] /= total;
            jacobian += std::log(q[s]) - std::log(p[s]);
        }
        const double withQ = logDensity(c, q, eps, mu, var);
        if (accept(withQ, jacobian)) {
            p = q;
            current = withQ;
            ++acceptedP;
        }
        for (std::size_t j = 0; j < eps.size(); ++j) {
            std::vector<double> e = eps;
            e[j] *= std::exp(stepE * normal(random));
            const double withE = logDensity(c, p, e, mu, var);
            if (accept(withE, std::log(e[j] / eps[j]))) {
                eps = e;
                current = withE;
            }
        }
        for (std::size_t at = 0; c.uncertain && at < mu.size(); ++at) {
            std::vector<double> m = mu;
            m[at] += stepS * c.sd0[at] * normal(random);
            const double withM = logDensity(c, p, eps, m, var);
            if (accept(withM, 0.0)) {
                mu = m;
                current = withM;
            }
            std::vector<double> v = var;
            v[at] *= std::exp(3 * stepS * normal(random));
            const double withV = logDensity(c, p, eps, mu, v);
            if (accept(withV, std::log(v[at] / var[at]))) {
                var = v;
                current = withV;
            }
        }
        if (it >= iterations / 5) {
            for (std::size_t s = 0; s < p.size(); ++s) {
                sums[s] += p[s];
            }
            ++kept;
        }
    }
    fenlowick::PosteriorSettings settings;
    settings.options.increment = argv[4];
    settings.options.posterior = true;
    settings.options.draws = draws;
    settings.options.seed = 7;
    if (!study->factors.empty()) {
        settings.byFactors = {0};
    }
    const auto outcome = fenlowick::runPosterior(*study, settings);
    if (!outcome) {
        std::fprintf(stderr, "%s\n", outcome.error().message.c_str());
        return 1;
    }
    const auto& group = outcome->groups.front();
    std::printf("group %s: %d consumers; chain of %ld iterations (proportions accepted %.0f %%)\n",
                level.c_str(), c.n, iterations,
                100.0 * static_cast<double>(acceptedP) / static_cast<double>(iterations));
    std::printf("%-24s %10s %10s %10s\n", "source", "chain", "grid", "difference");
    double worst = 0.0;
    for (int s = 0; s < c.k; ++s) {
        double mean = 0.0;
        for (std::size_t b = 0; b < group.marginals[static_cast<std::size_t>(s)].size(); ++b) {
            mean += group.marginals[static_cast<std::size_t>(s)][b] * static_cast<double>(b) /
                    group.steps;
        }
        const double chain = sums[static_cast<std::size_t>(s)] / static_cast<double>(kept);
        worst = std::max(worst, std::fabs(chain - mean));
        std::printf("%-24s %10.4f %10.4f %10.4f\n",
                    group.sources[static_cast<std::size_t>(s)].c_str(), chain, mean, chain - mean);
    }
    std::printf("largest difference %.4f; effective draws %.1f of %d\n", worst,
                group.effectiveDraws, group.draws);
    return 0;
}
