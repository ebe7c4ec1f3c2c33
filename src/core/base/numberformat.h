#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fenlowick {

/// A single-precision number as a bare field: at most 7 significant digits, "." as the
/// decimal point, no trailing zeros, no digit before the point below 1 (.5, -.25, 1, 0).
/// Magnitudes from 1e-3 up to below 1e7 are written in plain notation, others as
/// mantissa, "E", sign and at least two exponent digits (1E-04, 1.5E+07).
std::string formatSingle(float value);

/// A double-precision number as a bare field: as formatSingle with at most 15 significant
/// digits and plain notation below 1e15.
std::string formatDouble(double value);

/// The named format "fixed": at least one integer digit and exactly two decimals, rounded
/// half away from zero on the exact binary value (0.125 gives 0.13, 0.35f gives 0.35).
std::string formatFixed(double value);

/// The format "###.00": two decimals without a leading zero (.05, .00, 1.00, -.50).
/// A negative value that rounds to zero is written without its sign.
std::string formatHundredths(double value);

/// The format "###.000": three decimals without a leading zero (.333, .000, 1.000).
std::string formatThousandths(double value);

/// The value formatHundredths writes, as a number: the value rounded half away from zero to
/// hundredths on its exact binary value, then the double nearest to that decimal. Bit for
/// bit what reading the text back gives, computed without text; a value that rounds to
/// zero gives +0. Finite values only.
double roundedHundredths(double value);

/// As roundedHundredths, to thousandths (the value formatThousandths writes).
double roundedThousandths(double value);

/// A share given in percent as the fraction of one that the result files hold: the exact
/// value of the percent share divided by 100, rounded half away from zero to two decimals,
/// then the single-precision number nearest to that decimal. 35 gives 0.35f, 12.5 0.13f.
float shareFraction(float percent);

/// A number with exactly `decimals` decimals (0 to 17), rounded half to even on its exact
/// binary value: what C's "%.*f" writes in the "C" locale, whatever the process's locale
/// (0.125 gives 0.12, -0.001 gives -0.00).
std::string formatDecimals(double value, int decimals);

/// A double as hexadecimal floating point ("0x1.8p+1", "-0x1p-3", "0x0p+0"), or "inf" and
/// "-inf": exact, whatever the process's locale, and read back by `parseHexDouble` to the
/// same double.
std::string hexDouble(double value);
/// A text `hexDouble` writes; empty for anything else (NaN included).
std::optional<double> parseHexDouble(std::string_view text);

/// An integer count as a bare field.
std::string formatCount(std::uint64_t value);

} // namespace fenlowick
