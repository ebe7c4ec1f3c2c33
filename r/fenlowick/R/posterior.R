#' The exact posterior of a study's groups
#'
#' Computes, for each group of consumers (the levels of the \code{by} factors, or the whole
#' study), the posterior distribution of the diet proportions on the grid of proportions in
#' steps of \code{increment}, exactly and without MCMC, as \code{fenlowick-cli study
#' --posterior} does; the tables hold the same numbers as its CSV files.
#'
#' Each group's K proportions have a Dirichlet prior on the grid (1 for every source unless
#' \code{prior} gives weights); a consumer's value of tracer j is normal about the
#' proportion-weighted source means (plus discrimination, weighted by concentration where
#' the source table gives it), with the process variance of the sources' and
#' discrimination's SDs times a residual factor per tracer with a Uniform(0, 20) prior,
#' integrated out exactly (\code{error = "both"}); \code{"process"} fixes the factor at 1,
#' \code{"residual"} uses no source SDs and a full residual covariance with a Wishart prior.
#' With \code{draws}, the source means and variances are drawn from their sampling
#' distributions (the \code{n} column) and the draws' posteriors are mixed by their
#' evidences. See the README's section on the exact posterior for the whole model.
#'
#' @inheritParams fl_study
#' @param increment The grid's step in percent; it must divide 100 (1, 2, 2.5, 5, ...).
#' @param error The error structure: \code{"both"}, \code{"process"} or \code{"residual"}.
#' @param prior Optional Dirichlet weights naming every source once with a weight of 1 or
#'   more: a named numeric vector (\code{c(Deer = 2, Salmon = 1, Seals = 1)}) or the text
#'   \code{"Deer=2,Salmon=1,Seals=1"}.
#' @param draws Draws of the sources' uncertainty; 0 takes the sources as given.
#' @return A list of data frames, each with the \code{by} factors' columns first:
#'   \describe{
#'     \item{posterior}{per group and source: \code{mean}, \code{sd} and the quantiles
#'       \code{p02_5}, \code{p25}, \code{p50}, \code{p75}, \code{p97_5} of its share (the
#'       smallest grid share whose cumulative posterior reaches the level);}
#'     \item{residual}{per group and tracer: \code{mean} and \code{sd} of the residual
#'       factor (of the residual variance under \code{"residual"}; NA where infinite);}
#'     \item{model}{per group: \code{consumers}, \code{log_evidence}, \code{elpd_loo}
#'       (NA for a group of one), \code{draws}, \code{effective_draws};}
#'     \item{histograms}{per group, source and grid \code{share}: its posterior
#'       \code{mass}.}
#'   }
#'   and \code{error}, the error structure.
#' @examples
#' estuary <- system.file("extdata", "estuary", package = "fenlowick")
#' fit <- fl_posterior(file.path(estuary, "sources.csv"), file.path(estuary, "consumers.csv"),
#'                     file.path(estuary, "discrimination.csv"), increment = 5,
#'                     by = "Habitat", threads = 2)
#' fit$posterior
#' fit$model
#' @export
fl_posterior <- function(sources, consumers, discrimination = NULL, increment, by = NULL,
                         error = c("both", "process", "residual"), prior = NULL,
                         limits = NULL, draws = 0, seed = 1, concentrations = TRUE,
                         threads = 0) {
  error <- match.arg(error)
  if (is.numeric(prior)) {
    if (is.null(names(prior))) {
      stop("name the prior's weights by their sources: c(Deer = 2, Salmon = 1, Seals = 1)",
           call. = FALSE)
    }
    prior <- paste0(names(prior), "=", format_number(prior), collapse = ",")
  }
  options <- study_options(increment, NULL, draws, seed, by, limits, concentrations,
                           posterior = TRUE, error = error, prior = prior)
  run <- run_study(sources, consumers, discrimination, options, threads,
                   c("posterior", "residual", "model", "histograms"), sys.call())
  tables <- run$tables
  few <- tables$model$draws > 0 & tables$model$effective_draws < tables$model$draws / 10
  if (any(few)) {
    warning("the effective number of draws is below a tenth of the draws in ", sum(few),
            " group(s): the consumers inform the sources more than their tables do, and a few ",
            "draws carry the posterior; take more draws", call. = FALSE)
  }
  structure(c(tables, list(error = run$result$error_structure)),
            class = c("fl_posterior", "list"))
}

#' Compare posterior fits by their evidence and elpd_loo
#'
#' Sets side by side fits of \code{\link{fl_posterior}} to the same consumers (two source
#' sets, two priors, two error structures, two groupings): for each, the sum over its groups
#' of \code{log_evidence} and of \code{elpd_loo}, and their differences from the best fit.
#' A difference of log evidences is the log of the Bayes factor (3 or more, a factor of 20,
#' is usually taken as strong); \code{elpd_loo} is less sensitive to the prior.
#'
#' @param ... Two or more results of \code{fl_posterior}, named or not.
#' @return A data frame, a row per fit, best evidence first: \code{fit} (the argument's name
#'   or expression), \code{groups}, \code{consumers}, \code{log_evidence}, \code{elpd_loo}
#'   (NA when a group has one consumer), \code{d_log_evidence} and \code{d_elpd_loo}, the
#'   differences from the largest (0 for the best, negative for the others).
#' @examples
#' estuary <- system.file("extdata", "estuary", package = "fenlowick")
#' tables <- file.path(estuary, c("sources.csv", "consumers.csv", "discrimination.csv"))
#' by_habitat <- fl_posterior(tables[1], tables[2], tables[3], increment = 5, by = "Habitat")
#' pooled <- fl_posterior(tables[1], tables[2], tables[3], increment = 5)
#' fl_compare(by_habitat, pooled)
#' @export
fl_compare <- function(...) {
  fits <- list(...)
  if (length(fits) < 2L) {
    stop("give two fits or more", call. = FALSE)
  }
  labels <- names(fits)
  expressions <- vapply(as.list(substitute(list(...)))[-1L], deparse1, character(1))
  if (is.null(labels)) labels <- expressions
  labels[!nzchar(labels)] <- expressions[!nzchar(labels)]
  for (i in seq_along(fits)) {
    if (!inherits(fits[[i]], "fl_posterior")) {
      stop(labels[i], " is not a result of fl_posterior", call. = FALSE)
    }
  }
  consumers <- vapply(fits, function(fit) sum(fit$model$consumers), numeric(1))
  if (length(unique(consumers)) != 1L) {
    stop("the fits explain different numbers of consumers (",
         paste(consumers, collapse = ", "), "): their evidences do not compare", call. = FALSE)
  }
  table <- data.frame(
    fit = labels,
    groups = vapply(fits, function(fit) nrow(fit$model), integer(1)),
    consumers = as.integer(consumers),
    log_evidence = vapply(fits, function(fit) sum(fit$model$log_evidence), numeric(1)),
    elpd_loo = vapply(fits, function(fit) sum(fit$model$elpd_loo), numeric(1)),
    row.names = NULL, stringsAsFactors = FALSE)
  table$d_log_evidence <- table$log_evidence - max(table$log_evidence)
  table$d_elpd_loo <- table$elpd_loo - suppressWarnings(max(table$elpd_loo, na.rm = TRUE))
  table <- table[order(-table$log_evidence), ]
  rownames(table) <- NULL
  table
}
