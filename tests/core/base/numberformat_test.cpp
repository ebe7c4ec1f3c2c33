#include "core/base/numberformat.h"

#include "core/base/numerictext.h"
#include "core/results/recordwriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <iomanip>
#include <utility>

namespace fenlowick {
namespace {

template <typename T> using Text = std::pair<T, const char*>;

/// Checks `format` on each value against its exact text.
template <typename T, std::size_t N, typename Format>
void expectTexts(Format format, const Text<T> (&cases)[N]) {
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(format(value), text) << std::setprecision(17) << value;
    }
}

TEST(NumberFormat, SingleIsBareWithAtMostSevenSignificantDigits) {
    // No leading zero, no trailing zeros; an exponent outside the plain range. 1.9999999f is
    // 1.99999988...: rounding carries into a new digit.
    const Text<float> plain[] = {
        {0.5f, ".5"},      {-0.25f, "-.25"}, {1.0f, "1"},       {0.0f, "0"},       {100.0f, "100"},
        {-19.8f, "-19.8"}, {2.5f, "2.5"},    {0.35f, ".35"},    {0.05f, ".05"},    {-0.05f, "-.05"},
        {0.001f, ".001"},  {0.1f, ".1"},     {1.9999999f, "2"}, {0.0001f, "1E-04"}};
    expectTexts(formatSingle, plain);
    const Text<float> longer[] = {{1.0f / 3.0f, ".3333333"},   {2.0f / 3.0f, ".6666667"},
                                  {-2.0f / 3.0f, "-.6666667"}, {15000000.0f, "1.5E+07"},
                                  {1234567.0f, "1234567"},     {123456.7f, "123456.7"}};
    expectTexts(formatSingle, longer);
}

TEST(NumberFormat, DoubleIsBareWithAtMostFifteenSignificantDigits) {
    const Text<double> plain[] = {
        {0.5, ".5"},  {-0.25, "-.25"},  {1.0, "1"},   {0.0, "0"},
        {2.5, "2.5"}, {-19.8, "-19.8"}, {8.1, "8.1"}, {1234.5678, "1234.5678"}};
    expectTexts(formatDouble, plain);
    const Text<double> computed[] = {
        {1.0 / 3.0, ".333333333333333"},   {2.0 / 3.0, ".666666666666667"},
        {-2.0 / 3.0, "-.666666666666667"}, {0.1 + 0.2, ".3"},
        {-1980.0 / 100.0, "-19.8"},        {123456789012345.0, "123456789012345"},
        {0.9999999999999999, "1"}};
    expectTexts(formatDouble, computed);
}

// The rounding formats round half away from zero on the exact binary value: 0.125 is
// exactly halfway, 2.675 lies just below it, 1.455 just above.
TEST(NumberFormat, FixedHasOneIntegerDigitAndTwoDecimals) {
    const Text<double> cases[] = {
        {0.0, "0.00"},   {1.0, "1.00"},   {0.05, "0.05"},  {0.5, "0.50"},     {12.345678, "12.35"},
        {-0.5, "-0.50"}, {0.999, "1.00"}, {0.125, "0.13"}, {-0.125, "-0.13"}, {0.375, "0.38"},
        {0.625, "0.63"}, {2.675, "2.67"}, {0.015, "0.01"}, {1.005, "1.00"},   {0.005, "0.01"},
        {1.455, "1.46"}, {0.35f, "0.35"}, {0.075f, "0.08"}};
    expectTexts(formatFixed, cases);
}

TEST(NumberFormat, HundredthsHasTwoDecimalsAndNoLeadingZero) {
    const Text<double> cases[] = {
        {0.05, ".05"},    {0.0, ".00"},     {0.5, ".50"},       {1.0, "1.00"},   {100.0, "100.00"},
        {-0.5, "-.50"},   {-1.25, "-1.25"}, {0.999, "1.00"},    {0.0049, ".00"}, {0.125, ".13"},
        {-0.125, "-.13"}, {0.375, ".38"},   {-0.375, "-.38"},   {2.675, "2.67"}, {0.995, ".99"},
        {0.285, ".28"},   {0.005, ".01"},   {99.995, "100.00"}, {9.995, "9.99"}};
    expectTexts(formatHundredths, cases);
}

TEST(NumberFormat, ThousandthsHasThreeDecimalsAndNoLeadingZero) {
    const Text<double> plain[] = {{0.0, ".000"},       {1.0, "1.000"},   {0.5, ".500"},
                                  {12.3456, "12.346"}, {0.0625, ".063"}, {-0.0625, "-.063"},
                                  {0.1875, ".188"},    {0.3125, ".313"}, {0.0005, ".001"},
                                  {0.1665, ".167"},    {0.9995, "1.000"}};
    expectTexts(formatThousandths, plain);
    const Text<double> fractions[] = {
        {1.0 / 3.0, ".333"}, {2.0 / 3.0, ".667"}, {-1.0 / 3.0, "-.333"}, {1.0 / 6.0, ".167"}};
    expectTexts(formatThousandths, fractions);
}

TEST(NumberFormat, ShareFractionIsThePercentShareAsHundredthsRoundedHalfAway) {
    const std::pair<float, float> cases[] = {
        {0.0f, 0.0f},   {5.0f, 0.05f},  {35.0f, 0.35f}, {50.0f, 0.5f}, {100.0f, 1.0f},
        {99.0f, 0.99f}, {1.2f, 0.01f},  {12.5f, 0.13f}, {7.5f, 0.08f}, {37.5f, 0.38f},
        {62.5f, 0.63f}, {87.5f, 0.88f}, {0.5f, 0.01f},  {2.5f, 0.03f}, {-12.5f, -0.13f}};
    for (const auto& [percent, fraction] : cases) {
        EXPECT_EQ(shareFraction(percent), fraction) << percent;
    }
    EXPECT_EQ(shareFraction(2.0f * 1.2f), 0.02f);
    EXPECT_EQ(shareFraction(3.0f * 1.2f), 0.04f);
    // As written in the feasible records.
    const Text<float> written[] = {{35.0f, ".35"}, {12.5f, ".13"}, {100.0f, "1"},
                                   {0.0f, "0"},    {5.0f, ".05"},  {20.0f, ".2"}};
    expectTexts([](float percent) { return formatSingle(shareFraction(percent)); }, written);
}

// The rounding functions give what reading the written text back gives, bit for bit: exact
// halves and their neighbours, values just off a half in binary, negatives that round to
// zero (the text drops the sign), and the magnitudes where the rounding stops changing a
// value (2^46 for hundredths, 2^43 for thousandths).
TEST(NumberFormat, RoundedValuesAreTheWrittenTextsReadBack) {
    const double values[] = {0.0,
                             -0.0,
                             0.125,
                             -0.125,
                             std::nextafter(0.125, 0.0),
                             std::nextafter(0.125, 1.0),
                             0.0625,
                             -0.0625,
                             std::nextafter(0.0625, 0.0),
                             2.675,
                             1.455,
                             0.005,
                             0.015,
                             0.0005,
                             0.9995,
                             99.995,
                             -0.004,
                             -0.0004,
                             1.0 / 3.0,
                             0.1 + 0.2,
                             1e-300,
                             123456789.125,
                             0x1p46 - 0.125,
                             0x1p46 + 0.25,
                             -(0x1p43 - 0.0625),
                             0x1p43 + 0.125,
                             1e20};
    const auto same = [](double a, double b) {
        return std::signbit(a) == std::signbit(b) && a == b;
    };
    for (const double value : values) {
        EXPECT_TRUE(same(roundedHundredths(value), *toDouble(formatHundredths(value))))
            << std::setprecision(17) << value;
        EXPECT_TRUE(same(roundedThousandths(value), *toDouble(formatThousandths(value))))
            << std::setprecision(17) << value;
        const auto single = static_cast<float>(value);
        EXPECT_EQ(static_cast<float>(roundedThousandths(single)),
                  *toFloat(formatThousandths(single)))
            << std::setprecision(9) << single;
    }
}

// Whole header lines and feasible records are compared in the conformance cases; the
// counts, bare integers, here.
TEST(RecordWriter, PadRecordCompletesARecordWithEmptyTextFields) {
    std::string out;
    RecordWriter writer(out);
    writer.text("Sources:");
    writer.padRecord(11);
    const std::string sources =
        "\"Sources:\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n";
    EXPECT_EQ(out, sources);
    writer.padRecord(0); // zero or less writes nothing
    writer.padRecord(-3);
    EXPECT_EQ(out, sources);
    writer.padRecord(1); // alone: a whole record of empty fields
    writer.padRecord(3);
    writer.text("a");
    writer.padRecord(0);
    EXPECT_EQ(out, sources + "\"\"\r\n\"\",\"\",\"\"\r\n\"a\"");
}

TEST(RecordWriter, TextIsWrittenUnchangedInsideQuotesAndEndLineEndsARecord) {
    std::string out;
    RecordWriter writer(out);
    writer.text("a, b");
    writer.text("say \"hi\"");
    writer.text("\xC3\xA9");
    writer.endLine();
    writer.text("N");
    writer.count(3);
    writer.endLine();
    writer.padRecord(2);
    writer.bare(".333");
    writer.count(12345678901ull);
    writer.endLine();
    EXPECT_EQ(
        out,
        "\"a, b\",\"say \"hi\"\",\"\xC3\xA9\"\r\n\"N\",3\r\n\"\",\"\"\r\n.333,12345678901\r\n");
}

} // namespace
} // namespace fenlowick
