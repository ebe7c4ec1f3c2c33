#include "core/results/totalsfile.h"

#include "core/results/totalsstatistics.h"
#include "support/resulttexts.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

TEST(TotalsStatistics, TheWorkedExampleKeepsTheUnroundedMean) {
    // Sources A, B, C at increment 50; solutions (0,50,50), (50,50,0), (100,0,0). The
    // rounded figures of this and the other conformance runs are checked in Conformance.*.
    ShareHistograms histograms{};
    histograms[0] = {1, 1, 1};
    histograms[1] = {1, 2};
    histograms[2] = {2, 1};
    const TotalsStatistics statistics = computeTotalsStatistics(histograms, 3, 50.0f);
    EXPECT_EQ(statistics.lastLevel, 2);
    EXPECT_EQ(statistics.observations, 3u);
    EXPECT_DOUBLE_EQ(statistics.source[1].mean, 1.0 / 3.0);
    EXPECT_EQ(figuresOf(statistics, 1).stdDev, 0.289); // √(1/12)
}

// The totals files every conformance case writes are read back in Conformance.*.
TEST(TotalsFile, RefusesFilesThatAreNotTotalsFiles) {
    const auto message = [](const std::string& text) {
        Expected<TotalsFile> file = parseTotalsFile(text);
        return file ? std::string("(read)") : file.error().message;
    };
    EXPECT_EQ(message(test::readFile(test::conformanceCase("worked-three-sources.dat"))),
              "it is not a totals file: it does not begin with the \"Date: \" record of a "
              "result file");
    const std::string whole = test::readFile(test::expectedResult("worked-three-sources.tot"));
    EXPECT_EQ(message(whole.substr(0, whole.find("\"MAXIMUM\""))),
              "it is not a totals file: the \"MAXIMUM\" block is missing");
    EXPECT_EQ(message(whole.substr(0, whole.find("\"HISTOGRAM DATA\""))),
              "it is not a totals file: the \"HISTOGRAM DATA\" table is missing");
    std::string edited = whole;
    edited.replace(edited.find(".5,1,2,1"), 8, ".5,1,x,1");
    EXPECT_NE(message(edited).find("holds \"x\" where a count belongs"), std::string::npos);
    EXPECT_EQ(message(std::string("\0\1", 2)), "it is not a totals file: it holds binary data");
    // Cut off anywhere down to the last empty field of the last record: whatever is missing
    // is noticed.
    for (std::size_t length = 0; length + 4 <= whole.size(); ++length) {
        EXPECT_TRUE(message(whole.substr(0, length)).starts_with("it is not a totals file: "))
            << length;
    }
    EXPECT_TRUE(parseTotalsFile(whole.substr(0, whole.size() - 2)));
}

} // namespace
} // namespace fenlowick
