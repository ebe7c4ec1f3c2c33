library(testthat)
library(fenlowick)

test_check("fenlowick")
