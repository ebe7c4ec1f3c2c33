# The tables fenlowick-cli wrote for the reference studies (tests/testthat/cli/, written when
# the package was assembled) and the checks that the package gives the same numbers.

read_cli <- function(...) {
  utils::read.csv(file.path("cli", ...), check.names = FALSE, colClasses = "character",
                  na.strings = character(0), encoding = "UTF-8")
}

# Every column of `ours` holds what the command-line tool's file holds: the same texts for
# factors and labels, the same numbers (an empty cell as NA) for the rest.
expect_same_table <- function(ours, ...) {
  theirs <- read_cli(...)
  where <- paste(c(...), collapse = "/")
  expect_identical(names(ours), names(theirs), label = paste("the columns of", where))
  expect_identical(nrow(ours), nrow(theirs), label = paste("the rows of", where))
  for (name in names(ours)) {
    if (is.numeric(ours[[name]])) {
      expect_identical(as.numeric(ours[[name]]), suppressWarnings(as.numeric(theirs[[name]])),
                       label = paste(where, name))
    } else {
      expect_identical(as.character(ours[[name]]), theirs[[name]], label = paste(where, name))
    }
  }
}

# A reference study's tables and options (options.txt and posterior-options.txt).
reference_case <- function(name) {
  folder <- file.path("studies", "cases", name)
  words <- function(file) {
    options <- strsplit(trimws(readLines(file.path(folder, file))), " +")[[1]]
    value <- function(option) options[match(option, options) + 1L]
    list(increment = value("--increment"), tolerance = value("--tolerance"))
  }
  list(sources = file.path(folder, "sources.csv"),
       consumers = file.path(folder, "consumers.csv"),
       discrimination = file.path(folder, "discrimination.csv"),
       study = words("options.txt"), posterior = words("posterior-options.txt"))
}

example_tables <- function(name) {
  folder <- system.file("extdata", name, package = "fenlowick")
  files <- c("sources.csv", "consumers.csv", "discrimination.csv")
  stats::setNames(file.path(folder, files), sub("\\.csv$", "", files))
}
