#include "gui/help/helppane.h"

#include "core/entry/messages.h"
#include "gui/entry/frmmain.h"
#include "gui/help/helptopiclocator.h"
#include "gui/isospace/frmisospace.h"
#include "gui/results/frmgraph.h"
#include "gui/results/frmstatsviewer.h"
#include "support/datatable.h"
#include "support/guitestsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>

#include <sstream>

namespace fenlowick {
namespace {

// The topics of the program's Help commands, and the page of the command-line tool.
const QStringList kTopics = {u"\\help.htm"_s,     u"\\file_open_save.htm"_s, u"\\calc.htm"_s,
                             u"\\graphing.htm"_s, u"\\viewing.htm"_s,        u"\\commandline.htm"_s,
                             u"\\isospace.htm"_s, u"\\study.htm"_s};

const QColor kHeading(0x00, 0x00, 0xc0);

/// A help page installed beside the test program: its path, and its text (empty when missing).
QString installedPath(const QString& name) {
    return QDir(QCoreApplication::applicationDirPath() + u"/help"_s).filePath(name);
}

QString installedPage(const QString& name) {
    QFile file(installedPath(name));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

/// The text of a page as a reader sees it: tags removed, entities decoded, blanks joined.
QString visibleText(const QString& html) {
    QTextDocument document;
    document.setHtml(html);
    return document.toPlainText().simplified();
}

/// The colour of the first main heading of the page shown; invalid when it has none.
QColor headingColour(const HelpPane& pane) {
    for (QTextBlock block = pane.document()->begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() == 1) {
            return block.charFormat().foreground().color();
        }
    }
    return {};
}

TEST(HelpPages, EveryTopicIsInstalledBesideTheProgramWithItsOwnTitleAndTheSharedStyleSheet) {
    // An empty StartFolder: the pages must come from beside the executable.
    const QTemporaryDir start;
    const HelpTopicLocator locator = HelpTopicLocator::forProgram(start.path());
    HelpPane pane(locator);
    QStringList titles;
    for (const QString& topic : kTopics) {
        SCOPED_TRACE(topic.toStdString());
        EXPECT_EQ(locator.find(topic), installedPath(HelpTopicLocator::normalisedTopic(topic)));
        pane.setSource(pane.topicAddress(topic));
        EXPECT_EQ(headingColour(pane), kHeading);
        EXPECT_FALSE(pane.documentTitle().isEmpty());
        EXPECT_FALSE(titles.contains(pane.documentTitle()));
        titles << pane.documentTitle();
    }
}

TEST(HelpPages, APageOfStartFolderWithoutItsStyleSheetTakesTheInstalledOne) {
    const QTemporaryDir start;
    ASSERT_TRUE(
        QFile::copy(installedPath(u"calc.htm"_s), QDir(start.path()).filePath(u"calc.htm"_s)));
    HelpPane pane(HelpTopicLocator::forProgram(start.path()));
    pane.setSource(pane.topicAddress(u"\\calc.htm"_s));
    ASSERT_EQ(pane.source(), QUrl::fromLocalFile(QDir(start.path()).filePath(u"calc.htm"_s)));
    EXPECT_EQ(headingColour(pane), kHeading);
}

TEST(HelpPages, EveryLinkBetweenPagesLeadsToAnExistingPageAndSection) {
    const QRegularExpression link(u"href=\"([^\"]*)\""_s);
    int links = 0;
    for (const QString& topic : kTopics) {
        const QString name = HelpTopicLocator::normalisedTopic(topic);
        const QString html = installedPage(name);
        for (const QRegularExpressionMatch& match : link.globalMatch(html)) {
            const QString target = match.captured(1);
            if (target.startsWith(u"http"_s) || target == u"help.css"_s) {
                continue;
            }
            ++links;
            const qsizetype hash = target.indexOf(QLatin1Char('#'));
            const QString file = hash < 0 ? target : target.left(hash);
            const QString section = hash < 0 ? QString() : target.mid(hash + 1);
            const QString targetHtml = installedPage(file.isEmpty() ? name : file);
            EXPECT_FALSE(targetHtml.isEmpty())
                << name.toStdString() << " -> " << target.toStdString();
            if (!section.isEmpty()) {
                EXPECT_TRUE(targetHtml.contains(u"id=\"%1\""_s.arg(section)))
                    << name.toStdString() << " -> " << target.toStdString();
            }
        }
    }
    EXPECT_GT(links, 20);
}

TEST(HelpPages, EveryMenuCommandOfEveryWindowHasItsRowOnItsPage) {
    const QTemporaryDir start;
    frmMain main(start.path());
    frmGraph graph;
    frmStatsViewer viewer;
    frmIsospace isospace;
    for (const auto& [window, page] : {std::pair<QMainWindow*, const char*>{&main, "help.htm"},
                                       {&graph, "graphing.htm"},
                                       {&viewer, "viewing.htm"},
                                       {&isospace, "isospace.htm"}}) {
        const QString html = installedPage(QString::fromLatin1(page));
        const QList<QAction*> commands = window->menuBar()->actions();
        EXPECT_GE(commands.size(), 5) << page;
        for (const QAction* command : commands) {
            const QString caption = QString(command->text()).remove(QLatin1Char('&'));
            EXPECT_TRUE(html.contains(u"<td class=\"ui\">%1</td>"_s.arg(caption)))
                << page << ": " << caption.toStdString();
        }
    }
}

TEST(HelpPages, EverySubcommandOfTheCommandLineToolHasItsSection) {
    const std::string help = test::runTool(FENLOWICK_CLI, {"--help"});
    const QString page = installedPage(u"commandline.htm"_s);
    const std::size_t start = help.find("Subcommands:\n");
    ASSERT_NE(start, std::string::npos) << help;
    int subcommands = 0;
    std::istringstream lines(help.substr(start + 13));
    for (std::string line; std::getline(lines, line) && line.starts_with("  ");) {
        const std::string name = line.substr(2, line.find(' ', 2) - 2);
        ++subcommands;
        EXPECT_TRUE(page.contains(u"<h2 id=\"%1\">"_s.arg(QString::fromStdString(name)))) << name;
    }
    EXPECT_GE(subcommands, 6);
}

TEST(HelpPages, TheCalcPageQuotesTheRunsMessagesWordForWord) {
    const QString text = visibleText(installedPage(u"calc.htm"_s));
    for (const char* message :
         {messages::kNoIncrement, messages::kNoTolerance, messages::kIncrementRange,
          messages::kTooManyDecimals, messages::kNoData, messages::kNoSourceLabels,
          messages::kNoIsotopeLabels, messages::kTooFewSources, messages::kNoObservations}) {
        EXPECT_TRUE(text.contains(QString::fromUtf8(message))) << message;
    }
}

TEST(HelpTopicLocator, TopicsAreFileNamesWhateverTheirLeadingSeparator) {
    for (const test::TableRow& row : test::readTable("gui/helptopics.tsv", 2, 4)) {
        EXPECT_EQ(HelpTopicLocator::normalisedTopic(QString::fromStdString(row.fields[0])),
                  QString::fromStdString(row.fields[1]))
            << row.where;
    }
}

} // namespace
} // namespace fenlowick
