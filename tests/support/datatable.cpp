#include "support/datatable.h"

#include "support/testsupport.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace fenlowick::test {

namespace {

std::string unescaped(const std::string& field) {
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i] == '\\' && i + 1 < field.size() ? field[++i] : '\0';
        if (c == 'x') {
            text += static_cast<char>(std::stoi(field.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            text += c == '\0' ? field[i] : c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
        }
    }
    return text;
}

/// One literal at the start of `text`, in T; `used` receives the characters it took.
template <typename T> T literalOf(const char* text, std::size_t& used) {
    char* end = nullptr;
    const float single = std::strtof(text, &end);
    const bool isFloat = *end == 'f' || sizeof(T) == sizeof(float);
    const T value = isFloat ? static_cast<T>(single) : static_cast<T>(std::strtod(text, &end));
    used = static_cast<std::size_t>(end - text) + (*end == 'f' ? 1 : 0);
    return value;
}

} // namespace

std::vector<TableRow> readTable(const std::string& name, std::size_t columns, std::size_t minRows) {
    const std::string path = std::string(FENLOWICK_TEST_DATA) + "/" + name;
    std::vector<TableRow> rows;
    int number = 0;
    for (const std::string& line : linesOf(readFile(path))) {
        ++number;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        TableRow row{number, split(line, "\t"), name + ", line " + std::to_string(number)};
        std::transform(row.fields.begin(), row.fields.end(), row.fields.begin(), unescaped);
        if (row.fields.size() != columns) {
            throw std::runtime_error(path + ", line " + std::to_string(number) + ": " +
                                     std::to_string(row.fields.size()) + " fields, not " +
                                     std::to_string(columns));
        }
        rows.push_back(std::move(row));
    }
    if (rows.size() < minRows) {
        throw std::runtime_error(path + ": missing, or fewer rows than " + std::to_string(minRows));
    }
    return rows;
}

template <typename T> T numberOf(const std::string& text) {
    std::size_t used = 0;
    T value = literalOf<T>(text.c_str(), used);
    const std::size_t op =
        used > 0 && used < text.size() ? std::string("+-*/").find(text[used]) : std::string::npos;
    if (op != std::string::npos) {
        std::size_t more = 0;
        const T other = literalOf<T>(text.c_str() + used + 1, more);
        value = op == 0   ? value + other
                : op == 1 ? value - other
                : op == 2 ? value * other
                          : value / other;
        used = more == 0 ? 0 : used + 1 + more;
    }
    if (used == 0 || used != text.size()) {
        throw std::runtime_error("not a number: " + text);
    }
    return value;
}

template float numberOf<float>(const std::string&);
template double numberOf<double>(const std::string&);

} // namespace fenlowick::test
