#include "recordwriter.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

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
