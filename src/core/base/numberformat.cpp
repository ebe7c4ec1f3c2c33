#include "core/base/numberformat.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string_view>

namespace fenlowick {

namespace {

/// A decimal number as sign, integer digits and fraction digits (no leading zeros in the
/// integer part except a lone "0").
struct DecimalDigits {
    bool negative = false;
    std::string integer;
    std::string fraction;
};

/// The exact decimal expansion of a double: every binary fraction has a finite one, at most
/// 1074 fraction digits long.
DecimalDigits exactDecimal(double value) {
    static constexpr int kMaxFractionDigits = 1100;
    std::array<char, 1500> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), std::fabs(value),
                      std::chars_format::fixed, kMaxFractionDigits);
    const std::string_view text(buffer.data(),
                                static_cast<std::size_t>(result.ptr - buffer.data()));
    const std::size_t point = text.find('.');
    DecimalDigits digits;
    digits.negative = std::signbit(value);
    digits.integer = std::string(text.substr(0, point));
    digits.fraction =
        point == std::string_view::npos ? std::string() : std::string(text.substr(point + 1));
    return digits;
}

/// Rounds to the given number of fraction digits, half away from zero: the magnitude goes
/// up exactly when the first dropped digit is 5 or more.
void roundHalfAway(DecimalDigits& digits, std::size_t decimals) {
    digits.fraction.resize(std::max(digits.fraction.size(), decimals), '0');
    const bool up = digits.fraction.size() > decimals && digits.fraction[decimals] >= '5';
    digits.fraction.resize(decimals);
    if (!up) {
        return;
    }
    std::string all = digits.integer + digits.fraction;
    int i = static_cast<int>(all.size()) - 1;
    while (i >= 0 && all[static_cast<std::size_t>(i)] == '9') {
        all[static_cast<std::size_t>(i)] = '0';
        --i;
    }
    if (i < 0) {
        all.insert(all.begin(), '1');
    } else {
        ++all[static_cast<std::size_t>(i)];
    }
    digits.integer = all.substr(0, all.size() - decimals);
    digits.fraction = all.substr(all.size() - decimals);
}

bool isZero(const DecimalDigits& digits) {
    return digits.integer.find_first_not_of('0') == std::string::npos &&
           digits.fraction.find_first_not_of('0') == std::string::npos;
}

std::string formatDecimals(double value, std::size_t decimals, bool leadingZero) {
    DecimalDigits digits = exactDecimal(value);
    roundHalfAway(digits, decimals);
    std::string out;
    if (digits.negative && !isZero(digits)) {
        out += '-';
    }
    if (digits.integer != "0" || leadingZero) {
        out += digits.integer;
    }
    out += '.';
    out += digits.fraction;
    return out;
}

/// `value` rounded half away from zero to a multiple of 1 / scale on its exact value, then
/// the double nearest to that decimal; +0 when it rounds to zero. From `identityFrom` (a power
/// of two) on, doubles lie more than 1 / scale apart, so the decimal, at most half of 1 / scale
/// from the value, reads back as the value itself; below it |value| * scale < 2^53.
double roundedDecimals(double value, double scale, double identityFrom) {
    const double magnitude = std::fabs(value);
    if (!(magnitude < identityFrom)) {
        return value;
    }
    // The exact product is product + error: the error of a rounded product is itself a
    // double, which fma yields unrounded.
    const double product = magnitude * scale;
    const double error = std::fma(magnitude, scale, -product);
    const double whole = std::floor(product);
    // product - whole is exact, and so is subtracting one half whenever the difference can
    // come near zero; the sign of a sum of two doubles is the sign of the exact sum.
    const double aboveHalf = (product - whole) - 0.5;
    const double units = aboveHalf + error >= 0.0 ? whole + 1.0 : whole;
    if (units == 0.0) {
        return 0.0;
    }
    // units is a whole number below 2^53, so the division is the decimal correctly rounded.
    const double rounded = units / scale;
    return value < 0.0 ? -rounded : rounded;
}

/// Bare number with the given count of significant digits (see formatSingle).
std::string formatSignificant(double value, int significant) {
    if (value == 0.0) {
        return "0";
    }
    if (!std::isfinite(value)) {
        // The checks keep overflowing numbers out of the result files; never garble one.
        return std::isnan(value) ? "NaN" : (value < 0 ? "-Infinity" : "Infinity");
    }
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::scientific, significant - 1);
    const std::string_view text(buffer.data(),
                                static_cast<std::size_t>(result.ptr - buffer.data()));
    const bool negative = text.front() == '-';
    const std::size_t ePos = text.find('e');
    std::string mantissa;
    for (char c : text.substr(negative ? 1 : 0, ePos - (negative ? 1 : 0))) {
        if (c != '.') {
            mantissa += c;
        }
    }
    int exponent = 0;
    const std::string_view exponentText = text.substr(ePos + 1);
    std::from_chars(exponentText.data() + (exponentText.front() == '+' ? 1 : 0),
                    exponentText.data() + exponentText.size(), exponent);
    while (mantissa.size() > 1 && mantissa.back() == '0') {
        mantissa.pop_back();
    }

    std::string out = negative ? "-" : "";
    if (exponent >= -3 && exponent < significant) {
        if (exponent < 0) {
            out += '.';
            out.append(static_cast<std::size_t>(-exponent - 1), '0');
            out += mantissa;
        } else if (mantissa.size() <= static_cast<std::size_t>(exponent) + 1) {
            out += mantissa;
            out.append(static_cast<std::size_t>(exponent) + 1 - mantissa.size(), '0');
        } else {
            out += mantissa.substr(0, static_cast<std::size_t>(exponent) + 1);
            out += '.';
            out += mantissa.substr(static_cast<std::size_t>(exponent) + 1);
        }
        return out;
    }
    out += mantissa.substr(0, 1);
    if (mantissa.size() > 1) {
        out += '.';
        out += mantissa.substr(1);
    }
    out += 'E';
    out += exponent < 0 ? '-' : '+';
    const std::string magnitude = std::to_string(std::abs(exponent));
    if (magnitude.size() < 2) {
        out += '0';
    }
    out += magnitude;
    return out;
}

} // namespace

std::string formatSingle(float value) {
    return formatSignificant(static_cast<double>(value), 7);
}

std::string formatDouble(double value) {
    return formatSignificant(value, 15);
}

std::string formatFixed(double value) {
    return formatDecimals(value, 2, true);
}

std::string formatHundredths(double value) {
    return formatDecimals(value, 2, false);
}

std::string formatThousandths(double value) {
    return formatDecimals(value, 3, false);
}

double roundedHundredths(double value) {
    return roundedDecimals(value, 100.0, 0x1p46);
}

double roundedThousandths(double value) {
    return roundedDecimals(value, 1000.0, 0x1p43);
}

float shareFraction(float percent) {
    // The percent rounded half away from zero to a whole number is the share in hundredths.
    // That number and 100 are both single-precision numbers, and their quotient rounded to
    // double and then to single is the quotient rounded once to single (53 >= 2 * 24 + 2
    // bits), which is what reading the two-decimal text would give.
    return static_cast<float>(std::round(static_cast<double>(percent)) / 100.0);
}

std::string formatDecimals(double value, int decimals) {
    // to_chars with a precision rounds as printf does, and never consults the locale. 400
    // characters hold any finite double in fixed notation with 17 decimals.
    char buffer[400];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return error == std::errc() ? std::string(buffer, end) : std::string();
}

std::string formatCount(std::uint64_t value) {
    return std::to_string(value);
}

std::string hexDouble(double value) {
    if (std::isinf(value)) {
        return value > 0 ? "inf" : "-inf";
    }
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::hex);
    if (error != std::errc() || std::isnan(value)) {
        return "nan";
    }
    return (std::signbit(value) ? "-0x" : "0x") + std::string(buffer, end);
}

std::optional<double> parseHexDouble(std::string_view text) {
    if (text == "inf" || text == "-inf") {
        return text == "inf" ? std::numeric_limits<double>::infinity()
                             : -std::numeric_limits<double>::infinity();
    }
    const bool negative = text.starts_with('-');
    text.remove_prefix(negative ? 1 : 0);
    if (!text.starts_with("0x") || text.size() < 3 || text[2] == '-' || text[2] == '+') {
        return std::nullopt;
    }
    double value = 0.0;
    const auto [end, error] =
        std::from_chars(text.data() + 2, text.data() + text.size(), value, std::chars_format::hex);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

} // namespace fenlowick
