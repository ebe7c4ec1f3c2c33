test_that("every reference study's posterior is the command-line tool's", {
  for (name in list.files(file.path("studies", "cases"))) {
    case <- reference_case(name)
    fit <- fl_posterior(case$sources, case$consumers, case$discrimination,
                        increment = case$posterior$increment, threads = 2)
    for (table in c("posterior", "residual", "model")) {
      expect_same_table(fit[[table]], name, "posterior", paste0(table, ".csv"))
    }
    expect_same_table(fit$histograms, name, "posterior", "posterior-histograms.csv")
    expect_identical(fit$error, "both")
  }
})

test_that("groups, draws of the sources and the error structures reach the posterior", {
  tables <- example_tables("estuary")
  by_habitat <- fl_posterior(tables[["sources"]], tables[["consumers"]],
                             tables[["discrimination"]], increment = 1, by = "Habitat",
                             draws = 30, seed = 3, threads = 2)
  for (table in c("posterior", "residual", "model")) {
    expect_same_table(by_habitat[[table]], "estuary", "posterior", paste0(table, ".csv"))
  }
  expect_s3_class(by_habitat$posterior$habitat, "factor")
  pooled <- fl_posterior(tables[["sources"]], tables[["consumers"]],
                         tables[["discrimination"]], increment = 1, error = "process",
                         threads = 2)
  expect_same_table(pooled$model, "estuary", "posterior-pooled", "model.csv")
  expect_identical(pooled$error, "process")

  # The comparison adds each fit's groups as the README says, against the tool's files.
  compared <- fl_compare(habitat = by_habitat, pooled = pooled)
  cli <- lapply(c(habitat = "posterior", pooled = "posterior-pooled"), function(folder) {
    model <- read_cli("estuary", folder, "model.csv")
    c(sum(as.numeric(model$log_evidence)), sum(as.numeric(model$elpd_loo)))
  })
  for (i in seq_len(nrow(compared))) {
    expect_equal(c(compared$log_evidence[i], compared$elpd_loo[i]), cli[[compared$fit[i]]])
  }
  expect_identical(compared$consumers, c(10L, 10L))
  expect_identical(compared$d_log_evidence[1], 0)
  expect_equal(compared$d_log_evidence[2], compared$log_evidence[2] - compared$log_evidence[1])
  expect_true(compared$log_evidence[1] >= compared$log_evidence[2])
})

test_that("fits of other consumers and refused options are R errors", {
  tables <- example_tables("estuary")
  case <- reference_case("summary-rows")
  estuary <- fl_posterior(tables[["sources"]], tables[["consumers"]],
                          tables[["discrimination"]], increment = 5)
  other <- fl_posterior(case$sources, case$consumers, case$discrimination, increment = 5)
  expect_error(fl_compare(estuary, other), "different numbers of consumers")
  expect_error(fl_posterior(tables[["sources"]], tables[["consumers"]], increment = 3),
               class = "fenlowick_error")
  expect_error(fl_posterior(tables[["sources"]], tables[["consumers"]], increment = 5,
                            prior = c("Marine plankton" = 0.5, "Freshwater insects" = 1,
                                      "Terrestrial insects" = 1, "Benthic invertebrates" = 1)),
               class = "fenlowick_error")
})
