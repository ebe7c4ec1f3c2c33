#pragma once

#include <string>
#include <vector>

namespace fenlowick::test {

/// Runs a program and returns its standard output; empty when it could not run.
std::string runTool(const std::string& program, const std::vector<std::string>& arguments);

/// The number of pages of a PDF file as pdfinfo reads it; -1 when it cannot.
int pdfPageCount(const std::string& pdf);

} // namespace fenlowick::test
