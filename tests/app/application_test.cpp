#include "app/application.h"

#include "datafile.h"
#include "entry/frmdatafile.h"
#include "entry/frmmain.h"
#include "messages.h"
#include "recordingnotifier.h"
#include "testsupport.h"
#include "widgets/filebrowsercontrols.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace fenlowick {
namespace {

class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        program.setOutputNamePrompt([this](QWidget*, const QString& folder) {
            ++prompts;
            promptFolder = folder;
            return answer;
        });
    }

    frmMain* main() const { return program.mainWindow(); }
    void command(const char* name) { main()->menuCommand(QString::fromLatin1(name))->trigger(); }
    QString start() const { return QString::fromStdString(temp.path().string()); }

    test::TempDir temp;
    test::RecordingNotifier notes;
    Application program{start()};
    QString answer;
    QString promptFolder;
    int prompts = 0;
};

TEST_F(ApplicationTest, FileShowsTheDataDialogAtTheDataFolder) {
    frmDataFile* dialog = program.dataFileDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->isVisible());
    command("FileOpen");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->controls().folder(), start() + QStringLiteral("/data"));
    EXPECT_TRUE(notes.messages.isEmpty());
}

TEST_F(ApplicationTest, TheDataDialogKeepsFolderAndNameBetweenShowings) {
    command("FileOpen");
    frmDataFile* dialog = program.dataFileDialog();
    dialog->controls().setFolder(start() + QStringLiteral("/output"));
    dialog->controls().setFileName(QStringLiteral("kept"));
    dialog->FileCancel_Click();
    EXPECT_FALSE(dialog->isVisible());
    command("FileOpen");
    EXPECT_EQ(program.dataFileDialog(), dialog);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->controls().folder(), start() + QStringLiteral("/output"));
    EXPECT_EQ(dialog->controls().fileName(), QStringLiteral("kept"));
}

TEST_F(ApplicationTest, ClosingTheDataDialogByItsCloseBoxResetsIt) {
    command("FileOpen");
    program.dataFileDialog()->controls().setFileName(QStringLiteral("gone"));
    program.dataFileDialog()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(program.dataFileDialog(), nullptr);

    command("FileOpen");
    frmDataFile* dialog = program.dataFileDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->controls().fileName().isEmpty());
    EXPECT_EQ(dialog->controls().folder(), start());
}

TEST_F(ApplicationTest, TheDataDialogFillsTheMainWindow) {
    const Entry entry = test::threeSourceEntry();
    test::writeFile(temp.path() / "data" / "worked.dat", serializeDataFile(entry));
    command("FileOpen");
    program.dataFileDialog()->controls().setFileName(QStringLiteral("worked.dat"));
    program.dataFileDialog()->FileOpen_Click();
    EXPECT_EQ(main()->entry(), entry);
    EXPECT_TRUE(notes.messages.isEmpty());
}

TEST_F(ApplicationTest, WindowsOfLaterWorkSaySoPlainly) {
    command("ViewOutput");
    ASSERT_EQ(notes.messages.size(), 2);
    EXPECT_TRUE(notes.messages[0].startsWith(QStringLiteral("NOTE - ")));
    EXPECT_EQ(notes.messages[1],
              QStringLiteral("The statistics viewer is not built yet in this version of "
                             "Fenlowick."));
    command("GraphData");
    command("help");
    command("FileOpen");
    program.dataFileDialog()->help_Click();
    ASSERT_EQ(notes.messages.size(), 5);
    EXPECT_TRUE(notes.messages[2].contains(QStringLiteral("graph window is not built yet")));
    EXPECT_TRUE(notes.messages[3].contains(QStringLiteral("help browser is not built yet")));
    EXPECT_TRUE(notes.messages[4].contains(QStringLiteral("help browser is not built yet")));
}

TEST_F(ApplicationTest, CalcRefusesAnIncompleteEntryBeforeAskingForAName) {
    main()->ClearForm_Click();
    command("Calculate");
    EXPECT_EQ(notes.messages, QStringList{QString::fromLatin1(messages::kNoIncrement)});
    EXPECT_EQ(prompts, 0);
}

TEST_F(ApplicationTest, CalcWritesTheResultFilesAndReportsTheTimes) {
    main()->setEntry(test::threeSourceEntry());
    answer = start() + QStringLiteral("/output/worked.txt");
    command("Calculate");
    EXPECT_EQ(prompts, 1);
    EXPECT_EQ(promptFolder, start() + QStringLiteral("/output"));
    ASSERT_EQ(notes.messages.size(), 1);
    EXPECT_TRUE(notes.messages[0].startsWith(QString::fromLatin1(messages::kCompletedPrefix)));
    EXPECT_EQ(test::filesIn(temp.path() / "output"),
              (std::vector<std::string>{"worked.out", "worked.tot"}));
}

TEST_F(ApplicationTest, CalcWithoutANameEndsSilently) {
    main()->setEntry(test::threeSourceEntry());
    command("Calculate");
    EXPECT_EQ(prompts, 1);
    EXPECT_TRUE(notes.messages.isEmpty());
    EXPECT_TRUE(test::filesIn(temp.path() / "output").empty());
}

TEST_F(ApplicationTest, CalcWithoutFeasibleSolutionsShowsTheNoticeFirst) {
    Expected<Entry> entry = readDataFile(FENLOWICK_EXAMPLES "/heron-no-solution.dat");
    ASSERT_TRUE(entry.hasValue());
    main()->setEntry(*entry);
    answer = start() + QStringLiteral("/output/heron");
    command("Calculate");
    ASSERT_EQ(notes.messages.size(), 2);
    EXPECT_EQ(notes.messages[0], QString::fromLatin1(messages::kNoObservations));
    EXPECT_TRUE(notes.messages[1].startsWith(QString::fromLatin1(messages::kCompletedPrefix)));
}

TEST_F(ApplicationTest, ExitClosesEveryWindowMostRecentFirstAndEnds) {
    class HideOrder : public QObject {
    public:
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Hide) {
                order << watched->objectName();
            }
            return false;
        }
        QStringList order;
    } hides;
    program.start();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main()));
    command("FileOpen");
    main()->installEventFilter(&hides);
    program.dataFileDialog()->installEventFilter(&hides);
    QSignalSpy ended(&program, &Application::ended);

    command("ExitProgram");
    EXPECT_EQ(ended.count(), 1);
    EXPECT_FALSE(main()->isVisible());
    EXPECT_EQ(hides.order, (QStringList{QStringLiteral("frmDataFile"), QStringLiteral("frmMain")}));
    EXPECT_TRUE(notes.messages.isEmpty());
}

} // namespace
} // namespace fenlowick
