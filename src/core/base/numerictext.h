#pragma once

#include <charconv>
#include <optional>
#include <string_view>

namespace fenlowick {

/// The one rule by which every box is read as a number: optional blanks (space or tab), an
/// optional sign, digits with at most one "." (at least one digit in all), an optional
/// exponent ("e" or "E", optional sign, digits), optional blanks. The value must be finite
/// in double precision (1e309 is not a number; 1e-400 is, and reads as 0). Empty text is
/// not a number. The decimal point is always ".", whatever the user's locale.
bool isNumeric(std::string_view text);

/// The value of a numeric text in double precision (correctly rounded), or nothing when
/// the text is not numeric.
std::optional<double> toDouble(std::string_view text);

/// The value of a numeric text in single precision, rounded once from the decimal text.
/// Nothing when the text is not numeric; an infinity when it is numeric but beyond the
/// single-precision range (callers that cannot use that must check).
std::optional<float> toFloat(std::string_view text);

/// The count of decimal places of a text: the characters after its first "." once leading
/// and trailing spaces are removed; 0 when there is no ".". Counts characters, not bytes.
int numberOfDecimals(std::string_view text);

/// A whole number written with digits only (no sign, no blanks) that T holds; nothing for
/// any other text, the empty one included. For the counts and indexes of the program's own
/// files and options, not for the boxes' numbers.
template <typename T> std::optional<T> wholeNumber(std::string_view text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace fenlowick
