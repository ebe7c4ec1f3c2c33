#include "fieldreader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fenlowick {
namespace {

std::vector<std::string> allFields(std::string_view text) {
    FieldReader reader(text);
    std::vector<std::string> fields;
    while (auto field = reader.next()) {
        fields.push_back(field->text);
    }
    return fields;
}

using Fields = std::vector<std::string>;

TEST(FieldReader, QuotedFieldsKeepTheirCommas) {
    EXPECT_EQ(allFields("\"a, b\",\"c\"\r\n"), (Fields{"a, b", "c"}));
    EXPECT_EQ(allFields("\",\",\",,\"\r\n"), (Fields{",", ",,"}));
}

TEST(FieldReader, EveryLineEndEndsAField) {
    const Fields expected{"a", "b", "c", "d"};
    EXPECT_EQ(allFields("\"a\",\"b\"\r\n\"c\",\"d\"\r\n"), expected);
    EXPECT_EQ(allFields("\"a\",\"b\"\n\"c\",\"d\"\n"), expected);
    EXPECT_EQ(allFields("\"a\",\"b\"\r\"c\",\"d\"\r"), expected);
    EXPECT_EQ(allFields("a,b\r\nc,d\r\n"), expected);
}

TEST(FieldReader, HowFieldsAreSpreadOverLinesPlaysNoRole) {
    EXPECT_EQ(allFields("\"a\"\r\n\"b\",\"c\"\r\n\"d\"\r\n"), (Fields{"a", "b", "c", "d"}));
}

TEST(FieldReader, AQuotedFieldCanSpanLines) {
    EXPECT_EQ(allFields("\"first\r\nsecond\",\"x\"\r\n"), (Fields{"first\r\nsecond", "x"}));
}

TEST(FieldReader, AnEmptyLineIsOneEmptyField) {
    EXPECT_EQ(allFields("\"a\"\r\n\r\n\"b\"\r\n"), (Fields{"a", "", "b"}));
    EXPECT_EQ(allFields("a\n\nb"), (Fields{"a", "", "b"}));
}

TEST(FieldReader, MissingFinalLineEndEndsTheLastField) {
    EXPECT_EQ(allFields("\"a\",\"b\""), (Fields{"a", "b"}));
    EXPECT_EQ(allFields("a,b"), (Fields{"a", "b"}));
}

TEST(FieldReader, EmptyQuotedFieldsAndEmptyText) {
    EXPECT_EQ(allFields("\"\",\"\",\"\"\r\n"), (Fields{"", "", ""}));
    EXPECT_EQ(allFields(""), Fields{});
}

TEST(FieldReader, QuotedFieldEndsAtTheNextQuote) {
    // What follows the closing quote up to the comma is not part of any field.
    EXPECT_EQ(allFields("\"a\"junk,\"b\"\r\n"), (Fields{"a", "b"}));
    EXPECT_EQ(allFields("  \"a\" ,\"b\""), (Fields{"a", "b"}));
}

TEST(FieldReader, UnquotedFieldsLoseSurroundingBlanksOnly) {
    EXPECT_EQ(allFields("  12.5  , x y \r\n"), (Fields{"12.5", "x y"}));
}

TEST(FieldReader, TellsWhetherAFieldWasQuoted) {
    FieldReader reader("\"a\",b");
    EXPECT_TRUE(reader.next()->quoted);
    EXPECT_FALSE(reader.next()->quoted);
    EXPECT_FALSE(reader.next().has_value());
    EXPECT_TRUE(reader.atEnd());
}

TEST(FieldReader, CountsLines) {
    FieldReader reader("\"a\"\r\n\"b\"\n\"c\"");
    EXPECT_EQ(reader.line(), 1);
    reader.next();
    EXPECT_EQ(reader.line(), 2);
    reader.next();
    EXPECT_EQ(reader.line(), 3);
}

} // namespace
} // namespace fenlowick
