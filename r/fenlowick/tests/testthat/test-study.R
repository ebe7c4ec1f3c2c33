test_that("every reference study's tables are the command-line tool's", {
  for (name in list.files(file.path("studies", "cases"))) {
    case <- reference_case(name)
    study <- fl_study(case$sources, case$consumers, case$discrimination,
                      increment = case$study$increment, tolerance = case$study$tolerance,
                      draws = 20, seed = 7, threads = 2)
    for (table in c("consumers", "uncertainty", "groups", "histograms")) {
      expect_same_table(study[[table]], name, "study", paste0(table, ".csv"))
    }
  }
})

test_that("data frames in the field's layouts give the files' results, factors kept", {
  tables <- example_tables("estuary")
  frames <- lapply(tables, utils::read.csv, colClasses = "character", check.names = FALSE)
  frames$consumers$Habitat <- factor(frames$consumers$Habitat,
                                     levels = c("Upper estuary", "Lower estuary", "Delta"))
  study <- fl_study(frames$sources, frames$consumers, frames$discrimination, increment = 2,
                    tolerance = 0.3, draws = 200, by = "Habitat", threads = 2)
  for (table in c("consumers", "uncertainty", "groups", "histograms")) {
    expect_same_table(study[[table]], "estuary", "study", paste0(table, ".csv"))
  }
  expect_identical(levels(study$groups$habitat), c("Upper estuary", "Lower estuary", "Delta"))
  expect_identical(levels(study$consumers$source),
                   c("Marine plankton", "Freshwater insects", "Terrestrial insects",
                     "Benthic invertebrates"))
  expect_type(study$consumers$consumer, "integer")
})

test_that("concentrations and limits reach the study", {
  folder <- system.file("extdata", "bears", package = "fenlowick")
  study <- fl_study(file.path(folder, "sources.csv"), file.path(folder, "consumers.csv"),
                    increment = 1, tolerance = 0.1, draws = 50, by = "Sex",
                    limits = "Salmon<=60", threads = 2)
  for (table in c("consumers", "uncertainty", "groups")) {
    expect_same_table(study[[table]], "bears", "study", paste0(table, ".csv"))
  }
})

test_that("the command line's note on draws without a solution is R's message", {
  tables <- example_tables("estuary")
  note <- readLines(file.path("cli", "estuary", "few-solved.txt"))
  expect_length(note, 1L)
  expect_message(
    fl_study(tables[["sources"]], tables[["consumers"]], tables[["discrimination"]],
             increment = 2, tolerance = 0.01, draws = 50, threads = 2),
    sub("^fenlowick-cli: ", "", note), fixed = TRUE)
})

test_that("a refused table is an R error with the program's message", {
  tables <- example_tables("estuary")
  consumers <- utils::read.csv(tables[["consumers"]], colClasses = "character")
  consumers$d15N[2] <- "8,7x"
  expect_error(fl_study(tables[["sources"]], consumers, increment = 2, tolerance = 0.3),
               "consumers data frame, line 3, column 2 (d15N)", fixed = TRUE,
               class = "fenlowick_error")
  expect_error(fl_study(tables[["sources"]], tables[["consumers"]], increment = 2,
                        tolerance = 0.3, by = "Season"),
               "has no such factor column (its factors: Habitat, Fish)", fixed = TRUE)
  expect_error(fl_study(tables[["sources"]], tables[["consumers"]], increment = 0,
                        tolerance = 0.3), "is not a number from 1 to 100", class = "fenlowick_error")
  expect_error(fl_study(file.path(tempdir(), "none.csv"), tables[["consumers"]],
                        increment = 2, tolerance = 0.3), "none.csv", class = "fenlowick_error")
  # A table left out is an error, not a table of nothing.
  expect_error(fl_study(NULL, tables[["consumers"]], increment = 2, tolerance = 0.3),
               "sources must be a data frame or the path of a CSV file", fixed = TRUE)
  expect_error(fl_posterior(tables[["sources"]], NULL, increment = 2),
               "consumers must be a data frame or the path of a CSV file", fixed = TRUE)
  expect_error(fl_run(NULL, c(d13C = -26.9, d15N = 7.1), increment = 1, tolerance = 0.1),
               "sources must be a data frame or the path of a CSV file", fixed = TRUE)
})
