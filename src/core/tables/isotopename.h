#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fenlowick {

/// The label of an isotope column as a spreadsheet header writes it: blanks removed at
/// either end and a leading "Mean" dropped ("Mean d13C" and "Meand13C" give d13C).
std::string isotopeLabel(std::string_view header);

/// The key by which isotope columns of different files are matched: the label in lower
/// case without blanks, "_" or "-", with "δ" or "delta" read as "d", superscript digits as
/// digits, and a unit in brackets at the end dropped. "δ¹³C (‰)", "d13C", "D13c" and
/// "delta 13C" all give "d13c".
std::string isotopeKey(std::string_view header);

/// True when a header names a delta value: after isotopeKey, "d", a mass number of one to
/// three digits and an element symbol (d13C, δ15N, d34S, d2H, d18O).
bool looksLikeIsotope(std::string_view header);

/// A tracer's name as figures show it, in the field's notation: a delta value as "δ¹³C (‰)"
/// (from d13C, δ15N, delta 34S ...), any other name as typed.
std::string deltaNotation(std::string_view header);

/// The order in which figures take tracers as axes: carbon-13 across and nitrogen-15 up
/// when a study has both, then the others in their order; otherwise the order given.
std::vector<std::size_t> isotopeAxisOrder(const std::vector<std::string>& tracers);

/// A label in lower case (ASCII letters only), for comparisons that ignore case.
std::string foldCase(std::string_view text);

} // namespace fenlowick
