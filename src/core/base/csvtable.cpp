#include "core/base/csvtable.h"

#include "core/base/atomicfile.h"
#include "core/base/numerictext.h"
#include "core/base/textencoding.h"

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
    std::size_t best = 2;
    for (std::size_t k = 0; k < kCandidates.size(); ++k) {
        if (counts[k] > counts[best]) {
            best = k;
        }
    }
    return kCandidates[best];
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

    std::vector<Row> records;
    Row current;
    std::string field;
    int line = 1;
    current.line = 1;
    std::size_t i = 0;
    const auto endField = [&] {
        current.cells.push_back(std::move(field));
        field.clear();
    };
    const auto endRecord = [&] {
        endField();
        bool blank = true;
        for (const std::string& cell : current.cells) {
            if (!trimBlanks(cell).empty()) {
                blank = false;
            }
        }
        if (!blank) {
            records.push_back(std::move(current));
        }
        current = Row{};
    };
    while (i < text.size()) {
        // The start of a field: blanks, then possibly an opening quote.
        std::size_t start = i;
        while (start < text.size() && (text[start] == ' ' || text[start] == '\t') &&
               text[start] != sep) {
            ++start;
        }
        if (start < text.size() && text[start] == '"') {
            const int openedOn = line;
            i = start + 1;
            bool closed = false;
            while (i < text.size()) {
                const char c = text[i];
                if (c == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                if (c == '\n' || (c == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) {
                    ++line;
                }
                field += c;
                ++i;
            }
            if (!closed) {
                return fail("line " + std::to_string(openedOn) +
                            ": a quoted field is never closed (a double quote is missing)");
            }
            // Anything after the closing quote up to the separator belongs to the field;
            // blanks there are dropped.
            while (i < text.size() && text[i] != sep && !isLineEnd(text[i])) {
                if (text[i] != ' ' && text[i] != '\t') {
                    field += text[i];
                }
                ++i;
            }
        } else {
            while (i < text.size() && text[i] != sep && !isLineEnd(text[i])) {
                field += text[i];
                ++i;
            }
        }
        if (i >= text.size()) {
            break;
        }
        if (text[i] == sep) {
            endField();
            ++i;
            if (i >= text.size()) {
                // A separator at the very end: the record's last field is empty.
                break;
            }
            continue;
        }
        // A line end: CR LF, LF or CR.
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
        }
        ++i;
        endRecord();
        ++line;
        current.line = line;
    }
    if (!field.empty() || !current.cells.empty()) {
        endRecord();
    }

    if (records.empty()) {
        return fail("the file is empty; it needs a header line naming its columns");
    }
    table.m_headerLine = records.front().line;
    for (const std::string& name : records.front().cells) {
        table.m_header.emplace_back(trimBlanks(name));
    }
    // Empty header cells at the end of the line (a spreadsheet's trailing separators) are no
    // columns.
    while (!table.m_header.empty() && table.m_header.back().empty()) {
        table.m_header.pop_back();
    }
    for (std::size_t r = 1; r < records.size(); ++r) {
        Row& row = records[r];
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
        table.m_rows.push_back(std::move(row));
    }

    if (sep != ',') {
        for (int r = 0; r < table.rowCount() && !table.m_decimalComma; ++r) {
            for (int c = 0; c < table.columnCount(); ++c) {
                if (isCommaNumber(trimBlanks(table.cell(r, c)))) {
                    table.m_decimalComma = true;
                    table.m_firstCommaNumber = "line " + std::to_string(table.lineOf(r)) +
                                               ", column " + std::to_string(c + 1);
                    break;
                }
            }
        }
    }
    return table;
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
