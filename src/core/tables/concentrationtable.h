#pragma once

#include "core/base/csvtable.h"
#include "core/base/expected.h"
#include "core/entry/calculationinput.h"
#include "core/entry/entry.h"
#include "core/entry/mixingconstraints.h"

#include <string>
#include <vector>

namespace fenlowick {

/// The concentrations of a run's sources from a table: one row per source, named in the
/// first column by its label as in the entry, and one column per isotope in use, headed by
/// the isotope's label or by "Conc" and the label ("d15N" or "Concd15N"). Rows of sources
/// the entry does not have and other columns are ignored. Refused, naming the place, when a
/// source or isotope of the run has no row or column, when one is there twice, or when a
/// concentration is not a number above zero.
Expected<SourceConcentrations> concentrationsFromTable(const CsvTable& table, const Entry& entry,
                                                       const CalculationInput& input);

/// The table that concentrationsFromTable reads back: a header of "Source" and
/// "Conc<isotope>" per isotope, then per source its label and its concentrations (as
/// formatDouble writes them), with the fields quoted as CSV needs.
std::string composeConcentrationTable(const std::vector<std::string>& sources,
                                      const std::vector<std::string>& isotopes,
                                      const SourceConcentrations& concentrations);

} // namespace fenlowick
