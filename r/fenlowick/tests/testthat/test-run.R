diet_sources <- data.frame(
  source = c("Zooplankton", "Benthic invertebrates", "Terrestrial insects", "Small fish"),
  d13C = c(-30.2, -24.1, -26.5, -27.0),
  d15N = c(6.5, 4.8, 3.2, 9.8))
diet_entry <- system.file("extdata", "diet-two-isotopes.dat", package = "fenlowick")

# The feasible records of a feasible-output file: the shares after its header of 11 + N
# records.
read_feasible_file <- function(path, sources) {
  lines <- readLines(path)
  fields <- strsplit(lines[-seq_len(11 + sources)], ",", fixed = TRUE)
  matrix(as.numeric(unlist(lapply(fields, `[`, seq_len(sources)))), ncol = sources,
         byrow = TRUE)
}

test_that("a run gives the command-line tool's totals and feasible solutions", {
  run <- fl_run(diet_entry, solutions = TRUE)
  expect_same_table(run$statistics, "diet", "summary.csv")
  expect_identical(nrow(run$solutions), as.integer(run$feasible))
  expect_identical(names(run$solutions), levels(run$statistics$source))
  expect_identical(unname(as.matrix(run$solutions)),
                   read_feasible_file(file.path("cli", "diet", "diet.out"), 4))

  # The same entry as tables.
  tables <- fl_run(diet_sources, c(d13C = -26.9, d15N = 7.1), increment = 1, tolerance = 0.1)
  expect_identical(tables$statistics, run$statistics)
  expect_null(tables$solutions)
  limited <- fl_run(diet_entry, limits = "Small fish=50-60")
  expect_same_table(limited$statistics, "diet", "limited.csv")
})

test_that("the run's refusals are R errors with the program's messages", {
  mixture <- c(d13C = -26.9, d15N = 7.1)
  expect_error(fl_run(diet_sources, mixture, increment = 0, tolerance = 0.1),
               "Please enter values between 1 and 100", fixed = TRUE, class = "fenlowick_error")
  expect_error(fl_run(diet_sources[1:2, ], mixture, increment = 1, tolerance = 0.1),
               "You need at least 3 sources!", fixed = TRUE)
  expect_error(fl_run(diet_entry, limits = "Squid=10-20"), "Squid", class = "fenlowick_error")
  expect_error(fl_run(diet_entry, solutions = TRUE, max_solutions = 10),
               "more than max_solutions (10)", fixed = TRUE)
  two <- data.frame(mixture = c("a", "b"), d13C = c(-26.9, -27), d15N = c(7.1, 7))
  expect_error(fl_run(diet_sources, two, increment = 1, tolerance = 0.1), "a run takes one")
})

test_that("concentrations change the mixing and equal ones do not", {
  equal <- data.frame(source = diet_sources$source, d13C = 40, d15N = 5)
  expect_identical(fl_run(diet_entry, concentrations = equal)$statistics,
                   fl_run(diet_entry)$statistics)
  rich <- transform(equal, d15N = c(5, 5, 5, 14))
  expect_false(identical(fl_run(diet_entry, concentrations = rich)$feasible,
                         fl_run(diet_entry)$feasible))
})

test_that("a reference study's consumer runs as the tool runs it and as the study ran it", {
  for (name in list.files(file.path("studies", "cases"))) {
    run <- fl_run(file.path("cli", name, "entry", "consumer-1.dat"), as_study = TRUE)
    expect_same_table(run$statistics, name, "entry", "summary.csv")
    case <- reference_case(name)
    study <- fl_study(case$sources, case$consumers, case$discrimination,
                      increment = case$study$increment, tolerance = case$study$tolerance)
    first <- study$consumers[study$consumers$consumer == 1L, ]
    expect_identical(first$feasible, run$statistics$feasible_count, label = name)
    expect_identical(as.character(first$source), as.character(run$statistics$source))
    expect_identical(first[c("mean", "sd", "min", "p01", "p50", "p99", "max")],
                     stats::setNames(run$statistics[c("mean", "sd", "minimum", "p1", "p50",
                                                      "p99", "maximum")],
                                     c("mean", "sd", "min", "p01", "p50", "p99", "max")),
                     ignore_attr = TRUE, label = name)
  }
})

test_that("a run without solutions says why, as the tool's diagnosis does", {
  run <- fl_run(file.path("cli", "heron", "heron-no-solution.dat"))
  expect_identical(run$feasible, 0)
  expect_true(all(is.na(run$statistics$mean)))
  expect_identical(run$notice, "Total Observations = 0, so no statistics could be generated")
  expect_identical(run$diagnosis,
                   paste(readLines(file.path("cli", "heron", "diagnosis.txt")), collapse = "\n"))
})
