#include "support/datatable.h"

#include "support/testsupport.h"

#include <cstdlib>
#include <stdexcept>

namespace fenlowick::test {

namespace {

std::string unescaped(const std::string& field, const std::string& where) {
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            text += field[i];
            continue;
        }
        const char c = i + 1 < field.size() ? field[++i] : '\0';
        if (c == 'x' && i + 2 < field.size()) {
            text += static_cast<char>(std::stoi(field.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else if (c == 't' || c == 'n' || c == 'r' || c == '\\') {
            text += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : '\\';
        } else {
            throw std::runtime_error(where + ": unknown escape in " + field);
        }
    }
    return text;
}

/// One literal at the start of `text`, in T; `used` receives the characters it took.
template <typename T> T literalOf(const char* text, std::size_t& used) {
    char* end = nullptr;
    const float single = std::strtof(text, &end);
    if (*end == 'f') {
        used = static_cast<std::size_t>(end - text) + 1;
        return static_cast<T>(single);
    }
    T value;
    if constexpr (sizeof(T) == sizeof(float)) {
        value = single;
    } else {
        value = std::strtod(text, &end);
    }
    used = static_cast<std::size_t>(end - text);
    return value;
}

} // namespace

std::vector<TableRow> readTable(const std::string& name, std::size_t columns, std::size_t minRows) {
    const std::string path = std::string(FENLOWICK_TEST_DATA) + "/" + name;
    const std::string text = readFile(path);
    if (text.empty()) {
        throw std::runtime_error(path + ": missing or empty");
    }
    std::vector<TableRow> rows;
    int number = 0;
    for (const std::string& line : linesOf(text)) {
        ++number;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::string where = path + ", line " + std::to_string(number);
        TableRow row{number, {}};
        for (std::size_t start = 0;;) {
            const std::size_t tab = line.find('\t', start);
            row.fields.push_back(unescaped(line.substr(start, tab - start), where));
            if (tab == std::string::npos) {
                break;
            }
            start = tab + 1;
        }
        if (row.fields.size() != columns) {
            throw std::runtime_error(where + ": " + std::to_string(row.fields.size()) +
                                     " fields where the table has " + std::to_string(columns));
        }
        rows.push_back(std::move(row));
    }
    if (rows.size() < minRows) {
        throw std::runtime_error(path + ": " + std::to_string(rows.size()) + " rows, fewer than " +
                                 std::to_string(minRows));
    }
    return rows;
}

template <typename T> T numberOf(const std::string& text) {
    std::size_t used = 0;
    T value = literalOf<T>(text.c_str(), used);
    if (used > 0 && used + 1 < text.size()) {
        const char op = text[used];
        std::size_t more = 0;
        const T other = literalOf<T>(text.c_str() + used + 1, more);
        used += 1 + more;
        value = op == '+'   ? value + other
                : op == '-' ? value - other
                : op == '*' ? value * other
                            : value / other;
        used = std::string("+-*/").find(op) == std::string::npos || more == 0 ? 0 : used;
    }
    if (used == 0 || used != text.size()) {
        throw std::runtime_error("not a number: " + text);
    }
    return value;
}

template float numberOf<float>(const std::string&);
template double numberOf<double>(const std::string&);

} // namespace fenlowick::test
