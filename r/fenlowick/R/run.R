#' One exact run
#'
#' Examines every combination of source proportions in steps of \code{increment} that sums
#' to 100 \% and keeps those whose predicted mixture lies within \code{tolerance} of the
#' mixture for every isotope, as \code{fenlowick-cli run} does, and returns what its totals
#' file gives: the number of feasible solutions and each source's statistics, and on request
#' the feasible solutions themselves.
#'
#' Numbers typed in a table decide the scale at which the run compares (its decimal places):
#' a numeric column written with fewer decimals than typed (-21.30 read as -21.3) can change
#' a run. Give such columns as character (\code{read.csv(..., colClasses = "character")}) or
#' give the file's path to keep the texts as typed.
#'
#' @param sources The sources: a data frame or the path of a CSV file with a \code{source}
#'   column of labels and one column per isotope (headers such as \code{d13C}, \code{δ15N},
#'   \code{Mean d13C}), as \code{fenlowick-cli import} reads them; or the path of a data file
#'   (\code{.dat}), which holds the whole entry (then leave out \code{mixture},
#'   \code{increment} and \code{tolerance}).
#' @param mixture The mixture: a named numeric vector (\code{c(d13C = -26.9, d15N = 7.1)}), or
#'   a one-row data frame or CSV file with the isotope columns (and optionally a
#'   \code{mixture} label column).
#' @param increment The step of the proportions in percent, 1 to 100.
#' @param tolerance The tolerance, in the units of the signatures.
#' @param concentrations Optional: a data frame or CSV file of the sources' elemental
#'   concentrations, a row per source named in its first column, a column per isotope headed
#'   by the isotope or \code{Conc} and the isotope; each tracer is then mixed in proportion to
#'   its element's concentration.
#' @param limits Optional limits on the shares, as \code{"Small fish=10-40"},
#'   \code{"Kelp>=5"} or \code{"Fish+Seals<=50"} (percent).
#' @param solutions \code{TRUE} to return the feasible solutions as a data frame.
#' @param max_solutions The most solutions returned; a run that keeps more is refused with
#'   its count (raise it to have them all: each takes 8 bytes per source).
#' @param threads Threads of the search; 0 takes one per core.
#' @param title The title of the entry (only with tables; a data file has its own).
#' @param as_study \code{TRUE} to check the entry as a study does: two sources are enough,
#'   and more than 6 decimal places pass (compared at 6).
#' @return A list: \code{feasible}, the number of feasible solutions; \code{combinations},
#'   the number of combinations examined; \code{statistics}, a data frame with a row per
#'   source (\code{source} a factor in the entry's order, \code{feasible_count},
#'   \code{mean}, \code{minimum}, \code{p1}, \code{p50}, \code{p99}, \code{maximum},
#'   \code{sd}, shares as fractions of one, the figures of the totals file: NA where it
#'   gives none); with \code{solutions = TRUE}, \code{solutions}, a data frame with a
#'   column per source and a row per feasible solution, in the order the search visits
#'   them. A run without a feasible solution also has \code{notice}, the program's notice,
#'   and (without concentrations and limits) \code{diagnosis}: where the mixture lies
#'   against the sources and the smallest tolerance that gives solutions at this increment,
#'   as \code{fenlowick-cli diagnose} explains it.
#' @examples
#' sources <- data.frame(
#'   source = c("Zooplankton", "Benthic invertebrates", "Terrestrial insects", "Small fish"),
#'   d13C = c(-30.2, -24.1, -26.5, -27.0),
#'   d15N = c(6.5, 4.8, 3.2, 9.8))
#' run <- fl_run(sources, c(d13C = -26.9, d15N = 7.1), increment = 1, tolerance = 0.1)
#' run$feasible
#' run$statistics
#'
#' # The same entry as a data file, with the solutions
#' entry <- system.file("extdata", "diet-two-isotopes.dat", package = "fenlowick")
#' head(fl_run(entry, solutions = TRUE)$solutions)
#' @export
fl_run <- function(sources, mixture = NULL, increment = NULL, tolerance = NULL,
                   concentrations = NULL, limits = NULL, solutions = FALSE,
                   max_solutions = 1e6, threads = 0, title = NULL, as_study = FALSE) {
  entry_path <- NULL
  if (is.character(sources) && length(sources) == 1L &&
      grepl("\\.dat$", sources, ignore.case = TRUE)) {
    if (!is.null(mixture) || !is.null(increment) || !is.null(tolerance) || !is.null(title)) {
      stop("a data file holds the whole entry: leave out mixture, increment, tolerance and ",
           "title, or give the sources as a table", call. = FALSE)
    }
    entry_path <- path.expand(sources)
  } else {
    if (is.null(mixture)) {
      stop("give the mixture", call. = FALSE)
    }
    increment <- number_argument(increment, "increment")
    tolerance <- number_argument(tolerance, "tolerance")
  }
  isotopes <- NULL
  if (is.numeric(mixture)) {
    if (is.null(names(mixture)) || any(!nzchar(names(mixture)))) {
      stop("name the mixture's values by their isotopes: c(d13C = -26.9, d15N = 7.1)",
           call. = FALSE)
    }
    isotopes <- names(mixture)
    mixture <- data.frame(mixture = "mixture", as.list(mixture), check.names = FALSE)
  } else if (is.data.frame(mixture) && !any(tolower(names(mixture)) %in% c("mixture", "mixtures"))) {
    mixture <- data.frame(mixture = rep("mixture", nrow(mixture)), mixture, check.names = FALSE)
  }
  result <- call_core(.fl_run_cpp(
    entry_path, table_argument(sources, "sources"),
    table_argument(mixture, "mixture", optional = !is.null(entry_path)),
    increment, tolerance, if (is.null(title)) NULL else as.character(title), isotopes,
    table_argument(concentrations, "concentrations", optional = TRUE), as.character(limits),
    isTRUE(solutions), as.numeric(max_solutions), as.integer(threads), isTRUE(as_study)),
    sys.call())
  labels <- result$statistics$source
  result$statistics$source <- factor(labels, levels = unique(labels))
  if (!is.null(result$solutions)) {
    colnames(result$solutions) <- labels
    result$solutions <- as.data.frame(result$solutions, check.names = FALSE)
  }
  result
}
