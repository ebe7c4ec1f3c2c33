#include "checks.h"
#include "datafile.h"

#include "testsupport.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

TEST(Quotes, SavingRefusesABoxWithAQuoteAndNamesItLeavingTheEarlierFile) {
    test::TempDir dir;
    const std::string path = dir.file("entry.dat");
    test::writeFile(path, "earlier");
    Entry entry = test::threeSourceEntry();
    entry.sources[2] = "Fish \"large\"";
    const Status saved = writeDataFile(path, entry);
    ASSERT_FALSE(saved.hasValue());
    EXPECT_EQ(saved.error().message, "Please remove the double quote (\") from the label of "
                                     "source row 3: the program's files cannot store it.");
    EXPECT_EQ(test::readFile(path), "earlier");
    EXPECT_EQ(test::filesIn(dir.path()), std::vector<std::string>{"entry.dat"});
}

TEST(Quotes, CalcRefusesQuotesOnlyInTextsTheResultFilesStore) {
    Entry entry = test::threeSourceEntry();
    entry.title = "a \"quoted\" title";
    Expected<CalculationInput> checked = checkEntry(entry);
    ASSERT_FALSE(checked.hasValue());
    EXPECT_EQ(checked.error().message,
              "Please remove the double quote (\") from the title: the program's files cannot "
              "store it.");

    entry = test::threeSourceEntry();
    entry.col[0][1] = "-3\"";
    checked = checkEntry(entry);
    ASSERT_FALSE(checked.hasValue());
    EXPECT_NE(checked.error().message.find("the signature of source row 2 for isotope column 1"),
              std::string::npos);

    // A box outside the run (an unused isotope label, a source row below the last) is not
    // written to the result files, so it does not stop the run.
    entry = test::threeSourceEntry();
    entry.isotope[3] = "\"";
    entry.sources[7] = "\"unused\"";
    EXPECT_TRUE(checkEntry(entry).hasValue());

    // The program's own checks come first.
    entry = test::threeSourceEntry();
    entry.title = "\"";
    entry.sources[0].clear();
    EXPECT_EQ(checkEntry(entry).error().message,
              "You forgot to enter SOURCE labels for all your data");
}

} // namespace
} // namespace fenlowick
