#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace fenlowick::test {

/// One row of a data table: the line it stands on (from 1), its fields, and where it stands
/// as "<name>, line <line>" for failure messages.
struct TableRow {
    int line = 0;
    std::vector<std::string> fields;
    std::string where;
};

/// The rows of the tab-separated table tests/data/<name>. Blank lines and lines starting
/// with '#' are skipped; in a field, \t \n \r \\ and \xNN stand for their characters. Throws
/// std::runtime_error naming the file and line when the file is missing, a row has another
/// number of fields than `columns`, or there are fewer than `minRows` rows.
std::vector<TableRow> readTable(const std::string& name, std::size_t columns, std::size_t minRows);

/// A number written as in C++ source: a literal (decimal or hexadecimal; with a trailing
/// 'f' read as a float), or two of them joined by + - * or /, computed in T. Throws
/// std::runtime_error on anything else.
template <typename T> T numberOf(const std::string& text);

} // namespace fenlowick::test
