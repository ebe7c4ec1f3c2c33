#pragma once

#include "core/base/csvtable.h"
#include "core/base/expected.h"

#include <Rcpp.h>

#include <optional>
#include <string>

namespace fenlowick::rpackage {

/// A table as the R functions hand it over: list(path = ) for a CSV file, read as the
/// command-line tool reads it, or list(text = , name = ) for a data frame written as CSV
/// text by the R side (messages name it by `name`); NULL for none.
Expected<std::optional<CsvTable>> readTableArgument(SEXP table);

/// The text of an R character scalar, or `fallback` for NULL.
std::string textArgument(SEXP value, const std::string& fallback = {});

/// An R list: the error's message under `error`, for the R side to raise.
Rcpp::List errorList(const Error& error);

} // namespace fenlowick::rpackage
