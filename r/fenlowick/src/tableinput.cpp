#include "tableinput.h"

namespace fenlowick::rpackage {

Expected<std::optional<CsvTable>> readTableArgument(SEXP table) {
    if (Rf_isNull(table)) {
        return std::optional<CsvTable>();
    }
    const Rcpp::List list(table);
    Expected<CsvTable> read = list.containsElementNamed("path")
                                  ? CsvTable::read(Rcpp::as<std::string>(list["path"]))
                                  : CsvTable::parse(Rcpp::as<std::string>(list["text"]),
                                                    Rcpp::as<std::string>(list["name"]));
    if (!read) {
        return read.error();
    }
    return std::optional<CsvTable>(std::move(*read));
}

std::string textArgument(SEXP value, const std::string& fallback) {
    return Rf_isNull(value) ? fallback : Rcpp::as<std::string>(value);
}

Rcpp::List errorList(const Error& error) {
    return Rcpp::List::create(Rcpp::Named("error") = error.message);
}

} // namespace fenlowick::rpackage
