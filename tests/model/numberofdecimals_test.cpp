#include "numerictext.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

TEST(NumberOfDecimals, CountsTheCharactersAfterTheFirstPoint) {
    EXPECT_EQ(numberOfDecimals("12.50"), 2); // trailing zeros count
    EXPECT_EQ(numberOfDecimals(" -3.1 "), 1);
    EXPECT_EQ(numberOfDecimals("7"), 0);
    EXPECT_EQ(numberOfDecimals("7."), 0);
    EXPECT_EQ(numberOfDecimals(".125"), 3);
    EXPECT_EQ(numberOfDecimals("1.5E-3"), 4);
    EXPECT_EQ(numberOfDecimals("1.2.3"), 3);
    EXPECT_EQ(numberOfDecimals(".1234567"), 7);
}

TEST(NumberOfDecimals, EmptyAndBlankTextsHaveNone) {
    EXPECT_EQ(numberOfDecimals(""), 0);
    EXPECT_EQ(numberOfDecimals("   "), 0);
}

TEST(NumberOfDecimals, CountsNonNumericTextsToo) {
    EXPECT_EQ(numberOfDecimals("n.d."), 2);
    EXPECT_EQ(numberOfDecimals("a.bcdefgh"), 7);
}

TEST(NumberOfDecimals, OnlyThePointIsADecimalSeparator) {
    EXPECT_EQ(numberOfDecimals("12,5"), 0);
    EXPECT_EQ(numberOfDecimals("1,234.5"), 1);
}

TEST(NumberOfDecimals, TrimsSpacesOnlyNotTabs) {
    EXPECT_EQ(numberOfDecimals("1.5   "), 1);
    EXPECT_EQ(numberOfDecimals("1.5\t"), 2);
}

TEST(NumberOfDecimals, CountsCharactersNotBytes) {
    EXPECT_EQ(numberOfDecimals("1.\xC3\xA9"
                               "5"),
              2); // "1.é5"
}

} // namespace
} // namespace fenlowick
