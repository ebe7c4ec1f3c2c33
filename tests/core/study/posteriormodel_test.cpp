#include "core/study/pointlikelihood.h"
#include "core/study/posteriormodel.h"

#include "core/study/studyrun.h"
#include "support/quadrature.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace fenlowick {
namespace {

/// Three sources in two regions (two source sets in one group), `n` consumers of both
/// regions, the last of them far from every source.
Study twoRegionStudy(int n) {
    const std::string sources = "Source,Region,Meand13C,SDd13C,Meand15N,SDd15N,n\n"
                                "A,1,-12.0,1.1,6.0,0.8,10\nB,1,-28.0,0.9,3.5,0.6,10\n"
                                "C,1,-20.0,1.4,12.5,1.0,10\nA,2,-13.5,0.7,7.0,1.2,10\n"
                                "B,2,-26.0,1.3,2.5,0.5,10\nC,2,-19.0,0.8,14.0,0.9,10\n";
    std::mt19937_64 random(static_cast<std::uint64_t>(n));
    std::normal_distribution<double> noise(0.0, 1.5);
    std::string consumers = "d13C,d15N,Region\n";
    for (int i = 0; i < n; ++i) {
        const bool last = i == n - 1;
        consumers += std::to_string(last ? -8.0 : -19.0 + noise(random)) + "," +
                     std::to_string(last ? 16.0 : 7.5 + noise(random)) + "," +
                     std::to_string(1 + i % 2) + "\n";
    }
    Expected<CsvTable> s = CsvTable::parse(sources, "sources.csv");
    Expected<CsvTable> c = CsvTable::parse(consumers, "consumers.csv");
    Expected<Study> study = readStudy(*s, *c, nullptr);
    EXPECT_TRUE(study) << (study ? "" : study.error().message);
    return *study;
}

/// The model of every consumer of twoRegionStudy(n) on the 5 % grid, residual factor and all.
Expected<GroupModel> twoRegionModel(int n) {
    StudyOptions options;
    options.increment = "5";
    options.posterior = true;
    std::vector<std::size_t> everyone(static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < everyone.size(); ++i) {
        everyone[i] = i;
    }
    return buildGroupModel(twoRegionStudy(n), everyone, {}, {"A", "B", "C"}, options,
                           PosteriorError::Both, 20);
}

TEST(PointLikelihood, LeaveOneOutRatiosAgreeWithTheirLogarithmsEverywhereOnTheGrid) {
    // The ratios come from a power of the residuals' complements and a table of the
    // regularized gamma function; the logarithms from the log-gamma table at each consumer's
    // own sum of squares. Every point of a 5 % grid, two source sets in the group, group
    // orders whole and half (13, 14, 31 and 34 consumers), and a far consumer whose share of
    // the residuals sends some points back to the logarithms.
    for (const int n : {13, 14, 31, 34}) {
        Expected<GroupModel> model = twoRegionModel(n);
        ASSERT_TRUE(model) << model.error().message;
        ASSERT_EQ(model->sets.size(), 2u);
        addResidualGammas(*model);
        PointLikelihood logs(*model);
        PointLikelihood ratios(*model);
        int byRatios = 0;
        int byLogs = 0;
        int skipped = 0;
        for (int a = 0; a <= 20; ++a) {
            for (int b = 0; a + b <= 20; ++b) {
                const std::vector<double> p = {a / 20.0, b / 20.0, (20 - a - b) / 20.0};
                ASSERT_TRUE(logs.predict(p));
                ASSERT_TRUE(ratios.predict(p));
                const std::vector<double> expected = logs.evaluate(0.0, 0.0).allBut;
                const double top = *std::max_element(expected.begin(), expected.end());
                const PointValues& v = ratios.evaluate(0.0, 0.0, AllButAs::Ratios, top - 1e-9);
                ASSERT_FALSE(v.allButSkipped) << "a floor below one of them";
                const double largest = *std::max_element(v.allBut.begin(), v.allBut.end());
                ++(largest == 1.0 && v.allButBase == top ? byLogs : byRatios);
                for (std::size_t i = 0; i < expected.size(); ++i) {
                    ASSERT_GT(v.allBut[i], 0.0);
                    EXPECT_NEAR(v.allButBase + std::log(v.allBut[i]), expected[i],
                                1e-11 * std::max(1.0, std::fabs(expected[i])))
                        << n << " consumers, point " << a << "," << b << ", consumer " << i;
                }
                // A floor far above them: the bound (the largest share and w left out) is
                // close enough to leave them out.
                if (ratios.evaluate(0.0, 0.0, AllButAs::Ratios, top + 30.0).allButSkipped) {
                    ++skipped;
                }
            }
        }
        EXPECT_GT(byRatios, 100) << n;
        EXPECT_GT(byLogs, 5) << n;
        EXPECT_GT(skipped, 100) << n;
    }
}

TEST(PointLikelihood, LineRangesHoldEveryPointOfTheirLineAndBoundItsLikelihoods) {
    // Four sources mixed by concentration in two source sets; the first two fixed, the third
    // over pieces of its line (the last the rest). Every point's predictions lie in the
    // piece's range, and its likelihoods of all and of all but each one lie below the bounds.
    const std::string sources = "Source,Region,Meand13C,SDd13C,Meand15N,SDd15N,Concd13C,Concd15N\n"
                                "A,1,-12.0,1.1,6.0,0.8,0.4,0.03\nB,1,-28.0,0.9,3.5,0.6,0.45,0.05\n"
                                "C,1,-20.0,1.4,12.5,1.0,0.3,0.09\nD,1,-15.0,0.3,9.0,0.2,0.5,0.02\n"
                                "A,2,-13.5,0.7,7.0,1.2,0.4,0.03\nB,2,-26.0,1.3,2.5,0.5,0.45,0.05\n"
                                "C,2,-19.0,0.8,14.0,0.9,0.3,0.09\nD,2,-16.0,2.3,8.0,1.9,0.5,0.02\n";
    std::string consumers = "d13C,d15N,Region\n";
    std::mt19937_64 random(7);
    std::normal_distribution<double> noise(0.0, 1.5);
    for (int i = 0; i < 15; ++i) {
        consumers += std::to_string(-19.0 + noise(random)) + "," +
                     std::to_string(8.5 + noise(random)) + "," + std::to_string(1 + i % 2) + "\n";
    }
    Expected<Study> study = readStudy(*CsvTable::parse(sources, "sources.csv"),
                                      *CsvTable::parse(consumers, "consumers.csv"), nullptr);
    ASSERT_TRUE(study) << study.error().message;
    StudyOptions options;
    options.increment = "2";
    options.posterior = true;
    options.concentrations = true;
    std::vector<std::size_t> everyone(15);
    for (std::size_t i = 0; i < everyone.size(); ++i) {
        everyone[i] = i;
    }
    for (const PosteriorError error : {PosteriorError::Both, PosteriorError::Process}) {
        Expected<GroupModel> model =
            buildGroupModel(*study, everyone, {}, {"A", "B", "C", "D"}, options, error, 50);
        ASSERT_TRUE(model) << model.error().message;
        addResidualGammas(*model);
        PointLikelihood likelihood(*model);
        const std::size_t cells = model->sets.size() * 2;
        PredictionRange range{std::vector<double>(cells), std::vector<double>(cells),
                              std::vector<double>(cells), std::vector<double>(cells)};
        int vertexInside = 0;
        for (const auto& [a, b] :
             {std::pair{0, 0}, std::pair{10, 5}, std::pair{3, 30}, std::pair{25, 20}}) {
            const double pa = a / 50.0;
            const double pb = b / 50.0;
            std::vector<double> numerator(cells), denominator(cells), variance(cells);
            for (std::size_t s = 0; s < model->sets.size(); ++s) {
                const SetTerms& set = model->sets[s];
                for (std::size_t j = 0; j < 2; ++j) {
                    numerator[s * 2 + j] =
                        pa * set.weightedMean[j][0] + pb * set.weightedMean[j][1];
                    denominator[s * 2 + j] =
                        pa * set.concentration[j][0] + pb * set.concentration[j][1];
                    variance[s * 2 + j] =
                        pa * pa * set.variance[j][0] + pb * pb * set.variance[j][1];
                }
            }
            const int remaining = 50 - a - b;
            for (const auto& [low, high] : {std::pair{0, remaining}, std::pair{0, remaining / 3},
                                            std::pair{remaining / 3, 2 * remaining / 3},
                                            std::pair{remaining / 2, remaining / 2 + 1}}) {
                lineRange(*model, numerator, denominator, variance, low / 50.0, high / 50.0,
                          remaining / 50.0, range);
                const double allBound = logLikelihoodBound(*model, model->all, range);
                const double allButBound = allButLikelihoodBound(*model, range);
                std::vector<double> lowestW(cells, INFINITY);
                std::vector<double> endW(cells, INFINITY);
                for (int level = low; level <= high; ++level) {
                    ASSERT_TRUE(
                        likelihood.predict({pa, pb, level / 50.0, (remaining - level) / 50.0}));
                    const PredictionRange& at = likelihood.prediction();
                    for (std::size_t c = 0; c < cells; ++c) {
                        EXPECT_GE(at.low[c], range.low[c]);
                        EXPECT_LE(at.low[c], range.high[c]);
                        EXPECT_GE(at.varianceLow[c], range.varianceLow[c]) << a << b << level;
                        EXPECT_LE(at.varianceLow[c], range.varianceHigh[c]);
                        lowestW[c] = std::min(lowestW[c], at.varianceLow[c]);
                        if (level == low || level == high) {
                            endW[c] = std::min(endW[c], at.varianceLow[c]);
                        }
                    }
                    const PointValues& v = likelihood.evaluate(0.0, 0.0);
                    EXPECT_LE(v.all, allBound);
                    EXPECT_LE(*std::max_element(v.allBut.begin(), v.allBut.end()), allButBound);
                }
                for (std::size_t c = 0; c < cells; ++c) {
                    vertexInside += lowestW[c] < endW[c] * (1.0 - 1e-6) ? 1 : 0;
                }
            }
        }
        // Some pieces have their lowest variance inside, not at an end.
        EXPECT_GT(vertexInside, 4);
    }
}

TEST(PointLikelihood, ResidualFactorMomentsAgreeWithQuadrature) {
    // At a grid point the residual factor eps of tracer j has the density proportional to
    // eps^(-n/2) exp(-a / eps) on (0, 20], a = sum (y - m)^2 / (2 w): its first two moments
    // by Simpson's rule against the point's values, from a residual factor well inside its
    // prior to one pressing on its top (where a/20 passes the order n/2 - 1).
    for (const int n : {7, 13, 34}) {
        Expected<GroupModel> model = twoRegionModel(n);
        ASSERT_TRUE(model);
        addResidualGammas(*model);
        PointLikelihood likelihood(*model);
        for (const std::vector<double>& p :
             {std::vector<double>{0.35, 0.3, 0.35}, std::vector<double>{0.05, 0.9, 0.05},
              std::vector<double>{1.0, 0.0, 0.0}}) {
            ASSERT_TRUE(likelihood.predict(p));
            const PointValues v = likelihood.evaluate(0.0, -INFINITY);
            const PredictionRange& range = likelihood.prediction();
            for (std::size_t j = 0; j < 2; ++j) {
                double a = 0.0;
                for (std::size_t i = 0; i < model->value.size(); ++i) {
                    const std::size_t at = static_cast<std::size_t>(model->setOf[i]) * 2 + j;
                    const double d = model->value[i][j] - range.low[at];
                    a += d * d / (2.0 * range.varianceLow[at]);
                }
                // Scaled by the density's largest value (at eps = 2a/n, or at the top).
                const double mode = std::min(20.0, 2.0 * a / n);
                const auto density = [&](double eps, int k) {
                    return eps <= 0.0
                               ? 0.0
                               : std::pow(eps, k) *
                                     std::exp(-n / 2.0 * std::log(eps / mode) - a / eps + a / mode);
                };
                const auto moment = [&](int k) {
                    return simpson([&](double e) { return density(e, k); }, 0.0, 20.0, 400000);
                };
                const double mass = moment(0);
                const double first = moment(1) / mass;
                EXPECT_NEAR(v.moment1[j] / first, 1.0, 1e-9) << n << " " << p[0] << " " << j;
                EXPECT_NEAR(v.moment2[j] / (moment(2) / mass), 1.0, 1e-9) << n << " " << p[0];
            }
        }
    }
}

} // namespace
} // namespace fenlowick
