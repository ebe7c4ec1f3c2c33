#include "core/base/csvtable.h"

#include "core/base/atomicfile.h"
#include "core/base/numerictext.h"
#include "core/base/textencoding.h"

#include <algorithm>
#include <array>
#include <filesystem>

namespace fenlowick {

namespace {

/// A CSV file of sources or mixtures is a few kilobytes; this guards against a wrong file.
constexpr std::size_t kMaxCsvBytes = 16u << 20;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kTypographicMinus = "\xE2\x88\x92";

bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}

/// The separator the header line uses most, outside quotes; on a tie tab, then semicolon,
/// then comma. A header without any of them is one column (comma-separated).
char detectSeparator(std::string_view text) {
    std::size_t pos = 0;
    // The header is the first line that holds more than blanks.
    while (pos < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", pos);
        const std::string_view line =
            text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        if (!trimBlanks(line).empty()) {
            break;
        }
        pos = end == std::string_view::npos ? text.size() : end + 1;
    }
    std::array<int, 3> counts{};
    constexpr std::array<char, 3> kCandidates = {'\t', ';', ','};
    bool quoted = false;
    for (std::size_t i = pos; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && isLineEnd(c)) {
            break;
        } else if (!quoted) {
            for (std::size_t k = 0; k < kCandidates.size(); ++k) {
                if (c == kCandidates[k]) {
                    ++counts[k];
                }
            }
        }
    }
    const int most = std::max({counts[0], counts[1], counts[2]});
    for (std::size_t k = 0; most > 0 && k < kCandidates.size(); ++k) {
        if (counts[k] == most) {
            return kCandidates[k];
        }
    }
    return ',';
}

/// A number written with a decimal comma: one comma, no point, numeric once the comma is
/// read as a point.
bool isCommaNumber(std::string_view text) {
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos || text.find(',', comma + 1) != std::string_view::npos ||
        text.find('.') != std::string_view::npos) {
        return false;
    }
    std::string withPoint(text);
    withPoint[comma] = '.';
    return isNumeric(withPoint);
}

std::string separatorName(char separator) {
    switch (separator) {
    case '\t':
        return "tabs";
    case ';':
        return "semicolons";
    default:
        return "commas";
    }
}

} // namespace

std::string_view trimBlanks(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) {
        ++begin;
    }
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) {
        --end;
    }
    return text.substr(begin, end - begin);
}

namespace {

/// A record of a CSV text: its fields, quotes removed, and the line it begins on.
struct Record {
    std::vector<std::string> cells;
    int line = 0;
};

/// Splits a CSV text into records, skipping those that hold nothing but blanks.
class RecordReader {
public:
    RecordReader(std::string_view text, char separator) : m_text(text), m_separator(separator) {}

    /// The records, or the reason they cannot be read (without the file's name).
    Expected<std::vector<Record>> read() {
        m_current.line = 1;
        while (m_at < m_text.size()) {
            if (!readField()) {
                return Error{Error::Kind::FileRead,
                             "line " + std::to_string(m_openedOn) +
                                 ": a quoted field is never closed (a double quote is missing)"};
            }
            if (m_at >= m_text.size()) {
                break;
            }
            if (m_text[m_at] == m_separator) {
                endField();
                ++m_at;
                if (m_at >= m_text.size()) {
                    // A separator at the very end: the record's last field is empty.
                    break;
                }
                continue;
            }
            // A line end: CR LF, LF or CR.
            if (m_text[m_at] == '\r' && m_at + 1 < m_text.size() && m_text[m_at + 1] == '\n') {
                ++m_at;
            }
            ++m_at;
            endRecord();
            ++m_line;
            m_current.line = m_line;
        }
        if (!m_field.empty() || !m_current.cells.empty()) {
            endRecord();
        }
        return std::move(m_records);
    }

private:
    /// Reads a field up to the separator or line end that ends it; false when a quoted field
    /// is never closed.
    bool readField() {
        // The start of a field: blanks, then possibly an opening quote.
        std::size_t start = m_at;
        while (start < m_text.size() && (m_text[start] == ' ' || m_text[start] == '\t') &&
               m_text[start] != m_separator) {
            ++start;
        }
        if (start >= m_text.size() || m_text[start] != '"') {
            takeUntilFieldEnd(true);
            return true;
        }
        m_openedOn = m_line;
        m_at = start + 1;
        if (!readQuoted()) {
            return false;
        }
        // Anything after the closing quote up to the separator belongs to the field; blanks
        // there are dropped.
        takeUntilFieldEnd(false);
        return true;
    }

    /// The quoted part of a field, after its opening quote; false when it is never closed.
    bool readQuoted() {
        while (m_at < m_text.size()) {
            const char c = m_text[m_at];
            if (c == '"') {
                if (m_at + 1 < m_text.size() && m_text[m_at + 1] == '"') {
                    m_field += '"';
                    m_at += 2;
                    continue;
                }
                ++m_at;
                return true;
            }
            if (c == '\n' ||
                (c == '\r' && (m_at + 1 >= m_text.size() || m_text[m_at + 1] != '\n'))) {
                ++m_line;
            }
            m_field += c;
            ++m_at;
        }
        return false;
    }

    void takeUntilFieldEnd(bool keepBlanks) {
        while (m_at < m_text.size() && m_text[m_at] != m_separator && !isLineEnd(m_text[m_at])) {
            if (keepBlanks || (m_text[m_at] != ' ' && m_text[m_at] != '\t')) {
                m_field += m_text[m_at];
            }
            ++m_at;
        }
    }

    void endField() {
        m_current.cells.push_back(std::move(m_field));
        m_field.clear();
    }

    void endRecord() {
        endField();
        const bool blank =
            std::all_of(m_current.cells.begin(), m_current.cells.end(),
                        [](const std::string& cell) { return trimBlanks(cell).empty(); });
        if (!blank) {
            m_records.push_back(std::move(m_current));
        }
        m_current = Record{};
    }

    std::string_view m_text;
    char m_separator;
    std::size_t m_at = 0;
    int m_line = 1;
    int m_openedOn = 1; ///< the line of the last opening quote
    std::string m_field;
    Record m_current;
    std::vector<Record> m_records;
};

} // namespace

Expected<CsvTable> CsvTable::parse(std::string_view text, std::string fileName) {
    CsvTable table;
    table.m_fileName = std::move(fileName);
    const auto fail = [&](const std::string& reason) {
        return Error{Error::Kind::FileRead, table.m_fileName + ": " + reason};
    };
    if (text.find('\0') != std::string_view::npos) {
        return fail("it holds binary data, not the text of a CSV file");
    }
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        text.remove_prefix(kByteOrderMark.size());
    }
    table.m_separator = detectSeparator(text);
    const char sep = table.m_separator;
    Expected<std::vector<Record>> records = RecordReader(text, sep).read();
    if (!records) {
        return fail(records.error().message);
    }
    if (records->empty()) {
        return fail("the file is empty; it needs a header line naming its columns");
    }
    table.m_headerLine = records->front().line;
    for (const std::string& name : records->front().cells) {
        table.m_header.emplace_back(trimBlanks(name));
    }
    // Empty header cells at the end of the line (a spreadsheet's trailing separators) are no
    // columns.
    while (!table.m_header.empty() && table.m_header.back().empty()) {
        table.m_header.pop_back();
    }
    for (std::size_t r = 1; r < records->size(); ++r) {
        Record& row = (*records)[r];
        for (std::size_t c = table.m_header.size(); c < row.cells.size(); ++c) {
            if (!trimBlanks(row.cells[c]).empty()) {
                return fail("line " + std::to_string(row.line) + ", column " +
                            std::to_string(c + 1) + ": the value \"" + row.cells[c] +
                            "\" lies beyond the " + std::to_string(table.m_header.size()) +
                            " columns the header names (the file is separated by " +
                            separatorName(sep) + ")");
            }
        }
        row.cells.resize(table.m_header.size());
        table.m_rows.push_back(Row{std::move(row.cells), row.line});
    }
    if (sep != ',') {
        table.findDecimalComma();
    }
    return table;
}

void CsvTable::findDecimalComma() {
    for (int r = 0; r < rowCount(); ++r) {
        for (int c = 0; c < columnCount(); ++c) {
            if (isCommaNumber(trimBlanks(cell(r, c)))) {
                m_decimalComma = true;
                m_firstCommaNumber =
                    "line " + std::to_string(lineOf(r)) + ", column " + std::to_string(c + 1);
                return;
            }
        }
    }
}

Expected<CsvTable> CsvTable::read(const std::string& path) {
    Expected<std::string> bytes = readWholeFile(path, kMaxCsvBytes);
    if (!bytes) {
        return bytes.error();
    }
    return fromBytes(*bytes, path);
}

Expected<std::pair<CsvTable, std::string>> CsvTable::readWithBytes(const std::string& path) {
    Expected<std::string> bytes = readWholeFile(path, kMaxCsvBytes);
    if (!bytes) {
        return bytes.error();
    }
    Expected<CsvTable> table = fromBytes(*bytes, path);
    if (!table) {
        return table.error();
    }
    return std::pair{std::move(*table), std::move(*bytes)};
}

Expected<CsvTable> CsvTable::fromBytes(std::string_view bytes, std::string fileName) {
    return parse(decodeToUtf8(bytes), std::move(fileName));
}

const std::string& CsvTable::cell(int row, int column) const {
    static const std::string kEmpty;
    const std::vector<std::string>& cells = m_rows[row].cells;
    return column < static_cast<int>(cells.size()) ? cells[column] : kEmpty;
}

std::string CsvTable::where(int row, int column) const {
    return m_fileName + ", line " + std::to_string(lineOf(row)) + ", column " +
           std::to_string(column + 1) + " (" + header(column) + ")";
}

std::string CsvTable::whereHeader(int column) const {
    return m_fileName + ", line " + std::to_string(m_headerLine) + ", column " +
           std::to_string(column + 1) + " (" + header(column) + ")";
}

Error CsvTable::errorAt(const std::string& place, const std::string& reason) const {
    return Error{Error::Kind::FileRead, place + ": " + reason};
}

Expected<std::string> CsvTable::numberText(int row, int column) const {
    std::string text(trimBlanks(cell(row, column)));
    if (text.empty()) {
        return errorAt(where(row, column), "the value is missing");
    }
    if (m_decimalComma) {
        if (isCommaNumber(text)) {
            text[text.find(',')] = '.';
        } else if (text.find('.') != std::string::npos && isNumeric(text)) {
            return errorAt(where(row, column),
                           "\"" + text + "\" has a decimal point, but this file writes decimal " +
                               "commas (" + m_firstCommaNumber +
                               "); write every number the same way");
        }
    }
    if (!isNumeric(text)) {
        std::string reason = "\"" + text + "\" is not a number";
        if (text.find(kTypographicMinus) != std::string::npos) {
            reason += " (its minus sign is the typographic one; use the plain hyphen-minus)";
        } else if (!m_decimalComma && text.find(',') != std::string::npos) {
            reason += " (a decimal comma can only be read in a file separated by semicolons "
                      "or tabs)";
        }
        return errorAt(where(row, column), reason);
    }
    return text;
}

std::string csvField(std::string_view text) {
    const bool needsQuotes = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                             (!text.empty() && (text.front() == ' ' || text.back() == ' ' ||
                                                text.front() == '\t' || text.back() == '\t'));
    if (!needsQuotes) {
        return std::string(text);
    }
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') {
            out += '"';
        }
        out += c;
    }
    out += '"';
    return out;
}

} // namespace fenlowick
