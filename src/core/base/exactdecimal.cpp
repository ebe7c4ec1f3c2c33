#include "core/base/exactdecimal.h"

#include "core/base/csvtable.h"
#include "core/base/numerictext.h"

#include <cstdlib>

namespace fenlowick {

namespace {

constexpr int kMaxDigits = 18;

Error tooLong(std::string_view text) {
    return Error{Error::Kind::Refused,
                 "\"" + std::string(text) + "\" has too many digits to add exactly"};
}

bool timesTen(std::int64_t& value, int times) {
    for (int i = 0; i < times; ++i) {
        if (__builtin_mul_overflow(value, std::int64_t{10}, &value)) {
            return false;
        }
    }
    return true;
}

} // namespace

ExactDecimal::ExactDecimal(std::int64_t coefficient, int scale)
    : m_coefficient(coefficient), m_scale(scale) {
    normalise();
}

void ExactDecimal::normalise() {
    while (m_scale > 0 && m_coefficient % 10 == 0) {
        m_coefficient /= 10;
        --m_scale;
    }
    if (m_coefficient == 0) {
        m_scale = 0;
    }
}

Expected<ExactDecimal> ExactDecimal::fromText(std::string_view text) {
    if (!isNumeric(text)) {
        return Error{Error::Kind::Refused, "\"" + std::string(text) + "\" is not a number"};
    }
    const std::string_view core = trimBlanks(text);
    std::size_t i = 0;
    bool negative = false;
    if (core[i] == '+' || core[i] == '-') {
        negative = core[i] == '-';
        ++i;
    }
    std::string digits;
    int fractionDigits = 0;
    bool inFraction = false;
    for (; i < core.size() && core[i] != 'e' && core[i] != 'E'; ++i) {
        if (core[i] == '.') {
            inFraction = true;
            continue;
        }
        digits += core[i];
        if (inFraction) {
            ++fractionDigits;
        }
    }
    long exponent = 0;
    if (i < core.size()) {
        const std::string exponentText(core.substr(i + 1));
        exponent = std::strtol(exponentText.c_str(), nullptr, 10);
        if (exponent > 1000 || exponent < -1000) {
            return tooLong(text);
        }
    }
    const std::size_t firstNonZero = digits.find_first_not_of('0');
    digits = firstNonZero == std::string::npos ? "0" : digits.substr(firstNonZero);
    // Trailing zeros of the fraction carry no value; dropping them keeps 1.50000000000000000
    // within reach.
    while (fractionDigits > 0 && digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
        --fractionDigits;
    }
    if (static_cast<int>(digits.size()) > kMaxDigits) {
        return tooLong(text);
    }
    std::int64_t coefficient = std::strtoll(digits.c_str(), nullptr, 10);
    long scale = fractionDigits - exponent;
    if (scale < 0) {
        if (!timesTen(coefficient, static_cast<int>(-scale))) {
            return tooLong(text);
        }
        scale = 0;
    }
    ExactDecimal value(negative ? -coefficient : coefficient, static_cast<int>(scale));
    if (value.m_scale > kMaxDigits) {
        return tooLong(text);
    }
    return value;
}

Expected<ExactDecimal> ExactDecimal::plus(const ExactDecimal& other) const {
    std::int64_t a = m_coefficient;
    std::int64_t b = other.m_coefficient;
    const int scale = std::max(m_scale, other.m_scale);
    std::int64_t sum = 0;
    if (!timesTen(a, scale - m_scale) || !timesTen(b, scale - other.m_scale) ||
        __builtin_add_overflow(a, b, &sum)) {
        return tooLong(text() + " + " + other.text());
    }
    return ExactDecimal(sum, scale);
}

std::string ExactDecimal::text() const {
    const bool negative = m_coefficient < 0;
    // The magnitude in unsigned arithmetic, so that the most negative coefficient has one.
    const auto raw = static_cast<unsigned long long>(m_coefficient);
    std::string digits = std::to_string(negative ? 0ull - raw : raw);
    std::string out = negative ? "-" : "";
    if (m_scale == 0) {
        return out + digits;
    }
    if (static_cast<int>(digits.size()) <= m_scale) {
        digits.insert(0, static_cast<std::size_t>(m_scale) - digits.size(), '0');
        return out + "." + digits;
    }
    const std::size_t point = digits.size() - static_cast<std::size_t>(m_scale);
    return out + digits.substr(0, point) + "." + digits.substr(point);
}

int ExactDecimal::decimals() const {
    return m_scale;
}

double ExactDecimal::toDouble() const {
    // At most 18 digits and an exponent: the program's own reading of a number text, which
    // rounds correctly in every locale; the text always reads.
    return fenlowick::toDouble(text()).value_or(0.0);
}

bool ExactDecimal::operator==(const ExactDecimal& other) const {
    return m_coefficient == other.m_coefficient && m_scale == other.m_scale;
}

} // namespace fenlowick
