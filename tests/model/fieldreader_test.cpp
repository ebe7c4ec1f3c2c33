#include "fieldreader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fenlowick {
namespace {

using Fields = std::vector<std::string>;

Fields allFields(std::string_view text) {
    FieldReader reader(text);
    Fields fields;
    while (auto field = reader.next()) {
        fields.push_back(field->text);
    }
    return fields;
}

TEST(FieldReader, SplitsTextIntoFields) {
    const Fields abcd{"a", "b", "c", "d"};
    const struct {
        const char* text;
        Fields fields;
    } cases[] = {
        // Quoted fields keep their commas.
        {"\"a, b\",\"c\"\r\n", {"a, b", "c"}},
        {"\",\",\",,\"\r\n", {",", ",,"}},
        // Every line end ends a field; how fields are spread over lines plays no role.
        {"\"a\",\"b\"\r\n\"c\",\"d\"\r\n", abcd},
        {"\"a\",\"b\"\n\"c\",\"d\"\n", abcd},
        {"\"a\",\"b\"\r\"c\",\"d\"\r", abcd},
        {"a,b\r\nc,d\r\n", abcd},
        {"\"a\"\r\n\"b\",\"c\"\r\n\"d\"\r\n", abcd},
        // A quoted field can span lines.
        {"\"first\r\nsecond\",\"x\"\r\n", {"first\r\nsecond", "x"}},
        // An empty line is one empty field.
        {"\"a\"\r\n\r\n\"b\"\r\n", {"a", "", "b"}},
        {"a\n\nb", {"a", "", "b"}},
        // A missing final line end ends the last field.
        {"\"a\",\"b\"", {"a", "b"}},
        {"a,b", {"a", "b"}},
        {"\"\",\"\",\"\"\r\n", {"", "", ""}},
        {"", {}},
        // A quoted field ends at the next quote: what follows up to the comma is dropped.
        {"\"a\"junk,\"b\"\r\n", {"a", "b"}},
        {"  \"a\" ,\"b\"", {"a", "b"}},
        // Unquoted fields lose surrounding blanks only.
        {"  12.5  , x y \r\n", {"12.5", "x y"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(allFields(c.text), c.fields) << '"' << c.text << '"';
    }
}

TEST(FieldReader, TellsWhetherAFieldWasQuotedAndCountsLines) {
    FieldReader reader("\"a\",b");
    EXPECT_TRUE(reader.next()->quoted);
    EXPECT_FALSE(reader.next()->quoted);
    EXPECT_FALSE(reader.next().has_value());
    EXPECT_TRUE(reader.atEnd());

    FieldReader lines("\"a\"\r\n\"b\"\n\"c\"");
    for (int line = 1; line <= 3; ++line) {
        EXPECT_EQ(lines.line(), line);
        lines.next();
    }
}

} // namespace
} // namespace fenlowick
