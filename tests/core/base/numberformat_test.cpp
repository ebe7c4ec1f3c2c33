#include "core/base/numberformat.h"

#include "core/base/numerictext.h"
#include "core/results/recordwriter.h"

#include "support/datatable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

namespace fenlowick {
namespace {

using test::numberOf;
using test::readTable;

/// Checks `format` on the values of the table tests/data/numberformat/<name>.tsv against
/// their exact texts.
template <typename T, typename Format> void expectTexts(const std::string& name, Format format) {
    for (const test::TableRow& row : readTable("numberformat/" + name + ".tsv", 2, 10)) {
        EXPECT_EQ(format(numberOf<T>(row.fields[0])), row.fields[1])
            << name << row.where << ": " << row.fields[0];
    }
}

TEST(NumberFormat, ExactTextsOfEveryFormat) {
    expectTexts<float>("single", formatSingle);
    expectTexts<double>("double", formatDouble);
    expectTexts<double>("fixed", formatFixed);
    expectTexts<double>("hundredths", formatHundredths);
    expectTexts<double>("thousandths", formatThousandths);
}

TEST(NumberFormat, DecimalsAreWhatCsPrintfWritesInTheCLocale) {
    // Halves of the exact binary value go to the even digit; the sign of a value that rounds
    // to zero stays.
    EXPECT_EQ(formatDecimals(0.125, 2), "0.12");
    EXPECT_EQ(formatDecimals(0.375, 2), "0.38");
    EXPECT_EQ(formatDecimals(2.5, 0), "2");
    EXPECT_EQ(formatDecimals(-0.001, 2), "-0.00");
    EXPECT_EQ(formatDecimals(1e21, 1), "1000000000000000000000.0");
    // Against printf itself (this process runs in the "C" locale) over values of every size.
    std::mt19937_64 random(20261207);
    char buffer[512];
    for (int i = 0; i < 20000; ++i) {
        const double value = std::ldexp(std::uniform_real_distribution<double>(-1.0, 1.0)(random),
                                        static_cast<int>(random() % 120) - 60);
        const int decimals = static_cast<int>(random() % 18);
        std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
        ASSERT_EQ(formatDecimals(value, decimals), buffer) << decimals << " decimals";
    }
}

TEST(NumberFormat, ShareFractionIsThePercentShareAsHundredthsRoundedHalfAway) {
    for (const test::TableRow& row : readTable("numberformat/sharefraction.tsv", 3, 10)) {
        const float fraction = shareFraction(numberOf<float>(row.fields[0]));
        EXPECT_EQ(fraction, numberOf<float>(row.fields[1])) << row.where;
        EXPECT_EQ(formatSingle(fraction), row.fields[2]) << row.where;
    }
}

TEST(NumberFormat, RoundedValuesAreTheWrittenTextsReadBack) {
    const auto same = [](double a, double b) {
        return std::signbit(a) == std::signbit(b) && a == b;
    };
    for (const test::TableRow& row : readTable("numberformat/readback.tsv", 1, 20)) {
        const double value = numberOf<double>(row.fields[0]);
        SCOPED_TRACE(row.where);
        EXPECT_TRUE(same(roundedHundredths(value), *toDouble(formatHundredths(value))));
        EXPECT_TRUE(same(roundedThousandths(value), *toDouble(formatThousandths(value))));
        const auto single = static_cast<float>(value);
        EXPECT_EQ(static_cast<float>(roundedThousandths(single)),
                  *toFloat(formatThousandths(single)));
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
