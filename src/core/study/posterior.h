#pragma once

#include "core/base/expected.h"
#include "core/study/studyoptions.h"
#include "core/tables/studytables.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace fenlowick {

/// How the consumers' values scatter about the mixture their proportions predict.
enum class PosteriorError {
    /// The sources' and discrimination's variances mixed by the squared proportions (the
    /// process variance), times a residual factor per tracer with a Uniform(0, 20) prior.
    Both,
    /// The process variance alone (the residual factor fixed at 1).
    Process,
    /// No source variance: a full covariance of the tracers whose precision has a
    /// Wishart(I, J + 1) prior (a Gamma(0.001, 0.001) precision for one tracer).
    Residual,
};

/// "both", "process" or "residual"; empty for any other word.
std::optional<PosteriorError> posteriorErrorNamed(const std::string& word);
const char* posteriorErrorName(PosteriorError error);

/// The exact posterior of one group of consumers on the grid of proportions.
struct PosteriorGroup {
    std::vector<std::string> levels; ///< per grouping factor; empty for the whole study
    std::vector<std::size_t> consumers;
    std::vector<std::string> sources; ///< the group's sources, in their table's order
    int steps = 0;                    ///< shares are level / steps, level 0..steps
    /// Per source, the posterior mass of each share level (summing to 1).
    std::vector<std::vector<double>> marginals;
    /// Per pair of sources (0,1), (0,2), ..., (1,2), ...: the joint mass of their share
    /// levels, row (the first source's level) by column, (steps + 1)^2 values.
    std::vector<std::vector<double>> pairs;
    /// Per tracer: the posterior mean and SD of the residual factor, or with the residual
    /// error structure of the tracer's residual variance; empty where infinite.
    std::vector<std::optional<double>> residualMean;
    std::vector<std::optional<double>> residualSd;
    double logEvidence = 0.0;
    /// The exact leave-one-out predictive log density; empty for a group of one consumer.
    std::optional<double> elpdLoo;
    /// The draws of the sources' uncertainty (0 without), and their effective number:
    /// (sum Z)^2 / sum Z^2 of their evidences Z.
    int draws = 0;
    double effectiveDraws = 0.0;
    /// Grid points whose likelihood was worked out, and those a bound left out.
    double pointsEvaluated = 0.0;
    double pointsSkipped = 0.0;
};

struct PosteriorOutcome {
    PosteriorError error = PosteriorError::Both;
    std::vector<PosteriorGroup> groups;
    bool cancelled = false;
};

struct PosteriorSettings {
    StudyOptions options;
    std::vector<int> byFactors; ///< indexes into Study::factors
    int threads = 0;            ///< 0 takes one per core; the results do not depend on it
    const std::atomic<bool>* cancel = nullptr;
    /// Grid sums done of all (a group's, or one draw's of a group), from the calling thread.
    std::function<void(std::uint64_t done, std::uint64_t total)> progress = nullptr;
};

/// Checks what the posterior needs beyond the study's tables: an increment that divides
/// 100, a known error structure, SDs of every source and discrimination for the structures
/// that use them, the same sources for every consumer of a group, a prior naming every
/// source once with weights of 1 or more, and limits that the grid can meet. Refusals carry
/// the program's message (Error::Kind::Refused).
Status checkPosterior(const Study& study, const PosteriorSettings& settings);

/// The posterior of every group (the levels of the grouping factors in the order they first
/// appear; one group of all consumers without them), summed over every grid point.
Expected<PosteriorOutcome> runPosterior(const Study& study, const PosteriorSettings& settings);

} // namespace fenlowick
