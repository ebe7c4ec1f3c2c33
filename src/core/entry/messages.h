#pragma once

namespace fenlowick::messages {

// The program's own texts, shown exactly as they stand.

inline constexpr const char* kNoIncrement = "You forgot to enter a value for the PERCENT INCREMENT";
inline constexpr const char* kNoTolerance = "You forgot to enter a value for the TOLERANCE";
inline constexpr const char* kIncrementRange = "Please enter values between 1 and 100";
inline constexpr const char* kTooManyDecimals =
    "Can't run the calculation. The number of decimal places exceeds the maximum of 6. See the "
    "[Calc] section of the documentation for further details.";
inline constexpr const char* kNoData = "You need to enter some data before you can calculate it!";
inline constexpr const char* kNoSourceLabels =
    "You forgot to enter SOURCE labels for all your data";
inline constexpr const char* kNoIsotopeLabels =
    "You forgot to enter ISOTOPE labels for all your data";
inline constexpr const char* kTooFewSources = "You need at least 3 sources!";
inline constexpr const char* kNoObservations =
    "Total Observations = 0, so no statistics could be generated";
inline constexpr const char* kCompletedPrefix = "Completed Calculations : Began: ";

} // namespace fenlowick::messages
