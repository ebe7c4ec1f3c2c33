test_that("an interrupt stops a long study and leaves R usable", {
  skip_on_os("windows")
  skip_if(Sys.which("kill") == "")
  tables <- example_tables("estuary")
  system(sprintf("(sleep 1; kill -INT %d) >/dev/null 2>&1 &", Sys.getpid()))
  started <- proc.time()[["elapsed"]]
  # A million draws of ten consumers at 1 %: minutes of work.
  outcome <- tryCatch(fl_study(tables[["sources"]], tables[["consumers"]], increment = 1,
                               tolerance = 0.3, draws = 1e6, threads = 1),
                      interrupt = function(condition) "interrupted")
  expect_identical(outcome, "interrupted")
  expect_lt(proc.time()[["elapsed"]] - started, 20)
  again <- fl_study(tables[["sources"]], tables[["consumers"]], increment = 5, tolerance = 0.3)
  expect_identical(nrow(again$consumers), 40L)
})
