#include "help/helptopiclocator.h"

#include "helptestpages.h"

#include <QDir>
#include <gtest/gtest.h>

namespace fenlowick {
namespace {

TEST(HelpTopicLocator, TopicsAreFileNamesWhateverTheirLeadingSeparator) {
    for (const auto& [topic, name] : {std::pair{"\\help.htm", "help.htm"},
                                      {"/calc.htm", "calc.htm"},
                                      {"viewing.htm", "viewing.htm"},
                                      {"sub\\page.htm", "sub/page.htm"}}) {
        EXPECT_EQ(HelpTopicLocator::normalisedTopic(QString::fromLatin1(topic)),
                  QString::fromLatin1(name));
    }
}

TEST(HelpTopicLocator, StartFolderComesFirstThenTheNextFolderAndAMissingPageIsExpectedInTheFirst) {
    const test::HelpTestPages pages;
    const HelpTopicLocator locator({pages.startFolder(), pages.besideProgram()});
    EXPECT_EQ(locator.find(QStringLiteral("\\help.htm")),
              QDir(pages.startFolder()).absoluteFilePath(QStringLiteral("help.htm")));
    EXPECT_EQ(locator.find(QStringLiteral("\\three.htm")),
              QDir(pages.besideProgram()).absoluteFilePath(QStringLiteral("three.htm")));
    EXPECT_TRUE(locator.find(QStringLiteral("\\nowhere.htm")).isEmpty());
    EXPECT_TRUE(locator.find(QString()).isEmpty());
    EXPECT_EQ(locator.expectedPath(QStringLiteral("\\nowhere.htm")),
              QDir(pages.startFolder()).absoluteFilePath(QStringLiteral("nowhere.htm")));
    // A folder is not a page.
    QDir(pages.startFolder()).mkdir(QStringLiteral("calc.htm"));
    EXPECT_TRUE(HelpTopicLocator({pages.startFolder()}).find(QStringLiteral("calc.htm")).isEmpty());
}

} // namespace
} // namespace fenlowick
