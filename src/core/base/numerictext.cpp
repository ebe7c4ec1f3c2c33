#include "core/base/numerictext.h"

#include "core/base/textencoding.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace fenlowick {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

/// The text without its surrounding blanks when it has the shape of a number, else nothing.
std::optional<std::string_view> numberCore(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    const std::string_view core = text.substr(begin, end - begin);
    std::size_t i = 0;
    if (i < core.size() && (core[i] == '+' || core[i] == '-')) {
        ++i;
    }
    int digits = 0;
    while (i < core.size() && isDigit(core[i])) {
        ++i;
        ++digits;
    }
    if (i < core.size() && core[i] == '.') {
        ++i;
        while (i < core.size() && isDigit(core[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    if (i < core.size() && (core[i] == 'e' || core[i] == 'E')) {
        ++i;
        if (i < core.size() && (core[i] == '+' || core[i] == '-')) {
            ++i;
        }
        int exponentDigits = 0;
        while (i < core.size() && isDigit(core[i])) {
            ++i;
            ++exponentDigits;
        }
        if (exponentDigits == 0) {
            return std::nullopt;
        }
    }
    if (i != core.size()) {
        return std::nullopt;
    }
    return core;
}

locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

} // namespace

std::optional<double> toDouble(std::string_view text) {
    const auto core = numberCore(text);
    if (!core) {
        return std::nullopt;
    }
    const std::string copy(*core);
    const double value = strtod_l(copy.c_str(), nullptr, cLocale());
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

bool isNumeric(std::string_view text) {
    return toDouble(text).has_value();
}

std::optional<float> toFloat(std::string_view text) {
    if (!isNumeric(text)) {
        return std::nullopt;
    }
    const std::string copy(*numberCore(text));
    return strtof_l(copy.c_str(), nullptr, cLocale());
}

int numberOfDecimals(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && text[begin] == ' ') {
        ++begin;
    }
    while (end > begin && text[end - 1] == ' ') {
        --end;
    }
    const std::string_view trimmed = text.substr(begin, end - begin);
    const std::size_t point = trimmed.find('.');
    if (point == std::string_view::npos) {
        return 0;
    }
    return static_cast<int>(utf8Length(trimmed.substr(point + 1)));
}

} // namespace fenlowick
