#pragma once

#include "core/base/expected.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fenlowick {

/// A table read from a spreadsheet's CSV export: a header line naming the columns, then one
/// row per non-empty line. The separator (comma, semicolon or tab) is the one the header
/// line uses most; fields may be quoted with double quotes ("" inside quotes is one quote);
/// lines may end in CR, LF or CR LF, the last one with or without a line end; a UTF-8 byte
/// order mark is skipped, and text that is not UTF-8 is read as Windows-1252. Lines that
/// hold nothing but blanks and separators are skipped. In a file not separated by commas,
/// numbers may be written with a decimal comma.
///
/// Every message names the file, and where it applies the line and the column
/// ("sources.csv, line 4, column 3 (d15N): ...").
class CsvTable {
public:
    /// Reads a table from text already held in memory; `fileName` is used in messages.
    static Expected<CsvTable> parse(std::string_view text, std::string fileName);

    /// Reads a table from a file; messages name the file by its path as given.
    static Expected<CsvTable> read(const std::string& path);

    /// Reads a table from a file and keeps the file's bytes too (a study copies its tables
    /// into each shard and fingerprints them).
    static Expected<std::pair<CsvTable, std::string>> readWithBytes(const std::string& path);

    /// Reads a table from a file's bytes in any of the encodings read() takes.
    static Expected<CsvTable> fromBytes(std::string_view bytes, std::string fileName);

    const std::string& fileName() const { return m_fileName; }
    char separator() const { return m_separator; }
    /// True when numbers in this file are written with a decimal comma.
    bool decimalComma() const { return m_decimalComma; }

    int columnCount() const { return static_cast<int>(m_header.size()); }
    /// The column's name as written in the header, without surrounding blanks.
    const std::string& header(int column) const { return m_header[column]; }
    int headerLine() const { return m_headerLine; }

    int rowCount() const { return static_cast<int>(m_rows.size()); }
    /// The cell's text as written (quotes removed); empty for a cell the row does not have.
    const std::string& cell(int row, int column) const;
    /// The 1-based line of the file on which the row begins.
    int lineOf(int row) const { return m_rows[row].line; }

    /// "file, line L, column C (header)" for a cell of a row.
    std::string where(int row, int column) const;
    /// "file, line L, column C (header)" for a column's header.
    std::string whereHeader(int column) const;

    /// The cell as the text of a number: blanks removed, a decimal comma replaced by a
    /// point. Refused, naming the cell, when it is empty or not a number by the program's
    /// numeric rule, or when it uses a decimal point in a file of decimal commas.
    Expected<std::string> numberText(int row, int column) const;

private:
    struct Row {
        std::vector<std::string> cells;
        int line = 0;
    };

    Error errorAt(const std::string& place, const std::string& reason) const;
    /// Sets the decimal comma when a cell holds a number written with one.
    void findDecimalComma();

    std::string m_fileName;
    char m_separator = ',';
    bool m_decimalComma = false;
    std::string m_firstCommaNumber; ///< where the first decimal-comma number was seen
    std::vector<std::string> m_header;
    int m_headerLine = 1;
    std::vector<Row> m_rows;
};

/// A text as one CSV field: unchanged when it needs no quotes, otherwise in double quotes
/// with every double quote doubled (needed for a comma, a quote, a line end, or blanks at
/// either end).
std::string csvField(std::string_view text);

/// The text without blanks (spaces and tabs) at either end.
std::string_view trimBlanks(std::string_view text);

} // namespace fenlowick
