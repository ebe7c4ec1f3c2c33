#pragma once

#include <string>
#include <vector>

namespace fenlowick::test {

/// The folder of the engine's expected result files (totals files whose first line holds a
/// placeholder date), and of the entries they came from.
std::string expectedResult(const std::string& name);
std::string conformanceCase(const std::string& name);

/// One record (kRecordFields fields) in the result files' syntax: the given fields, quoted unless
/// they start with a digit, "." or "-", padded with empty text fields, ended by CR LF.
std::string record(const std::vector<std::string>& fields);

/// A totals file reduced to what the graph window reads: "HISTOGRAM DATA", the "INC"
/// record with the labels, the rule, one record per level (the level value bare, then one
/// count per source) and the empty records that end the table.
std::string histogramFile(const std::vector<std::string>& labels,
                          const std::vector<std::vector<std::string>>& levels);

} // namespace fenlowick::test
