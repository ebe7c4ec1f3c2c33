#include "core/study/posterior.h"
#include "core/study/posteriorgrid.h"
#include "core/study/posteriormodel.h"
#include "core/study/posteriorreport.h"
#include "core/study/studyrun.h"
#include "support/quadrature.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace fenlowick {
namespace {

Study studyOf(const std::string& sources, const std::string& consumers) {
    Expected<CsvTable> s = CsvTable::parse(sources, "sources.csv");
    Expected<CsvTable> c = CsvTable::parse(consumers, "consumers.csv");
    Expected<Study> study = readStudy(*s, *c, nullptr);
    EXPECT_TRUE(study) << (study ? "" : study.error().message);
    return *study;
}

PosteriorGroup onlyGroup(const Study& study, const StudyOptions& options) {
    PosteriorSettings settings{options, {}};
    settings.threads = 3;
    Expected<PosteriorOutcome> outcome = runPosterior(study, settings);
    EXPECT_TRUE(outcome) << (outcome ? "" : outcome.error().message);
    EXPECT_EQ(outcome->groups.size(), 1u);
    return outcome->groups.at(0);
}

StudyOptions posteriorOptions(const std::string& increment) {
    StudyOptions options;
    options.increment = increment;
    options.posterior = true;
    return options;
}

TEST(Posterior, TwoSourcesAgreeWithQuadratureOverTheResidualFactor) {
    // Two sources mixed by concentration, three consumers, the residual factor on
    // Uniform(0, 20). At each grid share p the likelihood is integrated over the factor by
    // Simpson's rule, here, instead of the closed form in incomplete gamma functions.
    const Study study = studyOf("Source,Meand13C,SDd13C,Concd13C\nA,-2,1.5,1\nB,10,2.5,3\n",
                                "d13C\n4.1\n6.3\n2.2\n");
    const std::vector<double> y = {4.1, 6.3, 2.2};
    const auto likelihood = [&](double p, int without) {
        const double m = (p * 1.0 * -2.0 + (1 - p) * 3.0 * 10.0) / (p * 1.0 + (1 - p) * 3.0);
        const double w = p * p * 1.5 * 1.5 + (1 - p) * (1 - p) * 2.5 * 2.5;
        const auto integrand = [&](double eps) {
            if (eps <= 0.0) {
                return 0.0;
            }
            double density = 1.0;
            for (int i = 0; i < 3; ++i) {
                if (i != without) {
                    const double v = eps * w;
                    density *= std::exp(-(y[i] - m) * (y[i] - m) / (2 * v)) /
                               std::sqrt(2 * std::numbers::pi * v);
                }
            }
            return density / 20.0;
        };
        return simpson(integrand, 0.0, 20.0, 200000);
    };
    const PosteriorGroup group = onlyGroup(study, posteriorOptions("2"));
    ASSERT_EQ(group.steps, 50);
    std::vector<double> mass(51);
    double evidence = 0.0;
    std::vector<double> allBut(3, 0.0);
    for (int b = 0; b <= 50; ++b) {
        const double p = b / 50.0;
        mass[static_cast<std::size_t>(b)] = likelihood(p, -1);
        evidence += mass[static_cast<std::size_t>(b)] / 51.0;
        for (int i = 0; i < 3; ++i) {
            allBut[static_cast<std::size_t>(i)] += likelihood(p, i) / 51.0;
        }
    }
    for (int b = 0; b <= 50; ++b) {
        EXPECT_NEAR(group.marginals[0][static_cast<std::size_t>(b)],
                    mass[static_cast<std::size_t>(b)] / (51.0 * evidence), 1e-9)
            << "share " << b;
        // The second source's share is the rest.
        EXPECT_NEAR(group.marginals[1][static_cast<std::size_t>(50 - b)],
                    group.marginals[0][static_cast<std::size_t>(b)], 1e-12);
    }
    EXPECT_NEAR(group.logEvidence, std::log(evidence), 1e-8);
    double elpd = 0.0;
    for (const double z : allBut) {
        elpd += std::log(evidence) - std::log(z);
    }
    ASSERT_TRUE(group.elpdLoo);
    EXPECT_NEAR(*group.elpdLoo, elpd, 1e-7);
}

TEST(Posterior, TinySdsAndOneConsumerConcentrateOnTheExactRunsFeasibleSet) {
    const std::string sources = "Source,Meand13C,SDd13C,Meand15N,SDd15N\n"
                                "A,0,0.002,0,0.002\nB,10,0.002,0,0.003\nC,0,0.001,10,0.002\n";
    const Study study = studyOf(sources, "d13C,d15N\n3.04,4.97\n");
    StudySettings exact;
    exact.options.increment = "1";
    exact.options.tolerance = "0.1";
    Expected<StudyOutcome> outcome = runStudy(study, exact);
    ASSERT_TRUE(outcome);
    ASSERT_GT(outcome->consumers[0].feasible, 0u);
    const PosteriorGroup group = onlyGroup(study, posteriorOptions("1"));
    for (std::size_t s = 0; s < 3; ++s) {
        double inside = 0.0;
        for (std::size_t b = 0; b <= 100; ++b) {
            if (outcome->consumers[0].exact[s][b] > 0) {
                inside += group.marginals[s][b];
            }
        }
        EXPECT_GT(inside, 0.999) << "source " << s;
    }
    // The one consumer has no residual factor: it is 1.
    EXPECT_FALSE(group.elpdLoo);
    EXPECT_DOUBLE_EQ(*group.residualMean[0], 1.0);
    EXPECT_DOUBLE_EQ(*group.residualSd[1], 0.0);
}

/// The Beta(a, b) quantile by integrating its density with Simpson's rule and bisection.
double betaQuantile(double a, double b, double level) {
    const double logNorm = std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b);
    const auto density = [&](double x) {
        return x <= 0.0 || x >= 1.0
                   ? 0.0
                   : std::exp(logNorm + (a - 1) * std::log(x) + (b - 1) * std::log1p(-x));
    };
    double lo = 0.0;
    double hi = 1.0;
    for (int i = 0; i < 40; ++i) {
        const double mid = (lo + hi) / 2;
        (simpson(density, 0.0, mid, 2000) < level ? lo : hi) = mid;
    }
    return lo;
}

TEST(Posterior, AnUninformativeLikelihoodGivesTheDirichletPriorsBetaMarginals) {
    // Every source with the same mean: the predicted mixture and the residual structure's
    // likelihood are the same at every grid point, so the posterior is the prior.
    const Study study = studyOf("Source,Meand13C\nA,5\nB,5\nC,5\n", "d13C\n4\n6.5\n");
    StudyOptions options = posteriorOptions("1");
    options.error = "residual";
    options.prior = "A=2, C=1.5,B=4";
    const PosteriorGroup group = onlyGroup(study, options);
    const double alpha[] = {2.0, 4.0, 1.5};
    const double total = 7.5;
    for (std::size_t s = 0; s < 3; ++s) {
        const double a = alpha[s];
        const double b = total - a;
        double mean = 0.0;
        double square = 0.0;
        for (std::size_t level = 0; level <= 100; ++level) {
            const double share = static_cast<double>(level) / 100.0;
            mean += group.marginals[s][level] * share;
            square += group.marginals[s][level] * share * share;
        }
        EXPECT_NEAR(mean, a / total, 0.003) << s;
        EXPECT_NEAR(std::sqrt(square - mean * mean),
                    std::sqrt(a * b / (total * total * (total + 1))), 0.003)
            << s;
        for (const double level : {0.025, 0.25, 0.5, 0.75, 0.975}) {
            EXPECT_NEAR(posteriorQuantileLevel(group.marginals[s], level) / 100.0,
                        betaQuantile(a, b, level), 0.015)
                << "source " << s << ", level " << level;
        }
    }
}

// Progress counts every grid sum once, up to the total: a group's without draws, each draw's
// of each group with them; cancelling stops it short.
TEST(Posterior, ProgressCountsEachGridSumOnce) {
    const Study study = studyOf("Source,Meand13C,SDd13C,n\nA,-2,1.5,10\nB,10,2.5,10\n",
                                "d13C,Site\n4.1,x\n6.3,y\n2.2,x\n");
    for (const int draws : {0, 3}) {
        StudyOptions options = posteriorOptions("5");
        options.draws = draws;
        PosteriorSettings settings{options, {study.factorIndex("Site")}};
        std::vector<std::pair<std::uint64_t, std::uint64_t>> calls;
        settings.progress = [&](std::uint64_t done, std::uint64_t total) {
            calls.emplace_back(done, total);
        };
        ASSERT_TRUE(runPosterior(study, settings));
        const std::uint64_t total = draws == 0 ? 2 : 6;
        ASSERT_EQ(calls.size(), total) << draws;
        for (std::size_t i = 0; i < calls.size(); ++i) {
            EXPECT_EQ(calls[i], std::make_pair(i + 1, total));
        }
    }
    std::atomic<bool> cancel{false};
    StudyOptions options = posteriorOptions("5");
    options.draws = 50;
    PosteriorSettings settings{options, {}};
    settings.cancel = &cancel;
    std::uint64_t last = 0;
    settings.progress = [&](std::uint64_t done, std::uint64_t) {
        last = done;
        cancel.store(done == 2);
    };
    const Expected<PosteriorOutcome> stopped = runPosterior(study, settings);
    ASSERT_TRUE(stopped);
    EXPECT_TRUE(stopped->cancelled);
    EXPECT_EQ(last, 2u);
}

TEST(Posterior, DrawsGiveTheSameNumbersWhateverTheThreads) {
    // Each draw is summed on one thread and the draws are added in their order, however
    // many threads take them: the same numbers to the last bit.
    const Study study = studyOf("Source,Meand13C,SDd13C,Meand15N,SDd15N,n\n"
                                "A,-2,1.5,3,0.5,10\nB,10,2.5,9,0.8,8\nC,4,1.0,14,1.1,12\n",
                                "d13C,d15N,Site\n4.1,8,x\n6.3,9.5,y\n2.2,7,x\n5,10.1,x\n"
                                "3.3,8.8,y\n");
    StudyOptions options = posteriorOptions("5");
    options.draws = 9;
    options.seed = 4;
    std::vector<PosteriorOutcome> outcomes;
    for (const int threads : {1, 2, 5}) {
        PosteriorSettings settings{options, {study.factorIndex("Site")}};
        settings.threads = threads;
        Expected<PosteriorOutcome> outcome = runPosterior(study, settings);
        ASSERT_TRUE(outcome);
        outcomes.push_back(*outcome);
    }
    for (std::size_t o = 1; o < outcomes.size(); ++o) {
        ASSERT_EQ(outcomes[o].groups.size(), 2u);
        for (std::size_t g = 0; g < 2; ++g) {
            const PosteriorGroup& a = outcomes[0].groups[g];
            const PosteriorGroup& b = outcomes[o].groups[g];
            EXPECT_EQ(a.logEvidence, b.logEvidence);
            EXPECT_EQ(a.elpdLoo, b.elpdLoo);
            EXPECT_EQ(a.effectiveDraws, b.effectiveDraws);
            EXPECT_EQ(a.marginals, b.marginals);
            EXPECT_EQ(a.draws, 9);
        }
    }
}

TEST(Posterior, RefusesWhatItCannotCompute) {
    const Study study = studyOf("Source,Meand13C\nA,0\nB,10\nC,4\n", "d13C\n4\n");
    struct Case {
        std::string increment, error, prior, message;
    };
    for (const Case& c :
         std::vector<Case>{{"3", "both", "", "does not divide 100"},
                           {"1", "neither", "", "is not both, process or residual"},
                           {"1", "both", "", "needs the SD of every source: A has none for d13C"},
                           {"1", "residual", "A=1,B=0.5,C=1", "below 1"},
                           {"1", "residual", "A=1,B=2", "does not name C"},
                           {"1", "residual", "A=1,B=2,C=1,A=3", "names A twice"},
                           {"1", "residual", "A=1,B=2,D=1", "is not a source"}}) {
        StudyOptions options = posteriorOptions(c.increment);
        options.error = c.error;
        options.prior = c.prior;
        const Status s = checkPosterior(study, {options, {}});
        ASSERT_FALSE(s) << c.message;
        EXPECT_NE(s.error().message.find(c.message), std::string::npos) << s.error().message;
    }
}

TEST(Posterior, DrawsOfTheSourcesAgreeWithAnIndependentMonteCarloIntegral) {
    // The joint model of the shares, the residual factor and the sources' means and
    // variances, integrated here by plain Monte Carlo over the sources (the standard
    // library's generators) and Gauss-Legendre quadrature over the factor; the program's
    // draws weight each draw's grid posterior by its evidence instead.
    const Study study =
        studyOf("Source,Meand13C,SDd13C,n\nA,-2,3,3\nB,10,2.5,4\n", "d13C\n8.1\n9.3\n8.2\n");
    StudyOptions options = posteriorOptions("5");
    options.draws = 4000;
    options.seed = 11;
    const PosteriorGroup group = onlyGroup(study, options);
    // Gauss-Legendre nodes in log eps from -25 to log 20 (Newton's iteration on the Legendre
    // polynomial): the integrand peaks sharply near 0 when a draw's variance is large.
    const int order = 96;
    const double low = -25.0;
    const double high = std::log(20.0);
    std::vector<double> node, weight;
    for (int i = 1; i <= order; ++i) {
        double x = std::cos(std::numbers::pi * (i - 0.25) / (order + 0.5));
        double derivative = 0.0;
        for (int step = 0; step < 100; ++step) {
            double p0 = 1.0;
            double p1 = x;
            for (int k = 2; k <= order; ++k) {
                const double p2 = ((2 * k - 1) * x * p1 - (k - 1) * p0) / k;
                p0 = p1;
                p1 = p2;
            }
            derivative = order * (x * p1 - p0) / (x * x - 1);
            x -= p1 / derivative;
        }
        const double u = low + (high - low) * (x + 1.0) / 2.0;
        node.push_back(std::exp(u));
        // d eps = eps du
        weight.push_back((high - low) / ((1 - x * x) * derivative * derivative) * std::exp(u));
    }
    const std::vector<double> y = {8.1, 9.3, 8.2};
    std::mt19937_64 random(2024);
    std::normal_distribution<double> normal;
    std::chi_squared_distribution<double> chiA(3.0), chiB(4.0);
    std::vector<double> mass(21, 0.0);
    double evidence = 0.0;
    const int samples = 20000;
    for (int d = 0; d < samples; ++d) {
        const double muA = -2 + 3 / std::sqrt(3.0) * normal(random);
        const double muB = 10 + 2.5 / std::sqrt(4.0) * normal(random);
        const double varA = 3 * 3 * 2 / chiA(random);
        const double varB = 2.5 * 2.5 * 3 / chiB(random);
        for (int b = 0; b <= 20; ++b) {
            const double p = b / 20.0;
            const double m = p * muA + (1 - p) * muB;
            const double w = p * p * varA + (1 - p) * (1 - p) * varB;
            double likelihood = 0.0;
            for (int q = 0; q < order; ++q) {
                double density = 1.0;
                for (const double v : y) {
                    density *= std::exp(-(v - m) * (v - m) / (2 * node[q] * w)) /
                               std::sqrt(2 * std::numbers::pi * node[q] * w);
                }
                likelihood += weight[q] * density / 20.0;
            }
            mass[static_cast<std::size_t>(b)] += likelihood / 21.0 / samples;
            evidence += likelihood / 21.0 / samples;
        }
    }
    double mean = 0.0;
    double programMean = 0.0;
    for (std::size_t b = 0; b <= 20; ++b) {
        mean += mass[b] / evidence * static_cast<double>(b) / 20.0;
        programMean += group.marginals[0][b] * static_cast<double>(b) / 20.0;
    }
    EXPECT_NEAR(programMean, mean, 0.01);
    EXPECT_NEAR(group.logEvidence, std::log(evidence), 0.03);
    EXPECT_EQ(group.draws, 4000);
    EXPECT_GT(group.effectiveDraws, 1000.0);
    EXPECT_LT(group.effectiveDraws, 4000.0);
}

/// Every grid point's log weight by plain enumeration: prior weight times the likelihood of
/// all consumers (first) and of all but each one.
std::vector<std::vector<double>> everyPoint(const GroupModel& model,
                                            std::vector<std::vector<int>>& points) {
    PointLikelihood likelihood(model);
    std::vector<std::vector<double>> weights;
    std::vector<int> levels(static_cast<std::size_t>(model.sources));
    const auto walk = [&](auto& self, std::size_t r, int remaining) -> void {
        if (r + 1 == levels.size()) {
            levels[r] = remaining;
            std::vector<double> p;
            double logPrior = 0.0;
            double limitShare = 0.0;
            for (std::size_t k = 0; k < levels.size(); ++k) {
                p.push_back(static_cast<double>(levels[k]) / model.steps);
                logPrior += model.priorWeight[k] == 1.0
                                ? 0.0
                                : (model.priorWeight[k] - 1.0) * std::log(p.back());
                limitShare += k < 2 ? levels[k] * static_cast<double>(model.increment) : 0.0;
            }
            if (model.limits.empty() || limitShare <= 60.0) {
                likelihood.predict(p);
                const PointValues& v = likelihood.evaluate(logPrior, -INFINITY);
                std::vector<double> row = {logPrior, logPrior + v.all};
                for (const double x : v.allBut) {
                    row.push_back(logPrior + x);
                }
                weights.push_back(row);
                points.push_back(levels);
            }
            return;
        }
        for (int level = 0; level <= remaining; ++level) {
            levels[r] = level;
            self(self, r + 1, remaining - level);
        }
    };
    walk(walk, 0, model.steps);
    return weights;
}

double logSumOf(const std::vector<std::vector<double>>& rows, std::size_t column) {
    double top = -INFINITY;
    for (const auto& row : rows) {
        top = std::max(top, row[column]);
    }
    double sum = 0.0;
    for (const auto& row : rows) {
        sum += std::exp(row[column] - top);
    }
    return top + std::log(sum);
}

TEST(Posterior, TheBoundedSearchLeavesOutNoMoreThanItsTruncation) {
    // Four sources, many consumers near one corner: most of the grid is ruled out by the
    // bounds, and what is left must give what every point gives.
    std::string consumers = "d13C,d15N\n";
    for (int i = 0; i < 14; ++i) {
        consumers += std::to_string(-24.0 + 0.13 * (i % 5)) + "," +
                     std::to_string(7.5 - 0.21 * (i % 3)) + "\n";
    }
    const Study study = studyOf("Source,Meand13C,SDd13C,Meand15N,SDd15N,Concd13C\n"
                                "A,-22.5,1.0,4.1,0.8,1\nB,-27.3,0.9,6.2,0.7,2\n"
                                "C,-25.1,1.2,12.0,0.9,1\nD,-31.6,0.8,1.5,0.6,0.5\n",
                                consumers);
    for (const char* error : {"both", "process", "residual"}) {
        for (const bool constrained : {false, true}) {
            StudyOptions options = posteriorOptions("2");
            if (constrained) {
                options.prior = "A=1.5,B=1,C=3,D=1";
                options.limits = {"A+B<=60"};
            }
            Expected<GroupModel> model =
                buildGroupModel(study, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, {},
                                {"A", "B", "C", "D"}, options, *posteriorErrorNamed(error), 50);
            ASSERT_TRUE(model);
            addResidualGammas(*model);
            const GridSums sums = sumPosteriorGrid(*model, 2, nullptr);
            if (std::string(error) != "residual") {
                // (The residual structure's heavy tails leave little to rule out here.)
                EXPECT_GT(sums.skipped, 1000) << error;
            }
            std::vector<std::vector<int>> points;
            const auto rows = everyPoint(*model, points);
            const double logPrior = logSumOf(rows, 0);
            const double logEvidence = logSumOf(rows, 1);
            EXPECT_NEAR(sums.prior.log(), logPrior, 1e-11) << error << constrained;
            EXPECT_NEAR(sums.evidence.log(), logEvidence, 1e-10) << error << constrained;
            for (std::size_t i = 0; i < 14; ++i) {
                EXPECT_NEAR(sums.allBut[i].log(), logSumOf(rows, 2 + i), 1e-10) << error;
            }
            // The marginal masses, relative to the evidence.
            std::vector<double> marginal(51, 0.0);
            for (std::size_t q = 0; q < rows.size(); ++q) {
                marginal[static_cast<std::size_t>(points[q][2])] +=
                    std::exp(rows[q][1] - logEvidence);
            }
            double total = 0.0;
            for (const double v : sums.marginals[2]) {
                total += v;
            }
            for (std::size_t b = 0; b <= 50; ++b) {
                EXPECT_NEAR(sums.marginals[2][b] / total, marginal[b], 1e-11) << error << b;
            }
        }
    }
}

} // namespace
} // namespace fenlowick
