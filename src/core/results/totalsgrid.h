#pragma once

#include "core/results/resultformat.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace fenlowick {

/// The statistics grid: rows 0..200 (row 0 the heading row) by one column per field of a
/// record.
inline constexpr int kGridRows = 201;

/// Record k of a loaded file (k = 1, 2, ...) goes to grid row k + 1, so rows 0 and 1 stay
/// empty and at most 199 records are shown.
inline constexpr int kFirstRecordRow = 2;
inline constexpr int kMaxGridRecords = kGridRows - kFirstRecordRow;

/// A printed page of the grid ends after a row that is a positive multiple of this.
inline constexpr int kPrintPageRows = 80;

using GridRow = std::array<std::string, kRecordFields>;

/// The records of a file as the grid shows them, in file order.
struct GridLoad {
    std::vector<GridRow> records;
    /// The file could not be read, or it ended inside a record; `records` then holds the
    /// complete records before that point.
    bool failed = false;
    /// Set by readGridRecords when the answer depends on text beyond an incomplete prefix.
    bool needsMore = false;
};

/// Reads at most 199 records from a file's text (or from the beginning of it,
/// `complete` false). Fields are shown by displayText. Records beyond the 199th are not read.
GridLoad readGridRecords(std::string_view text, bool complete);

/// Reads a file for the grid; a file that cannot be opened gives a failed, empty load.
GridLoad loadGridFile(const std::string& path);

/// The last row to print: the highest row whose column-0 text sorts after "  !" (two blanks
/// and "!") in character-code order, so that empty cells and cells of blanks do not count;
/// 0 when no row does. `column0[r]` is the text of row r.
int lastPrintRow(const std::vector<std::string>& column0);

/// Rows first..last, both included, printed on one page.
struct PrintPage {
    int firstRow = 0;
    int lastRow = 0;
    bool operator==(const PrintPage&) const = default;
};

/// The pages of a printout of rows 0..lastRow: a new page begins after every row that is a
/// positive multiple of 80, unless that row is the last one (a page break right before the
/// end of the document leaves no blank page). Rows 0..80 fill the first page.
std::vector<PrintPage> printPages(int lastRow);

/// Cells as tab-separated text for a spreadsheet: one line per row ending in "\n", cells
/// divided by tabs. Leading and trailing rows without text and columns to the right of the
/// last cell with text are left out; tabs and line breaks inside a cell become blanks.
std::string tabSeparatedText(const std::vector<std::vector<std::string>>& cells);

} // namespace fenlowick
