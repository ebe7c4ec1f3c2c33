#pragma once

#include "core/base/expected.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace fenlowick {

/// A decimal number held exactly, as an integer coefficient and a count of decimal places,
/// for sums that must not pick up binary rounding (-26.9 + 1.63 is -25.27, not
/// -25.270000000000003).
class ExactDecimal {
public:
    /// Zero.
    ExactDecimal() = default;

    /// The exact value of a numeric text (the program's numeric rule; an exponent is
    /// allowed). Refused when the text is not numeric or needs more than 18 digits.
    static Expected<ExactDecimal> fromText(std::string_view text);

    /// The exact sum; refused when it would need more than 18 digits.
    Expected<ExactDecimal> plus(const ExactDecimal& other) const;

    /// The value in the style of the program's number fields, never in exponent form: no
    /// trailing zeros, no digit before the point when the magnitude is below 1, "-" for a
    /// negative value (-28.57, .5, -.25, 12, 0).
    std::string text() const;

    /// The decimal places of text(): the digits after the point once trailing zeros go.
    int decimals() const;

    /// The double nearest to the value (correctly rounded, as the value's text reads).
    double toDouble() const;

    bool operator==(const ExactDecimal& other) const;

private:
    ExactDecimal(std::int64_t coefficient, int scale);
    /// Drops trailing zeros of the fraction.
    void normalise();

    std::int64_t m_coefficient = 0; ///< the value times 10^m_scale
    int m_scale = 0;
};

} // namespace fenlowick
