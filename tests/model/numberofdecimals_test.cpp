#include "numerictext.h"

#include <gtest/gtest.h>

#include <utility>

namespace fenlowick {
namespace {

TEST(NumberOfDecimals, CountsTheCharactersAfterTheFirstPoint) {
    // Trailing zeros and non-numeric texts count; only the point separates decimals; spaces
    // are trimmed, tabs are not; characters are counted, not bytes ("1.\u00e95" is "1.é5").
    const std::pair<const char*, int> cases[] = {
        {"12.50", 2},  {" -3.1 ", 1},    {"7", 0},        {"7.", 0},      {".125", 3},
        {"1.5E-3", 4}, {"1.2.3", 3},     {".1234567", 7}, {"", 0},        {"   ", 0},
        {"n.d.", 2},   {"a.bcdefgh", 7}, {"12,5", 0},     {"1,234.5", 1}, {"1.5   ", 1},
        {"1.5\t", 2},  {"1.\u00e95", 2}};
    for (const auto& [text, decimals] : cases) {
        EXPECT_EQ(numberOfDecimals(text), decimals) << '"' << text << '"';
    }
}

} // namespace
} // namespace fenlowick
