#include "core/study/posteriorreport.h"

#include "core/base/csvtable.h"
#include "core/base/numberformat.h"
#include "core/study/studyreport.h"

#include <algorithm>
#include <cmath>

namespace fenlowick {

namespace {

/// Decimals enough for every grid share of `steps` (and at least 4).
int shareDecimals(int steps) {
    for (int decimals = 4; decimals < 12; ++decimals) {
        const double scale = std::pow(10.0, decimals);
        bool exact = true;
        for (int b = 0; b <= steps && exact; ++b) {
            const double v = static_cast<double>(b) / steps * scale;
            exact = std::fabs(v - std::round(v)) < 1e-6;
        }
        if (exact) {
            return decimals;
        }
    }
    return 12;
}

std::string optionalCell(const std::optional<double>& value, int decimals) {
    return value ? formatDecimals(*value, decimals) : std::string();
}

} // namespace

int posteriorQuantileLevel(const std::vector<double>& masses, double level) {
    double cumulative = 0.0;
    for (std::size_t b = 0; b < masses.size(); ++b) {
        cumulative += masses[b];
        if (cumulative >= level * (1.0 - 1e-9)) {
            return static_cast<int>(b);
        }
    }
    return static_cast<int>(masses.size()) - 1;
}

PosteriorShare summarisePosteriorShare(const std::vector<double>& masses, int steps) {
    PosteriorShare summary;
    double square = 0.0;
    for (std::size_t b = 0; b < masses.size(); ++b) {
        const double share = static_cast<double>(b) / steps;
        summary.mean += masses[b] * share;
        square += masses[b] * share * share;
    }
    summary.sd = std::sqrt(std::max(0.0, square - summary.mean * summary.mean));
    const double levels[] = {0.025, 0.25, 0.5, 0.75, 0.975};
    for (std::size_t q = 0; q < summary.quantiles.size(); ++q) {
        summary.quantiles[q] =
            static_cast<double>(posteriorQuantileLevel(masses, levels[q])) / steps;
    }
    return summary;
}

PosteriorReport composePosteriorReport(const Study& study, const PosteriorOutcome& outcome,
                                       const std::vector<int>& byFactors) {
    const std::vector<std::string> names =
        factorColumns(study, {"tracer", "mass", "log_evidence", "elpd_loo", "effective_draws"});
    std::string factorHeader;
    for (const int f : byFactors) {
        factorHeader += names[static_cast<std::size_t>(f)] + ",";
    }
    PosteriorReport report;
    report.posterior = factorHeader + "source,mean,sd,p02_5,p25,p50,p75,p97_5\n";
    report.residual = factorHeader + "tracer,mean,sd\n";
    report.model = factorHeader + "consumers,log_evidence,elpd_loo,draws,effective_draws\n";
    report.histograms = factorHeader + "source,share,mass\n";
    for (const PosteriorGroup& group : outcome.groups) {
        std::string prefix;
        for (const std::string& level : group.levels) {
            prefix += csvField(level) + ",";
        }
        const int decimals = shareDecimals(group.steps);
        const auto share = [&](int level) {
            return formatDecimals(static_cast<double>(level) / group.steps, decimals);
        };
        for (std::size_t s = 0; s < group.sources.size(); ++s) {
            const std::vector<double>& masses = group.marginals[s];
            const PosteriorShare summary = summarisePosteriorShare(masses, group.steps);
            report.posterior += prefix + csvField(group.sources[s]) + "," +
                                formatDecimals(summary.mean, 8) + "," +
                                formatDecimals(summary.sd, 8);
            for (const double quantile : summary.quantiles) {
                report.posterior += "," + formatDecimals(quantile, decimals);
            }
            report.posterior += "\n";
            for (std::size_t b = 0; b < masses.size(); ++b) {
                report.histograms += prefix + csvField(group.sources[s]) + "," +
                                     share(static_cast<int>(b)) + "," +
                                     formatDecimals(masses[b], 12) + "\n";
            }
        }
        for (std::size_t j = 0; j < study.tracers.size(); ++j) {
            report.residual += prefix + csvField(study.tracers[j]) + "," +
                               optionalCell(group.residualMean[j], 8) + "," +
                               optionalCell(group.residualSd[j], 8) + "\n";
        }
        report.model += prefix + std::to_string(group.consumers.size()) + "," +
                        formatDecimals(group.logEvidence, 6) + "," +
                        optionalCell(group.elpdLoo, 6) + "," + std::to_string(group.draws) + "," +
                        (group.draws > 0 ? formatDecimals(group.effectiveDraws, 1) : "") + "\n";
    }
    return report;
}

} // namespace fenlowick
