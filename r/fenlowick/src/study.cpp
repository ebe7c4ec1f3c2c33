// fl_study() and fl_posterior(): a study's tables read, checked and run as
// `fenlowick-cli study` does, and its result tables composed by the same core functions that
// compose the command's CSV files.

#include "core/study/posterior.h"
#include "core/study/posteriorreport.h"
#include "core/study/studyoptions.h"
#include "core/study/studyreport.h"
#include "core/study/studyrun.h"
#include "core/tables/studytables.h"
#include "interruptible.h"
#include "tableinput.h"

#include <Rcpp.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

using namespace fenlowick;
using namespace fenlowick::rpackage;

namespace {

Rcpp::CharacterVector utf8Texts(const std::vector<std::string>& texts) {
    Rcpp::CharacterVector out(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        out[static_cast<R_xlen_t>(i)] = Rcpp::String(texts[i], CE_UTF8);
    }
    return out;
}

Expected<Study> readStudyTables(SEXP sources, SEXP consumers, SEXP discrimination, bool posterior) {
    Expected<std::optional<CsvTable>> sourceTable = readTableArgument(sources);
    if (!sourceTable) {
        return sourceTable.error();
    }
    Expected<std::optional<CsvTable>> consumerTable = readTableArgument(consumers);
    if (!consumerTable) {
        return consumerTable.error();
    }
    Expected<std::optional<CsvTable>> discriminationTable = readTableArgument(discrimination);
    if (!discriminationTable) {
        return discriminationTable.error();
    }
    return readStudy(**sourceTable, **consumerTable,
                     *discriminationTable ? &**discriminationTable : nullptr,
                     posterior ? kPosteriorMaxTracers : kStudyMaxTracers);
}

/// The factors named by `by`, as indexes into the study's factors, or the refusal as the
/// command line words it.
Expected<std::vector<int>> byFactorsOf(const Study& study, const std::vector<std::string>& by) {
    std::vector<int> factors;
    for (const std::string& name : by) {
        const int f = study.factorIndex(name);
        if (f < 0) {
            std::string list;
            for (const std::string& factor : study.factors) {
                list += (list.empty() ? "" : ", ") + factor;
            }
            return Error{Error::Kind::Refused, "by = \"" + name + "\": " + study.consumerFile +
                                                   " has no such factor column" +
                                                   (list.empty() ? std::string(" (it has none)")
                                                                 : " (its factors: " + list + ")")};
        }
        if (std::find(factors.begin(), factors.end(), f) != factors.end()) {
            return Error{Error::Kind::Refused, "by = \"" + name + "\": that factor is given twice"};
        }
        factors.push_back(f);
    }
    return factors;
}

Expected<StudyOptions> optionsOf(const Rcpp::List& list) {
    StudyOptions options;
    options.increment = Rcpp::as<std::string>(list["increment"]);
    options.tolerance = textArgument(list["tolerance"]);
    options.draws = Rcpp::as<int>(list["draws"]);
    const std::string seed = Rcpp::as<std::string>(list["seed"]);
    const std::optional<std::uint64_t> parsed = parseSeed(seed);
    if (!parsed) {
        return Error{Error::Kind::Refused,
                     "seed = " + seed + ": give a whole number from 0 to 18446744073709551615"};
    }
    options.seed = *parsed;
    options.by = Rcpp::as<std::vector<std::string>>(list["by"]);
    options.concentrations = Rcpp::as<bool>(list["concentrations"]);
    options.limits = Rcpp::as<std::vector<std::string>>(list["limits"]);
    options.posterior = Rcpp::as<bool>(list["posterior"]);
    options.error = Rcpp::as<std::string>(list["error"]);
    options.prior = textArgument(list["prior"]);
    return options;
}

/// What the R side needs to turn the tables' texts into data frames with factors, and the
/// notes to show: the tables' and `more`.
Rcpp::List studyFacts(const Study& study, const std::vector<std::string>& moreFixed,
                      const std::optional<std::string>& more = std::nullopt) {
    Rcpp::List levels(study.factors.size());
    for (std::size_t f = 0; f < study.factors.size(); ++f) {
        std::vector<std::string> seen;
        for (const StudyConsumer& consumer : study.consumers) {
            if (std::find(seen.begin(), seen.end(), consumer.levels[f]) == seen.end()) {
                seen.push_back(consumer.levels[f]);
            }
        }
        levels[static_cast<R_xlen_t>(f)] = utf8Texts(seen);
    }
    std::vector<std::string> notes = study.notes;
    if (more) {
        notes.push_back(*more);
    }
    std::vector<std::string> sources;
    for (const StudySourceSet& set : study.sourceSets) {
        for (const StudySource& source : set.sources) {
            if (std::find(sources.begin(), sources.end(), source.label) == sources.end()) {
                sources.push_back(source.label);
            }
        }
    }
    return Rcpp::List::create(
        Rcpp::Named("factors") = utf8Texts(study.factors),
        Rcpp::Named("factor_columns") = utf8Texts(factorColumns(study, moreFixed)),
        Rcpp::Named("levels") = levels, Rcpp::Named("sources") = utf8Texts(sources),
        Rcpp::Named("tracers") = utf8Texts(study.tracers), Rcpp::Named("notes") = utf8Texts(notes));
}

Rcpp::List runFeasibleSets(const Study& study, const StudyOptions& options,
                           const std::vector<int>& byFactors, int threads) {
    if (Status s = checkStudy(study, options); !s) {
        return errorList(s.error());
    }
    std::atomic<bool> cancel{false};
    StudySettings settings;
    settings.options = options;
    settings.threads = threads;
    settings.cancel = &cancel;
    Expected<StudyOutcome> outcome =
        runInterruptibly([&study, &settings] { return runStudy(study, settings); }, cancel);
    if (!outcome) {
        return errorList(outcome.error());
    }
    const StudySummary summary = summariseStudy(study, *outcome, byFactors);
    const StudyReport report = composeStudyReport(study, *outcome, summary);
    return Rcpp::List::create(
        Rcpp::Named("consumers") = Rcpp::String(report.consumers, CE_UTF8),
        Rcpp::Named("uncertainty") = Rcpp::String(report.uncertainty, CE_UTF8),
        Rcpp::Named("groups") = Rcpp::String(report.groups, CE_UTF8),
        Rcpp::Named("histograms") = Rcpp::String(report.histograms, CE_UTF8),
        Rcpp::Named("facts") = studyFacts(study, {}, drawsWithoutSolutionNote(*outcome, summary)));
}

Rcpp::List runGridPosterior(const Study& study, const StudyOptions& options,
                            const std::vector<int>& byFactors, int threads) {
    Expected<float> increment = checkStudyOptions(options);
    if (!increment) {
        return errorList(increment.error());
    }
    std::atomic<bool> cancel{false};
    PosteriorSettings settings{options, byFactors, threads, &cancel};
    if (Status s = checkPosterior(study, settings); !s) {
        return errorList(s.error());
    }
    Expected<PosteriorOutcome> outcome =
        runInterruptibly([&study, &settings] { return runPosterior(study, settings); }, cancel);
    if (!outcome) {
        return errorList(outcome.error());
    }
    const PosteriorReport report = composePosteriorReport(study, *outcome, byFactors);
    double evaluated = 0.0;
    double skipped = 0.0;
    for (const PosteriorGroup& group : outcome->groups) {
        evaluated += group.pointsEvaluated;
        skipped += group.pointsSkipped;
    }
    return Rcpp::List::create(
        Rcpp::Named("posterior") = Rcpp::String(report.posterior, CE_UTF8),
        Rcpp::Named("residual") = Rcpp::String(report.residual, CE_UTF8),
        Rcpp::Named("model") = Rcpp::String(report.model, CE_UTF8),
        Rcpp::Named("histograms") = Rcpp::String(report.histograms, CE_UTF8),
        Rcpp::Named("error_structure") = posteriorErrorName(outcome->error),
        Rcpp::Named("points_evaluated") = evaluated, Rcpp::Named("points_skipped") = skipped,
        Rcpp::Named("facts") =
            studyFacts(study, {"tracer", "mass", "log_evidence", "elpd_loo", "effective_draws"}));
}

} // namespace

// [[Rcpp::export(.fl_study_cpp)]]
Rcpp::List flStudyCpp(SEXP sources, SEXP consumers, SEXP discrimination, Rcpp::List options,
                      int threads) {
    Expected<StudyOptions> studyOptions = optionsOf(options);
    if (!studyOptions) {
        return errorList(studyOptions.error());
    }
    Expected<Study> study =
        readStudyTables(sources, consumers, discrimination, studyOptions->posterior);
    if (!study) {
        return errorList(study.error());
    }
    Expected<std::vector<int>> byFactors = byFactorsOf(*study, studyOptions->by);
    if (!byFactors) {
        return errorList(byFactors.error());
    }
    return studyOptions->posterior ? runGridPosterior(*study, *studyOptions, *byFactors, threads)
                                   : runFeasibleSets(*study, *studyOptions, *byFactors, threads);
}
