#include "gui/calcui/calculationcontroller.h"

#include "core/entry/messages.h"
#include "gui/calcui/frmoutputfiles.h"
#include "gui/calcui/frmprogress.h"
#include "support/guitestsupport.h"
#include "support/resulttexts.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <QWindow>

namespace fenlowick {
namespace {

class CalculationControllerTest : public ::testing::Test {
protected:
    void SetUp() override { folder = QString::fromStdString(temp.path().string()); }

    /// Calc, then Save in the output dialog with `name`.
    void start(const Entry& entry, const QString& name) {
        controller.calculate(entry);
        ASSERT_TRUE(controller.outputDialog()->isVisible());
        controller.outputDialog()->setFolder(folder);
        controller.outputDialog()->setTypedName(name);
        QTest::mouseClick(controller.outputDialog()->saveButton(), Qt::LeftButton);
    }

    /// start, then waits for the run's end.
    bool runWithName(const Entry& entry, const QString& name) {
        QSignalSpy finished(&controller, &CalculationController::runFinished);
        start(entry, name);
        return finished.wait(30000);
    }

    test::TempDir temp;
    QString folder;
    test::RecordingNotifier notes;
    QWidget mainWindow;
    CalculationController controller{&mainWindow};
};

TEST_F(CalculationControllerTest, ARunWritesBothFilesAndReportsBeginAndEnd) {
    // The files' bytes are the conformance cases'.
    QSignalSpy running(&controller, &CalculationController::runningChanged);
    ASSERT_TRUE(runWithName(test::threeSourceEntry(), u"worked"_s));
    EXPECT_EQ(test::filesIn(temp.path()), (std::vector<std::string>{"worked.out", "worked.tot"}));
    ASSERT_EQ(notes.messages.size(), 1);
    EXPECT_TRUE(notes.messages.first().startsWith(QString::fromLatin1(messages::kCompletedPrefix)));
    EXPECT_TRUE(notes.messages.first().contains(u"    Ended: "_s));
    EXPECT_EQ(running, (QList<QVariantList>{{true}, {false}}));
    EXPECT_FALSE(controller.progressWindow()->isVisible());
    // The bar followed the first source's share to its last value.
    EXPECT_EQ(controller.progressWindow()->bar()->value(), 100);
}

TEST_F(CalculationControllerTest, ARefusedEntryShowsItsMessageAndNoDialog) {
    Entry entry = test::threeSourceEntry();
    entry.sources[1] = " ";
    controller.calculate(entry);
    EXPECT_FALSE(controller.outputDialog()->isVisible());
    EXPECT_EQ(notes.messages, QStringList{QString::fromLatin1(messages::kNoSourceLabels)});
}

TEST_F(CalculationControllerTest, CancelOrAnEmptyNameWritesNothingAndSaysNothing) {
    controller.calculate(test::threeSourceEntry());
    controller.outputDialog()->setFolder(folder);
    controller.outputDialog()->setTypedName(u"kept"_s);
    QTest::mouseClick(controller.outputDialog()->cancelButton(), Qt::LeftButton);
    controller.calculate(test::threeSourceEntry());
    EXPECT_EQ(controller.outputDialog()->typedName(), u"kept"_s);
    controller.outputDialog()->setTypedName(QString());
    QTest::mouseClick(controller.outputDialog()->saveButton(), Qt::LeftButton);
    QTest::qWait(50);
    EXPECT_TRUE(test::filesIn(temp.path()).empty());
    EXPECT_TRUE(notes.messages.isEmpty());
    EXPECT_EQ(controller.progressWindow(), nullptr);
}

TEST_F(CalculationControllerTest, NoFeasibleSolutionGivesTheNoticeAndTheReasonBeforeTheCompletion) {
    ASSERT_TRUE(runWithName(test::entryOf(test::conformanceCase("no-feasible.dat")), u"none"_s));
    ASSERT_EQ(notes.messages.size(), 3);
    EXPECT_EQ(notes.messages.at(0), QString::fromLatin1(messages::kNoObservations));
    // Then why (the reason's text is Diagnosis').
    EXPECT_TRUE(notes.messages.at(1).startsWith(u"The mixture lies "_s));
    EXPECT_TRUE(notes.messages.at(2).startsWith(QString::fromLatin1(messages::kCompletedPrefix)));
}

TEST_F(CalculationControllerTest, AFolderThatCannotBeWrittenIsReportedWithTheFileName) {
    test::writeFile(temp.path() / "plain-file", "x");
    folder = QString::fromStdString((temp.path() / "plain-file" / "sub").string());
    ASSERT_TRUE(runWithName(test::threeSourceEntry(), u"r"_s));
    ASSERT_EQ(notes.messages.size(), 1);
    EXPECT_TRUE(notes.messages.first().contains(u"r.out"_s))
        << notes.messages.first().toStdString();
    EXPECT_FALSE(controller.progressWindow()->isVisible());
    EXPECT_EQ(test::filesIn(temp.path()), std::vector<std::string>{"plain-file"});
}

TEST_F(CalculationControllerTest, CancelOrTheProgressWindowsCloseBoxStopsALongRunAndSaysSo) {
    // What a cancelled run leaves on disk is CalculationRun's to check.
    const Entry entry = test::entryOf(FENLOWICK_TEST_DATA "/bench/bench-9-sources.dat");
    for (const bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "Cancel");
        notes.messages.clear();
        QSignalSpy finished(&controller, &CalculationController::runFinished);
        QSignalSpy running(&controller, &CalculationController::runningChanged);
        start(entry, u"long"_s);
        ASSERT_TRUE(controller.isRunning());
        EXPECT_TRUE(controller.progressWindow()->isVisible());
        // A second Calc while running is ignored.
        controller.calculate(entry);
        QTest::qWait(300);
        // Nine sources take over a second to count before the first record is written.
        EXPECT_EQ(controller.progressWindow()->timeLeftText(), u"counting solutions..."_s);
        if (closeBox) {
            controller.progressWindow()->close();
        } else {
            QTest::mouseClick(controller.progressWindow()->cancelButton(), Qt::LeftButton);
        }
        ASSERT_TRUE(finished.wait(20000));
        const auto outcome = finished.first().first().value<RunOutcome>();
        EXPECT_EQ(outcome.status, RunOutcome::Status::Cancelled);
        ASSERT_EQ(notes.messages.size(), 1);
        EXPECT_TRUE(notes.messages.first().startsWith(u"The calculation was cancelled"_s));
        EXPECT_EQ(running.count(), 2);
    }
}

// The progress window stays above the main window, and the output dialog keeps the entry
// from changing under the run it starts.
TEST_F(CalculationControllerTest, TheProgressIsKeptAboveTheMainWindowAndTheDialogIsModal) {
    mainWindow.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&mainWindow));
    EXPECT_EQ(controller.outputDialog()->windowModality(), Qt::WindowModal);
    // A name typed at once after Calc goes into the name box.
    controller.calculate(test::threeSourceEntry());
    EXPECT_EQ(controller.outputDialog()->focusWidget(),
              controller.outputDialog()->findChild<QLineEdit*>(u"FileNameText"_s));
    controller.outputDialog()->close();
    ASSERT_TRUE(runWithName(test::threeSourceEntry(), u"above"_s));
    frmProgress* progress = controller.progressWindow();
    EXPECT_EQ(progress->windowType(), Qt::Dialog);
    ASSERT_NE(progress->windowHandle(), nullptr);
    EXPECT_EQ(progress->windowHandle()->transientParent(), mainWindow.windowHandle());
}

TEST(ProgressWindow, TheTimeLeftChangesBetweenReports) {
    // Its wording and pace are TimeLeft's to check; the window's clock must move it on.
    frmProgress window;
    window.reset();
    window.show();
    window.setFractionDone(0.0);
    QTest::qWait(2100);
    window.setFractionDone(0.2); // about 8 s to go
    const QString first = window.timeLeftText();
    EXPECT_TRUE(first.startsWith(u"about "_s)) << first.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.timeLeftText() != first; }, 2500));
}

} // namespace
} // namespace fenlowick
