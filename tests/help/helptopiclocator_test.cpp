#include "help/helptopiclocator.h"

#include "helptestpages.h"

#include <QCoreApplication>
#include <QDir>
#include <gtest/gtest.h>

namespace fenlowick {
namespace {

TEST(HelpTopicLocator, TopicsAreFileNamesWhateverTheirLeadingSeparator) {
    EXPECT_EQ(HelpTopicLocator::normalisedTopic(QStringLiteral("\\help.htm")),
              QStringLiteral("help.htm"));
    EXPECT_EQ(HelpTopicLocator::normalisedTopic(QStringLiteral("/calc.htm")),
              QStringLiteral("calc.htm"));
    EXPECT_EQ(HelpTopicLocator::normalisedTopic(QStringLiteral("viewing.htm")),
              QStringLiteral("viewing.htm"));
    EXPECT_EQ(HelpTopicLocator::normalisedTopic(QStringLiteral("sub\\page.htm")),
              QStringLiteral("sub/page.htm"));
}

TEST(HelpTopicLocator, StartFolderComesFirst) {
    const test::HelpTestPages pages;
    const HelpTopicLocator locator({pages.startFolder(), pages.besideProgram()});
    EXPECT_EQ(locator.find(QStringLiteral("\\help.htm")),
              QDir(pages.startFolder()).absoluteFilePath(QStringLiteral("help.htm")));
}

TEST(HelpTopicLocator, APageMissingFromStartFolderIsTakenFromTheNextFolder) {
    const test::HelpTestPages pages;
    const HelpTopicLocator locator({pages.startFolder(), pages.besideProgram()});
    EXPECT_EQ(locator.find(QStringLiteral("\\three.htm")),
              QDir(pages.besideProgram()).absoluteFilePath(QStringLiteral("three.htm")));
}

TEST(HelpTopicLocator, AMissingPageIsNotFoundAndExpectedInStartFolder) {
    const test::HelpTestPages pages;
    const HelpTopicLocator locator({pages.startFolder(), pages.besideProgram()});
    EXPECT_TRUE(locator.find(QStringLiteral("\\nowhere.htm")).isEmpty());
    EXPECT_TRUE(locator.find(QString()).isEmpty());
    EXPECT_EQ(locator.expectedPath(QStringLiteral("\\nowhere.htm")),
              QDir(pages.startFolder()).absoluteFilePath(QStringLiteral("nowhere.htm")));
}

TEST(HelpTopicLocator, AFolderIsNotAPage) {
    const test::HelpTestPages pages;
    QDir(pages.startFolder()).mkdir(QStringLiteral("calc.htm"));
    const HelpTopicLocator locator({pages.startFolder()});
    EXPECT_TRUE(locator.find(QStringLiteral("calc.htm")).isEmpty());
}

TEST(HelpTopicLocator, TheProgramLooksInStartFolderThenBesideTheExecutable) {
    const HelpTopicLocator locator = HelpTopicLocator::forProgram(QStringLiteral("/start"));
    EXPECT_EQ(locator.folders(),
              QStringList(
                  {QStringLiteral("/start"),
                   QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("help"))}));
}

} // namespace
} // namespace fenlowick
