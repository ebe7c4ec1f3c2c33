#include "recordwriter.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

TEST(RecordWriter, PadRecordCompletesARecordWithEmptyTextFields) {
    std::string out;
    RecordWriter writer(out);
    writer.text("Sources:");
    writer.padRecord(11);
    EXPECT_EQ(out, "\"Sources:\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n");
}

TEST(RecordWriter, PadRecordOfZeroOrLessWritesNothing) {
    std::string out;
    RecordWriter writer(out);
    writer.padRecord(0);
    writer.padRecord(-3);
    EXPECT_EQ(out, "");
    writer.text("a");
    writer.padRecord(0);
    EXPECT_EQ(out, "\"a\"");
}

TEST(RecordWriter, PadRecordAloneWritesAWholeRecordOfEmptyFields) {
    std::string out;
    RecordWriter writer(out);
    writer.padRecord(1);
    writer.padRecord(3);
    EXPECT_EQ(out, "\"\"\r\n\"\",\"\",\"\"\r\n");
}

TEST(RecordWriter, WritesTheHeaderLinesOfTheDescription) {
    std::string out;
    RecordWriter writer(out);
    writer.text("Isotopes:");
    writer.text("X");
    writer.padRecord(10);
    writer.text("Mixtures:");
    writer.dbl(2.5);
    writer.padRecord(10);
    writer.text("C");
    writer.text("-4.25");
    writer.padRecord(10);
    writer.text("");
    writer.text("***************");
    writer.padRecord(10);
    writer.text("Mixtures:");
    writer.dbl(-19.8);
    writer.dbl(8.1);
    writer.padRecord(9);
    EXPECT_EQ(out, "\"Isotopes:\",\"X\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n"
                   "\"Mixtures:\",2.5,\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n"
                   "\"C\",\"-4.25\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n"
                   "\"\",\"***************\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n"
                   "\"Mixtures:\",-19.8,8.1,\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n");
}

TEST(RecordWriter, WritesAFeasibleRecord) {
    std::string out;
    RecordWriter writer(out);
    writer.single(0.2f);
    writer.single(0.3f);
    writer.single(0.5f);
    writer.padRecord(9);
    EXPECT_EQ(out, ".2,.3,.5,\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n");
}

TEST(RecordWriter, TextIsWrittenUnchangedInsideQuotes) {
    std::string out;
    RecordWriter writer(out);
    writer.text("a, b");
    writer.text("say \"hi\"");
    writer.text("\xC3\xA9");
    writer.endLine();
    EXPECT_EQ(out, "\"a, b\",\"say \"hi\"\",\"\xC3\xA9\"\r\n");
}

TEST(RecordWriter, EndLineEndsARecordAfterItsOwnFields) {
    std::string out;
    RecordWriter writer(out);
    writer.text("N");
    writer.count(3);
    writer.endLine();
    writer.padRecord(2);
    writer.bare(".333");
    writer.count(12345678901ull);
    writer.endLine();
    EXPECT_EQ(out, "\"N\",3\r\n\"\",\"\"\r\n.333,12345678901\r\n");
}

} // namespace
} // namespace fenlowick
