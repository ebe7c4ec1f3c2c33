#' A study: every consumer's feasible set, with the sources' uncertainty
#'
#' Reads a mixing-model study from the field's three tables and runs the exact search of
#' every consumer at the source means (plus the discrimination means), and with
#' \code{draws} its draws from the sources' and discrimination's SDs, as
#' \code{fenlowick-cli study} does. The tables it returns hold the same numbers as the
#' command's CSV files.
#'
#' The tables are found by header in any order and any case, with the rules of the
#' command-line tool: \code{consumers} has a row per individual, a column per tracer
#' (\code{d13C}, \code{d15N}, ...) and factor columns; \code{sources} a label column
#' (\code{Source}, \code{Sources} or an empty header) and either summary rows
#' (\code{Mean<tracer>}, \code{SD<tracer>}, optional \code{Conc<tracer>} and \code{n}) or
#' raw rows (a row per sample); \code{discrimination} a label column, \code{Mean<tracer>}
#' and \code{SD<tracer>}. A table refused is an R error with the program's message, which
#' names the file (or the data frame), the line and the column; in a data frame line 1 is
#' the header, so line L is row L - 1.
#'
#' Numbers are compared at the decimals the tables type: a numeric column written with
#' fewer decimals than typed (-20.50 read as -20.5) can change a run. Give such columns as
#' character (\code{read.csv(..., colClasses = "character")}) or give the files' paths.
#'
#' A long study can be stopped with Ctrl+C (Esc in the R GUIs); R is usable at once and
#' nothing is returned.
#'
#' @param sources,consumers The source and consumer tables: data frames, or paths of CSV
#'   files.
#' @param discrimination Optional trophic discrimination table (data frame or path).
#' @param increment The step of the proportions in percent, 1 to 100.
#' @param tolerance The tolerance, in the units of the signatures.
#' @param draws Draws per consumer from the sources' SDs; 0 runs only the exact runs.
#' @param seed The seed of the draws, a whole number from 0 to 18446744073709551615 (as
#'   text above 2^53). The same seed gives the same results whatever \code{threads}.
#' @param by Factor columns of the consumer table whose levels are pooled into groups.
#' @param limits Limits on the shares, as \code{"Salmon<=60"} (see \code{\link{fl_run}}).
#' @param concentrations \code{FALSE} mixes every tracer linearly even where the source
#'   table has \code{Conc<tracer>} columns.
#' @param threads Threads; 0 takes one per core.
#' @return A list of data frames (shares as fractions of one; the factor columns named in
#'   snake_case, \code{Body mass (g)} as \code{body_mass_g}, and kept as factors, as are
#'   \code{source}):
#'   \describe{
#'     \item{consumers}{per consumer and source, the exact run's \code{feasible} count,
#'       \code{mean}, \code{sd}, \code{min}, \code{p01}, \code{p50}, \code{p99},
#'       \code{max};}
#'     \item{uncertainty}{with draws, per consumer and source, \code{draws},
#'       \code{draws_feasible} and the pooled draws' \code{mean}, \code{sd}, \code{p02_5},
#'       \code{p25}, \code{p50}, \code{p75}, \code{p97_5}; NULL without draws;}
#'     \item{groups}{per level of the \code{by} factors (the whole study without them) and
#'       source, the pooled statistics and \code{consumers_without_solution};}
#'     \item{histograms}{every consumer's distribution in long form: \code{share} and
#'       \code{weight}, ready for \code{ggplot2::geom_col()}.}
#'   }
#' @examples
#' estuary <- system.file("extdata", "estuary", package = "fenlowick")
#' study <- fl_study(file.path(estuary, "sources.csv"), file.path(estuary, "consumers.csv"),
#'                   file.path(estuary, "discrimination.csv"), increment = 2,
#'                   tolerance = 0.3, draws = 20, by = "Habitat", threads = 2)
#' study$groups[, c("habitat", "source", "mean", "p02_5", "p97_5")]
#' @export
fl_study <- function(sources, consumers, discrimination = NULL, increment, tolerance,
                     draws = 0, seed = 1, by = NULL, limits = NULL, concentrations = TRUE,
                     threads = 0) {
  options <- study_options(increment, tolerance, draws, seed, by, limits, concentrations,
                           posterior = FALSE, error = "both", prior = NULL)
  run <- run_study(sources, consumers, discrimination, options, threads,
                   c("consumers", "uncertainty", "groups", "histograms"), sys.call())
  structure(run$tables, class = c("fl_study", "list"))
}

# Runs a study (or its posterior) in the core, shows the notes on its tables, and reads the
# result's tables `names` into data frames; `call` is the user's call, for a refusal.
run_study <- function(sources, consumers, discrimination, options, threads, names, call) {
  result <- call_core(.fl_study_cpp(
    table_argument(sources, "sources"), table_argument(consumers, "consumers"),
    table_argument(discrimination, "discrimination", optional = TRUE), options, as.integer(threads)),
    call)
  show_notes(result$facts)
  list(tables = lapply(result[names], read_core_table, facts = result$facts,
                       consumers = consumers),
       result = result)
}

study_options <- function(increment, tolerance, draws, seed, by, limits, concentrations,
                          posterior, error, prior) {
  if (!is.numeric(draws) || length(draws) != 1L || is.na(draws) || draws < 0 ||
      draws != floor(draws) || draws > 1e6) {
    stop("draws must be a whole number from 0 to 1000000", call. = FALSE)
  }
  list(increment = number_argument(increment, "increment"),
       tolerance = if (is.null(tolerance)) NULL else number_argument(tolerance, "tolerance"),
       draws = as.integer(draws), seed = seed_argument(seed), by = as.character(by),
       limits = as.character(limits), concentrations = isTRUE(concentrations),
       posterior = posterior, error = error, prior = prior)
}
