#include "app/application.h"

#include "core/entry/datafile.h"
#include "gui/calcui/calculationcontroller.h"
#include "gui/calcui/frmoutputfiles.h"
#include "gui/entry/frmdatafile.h"
#include "gui/entry/frmmain.h"
#include "gui/help/frmbrowser.h"
#include "gui/help/helpbrowserhost.h"
#include "gui/help/helppane.h"
#include "gui/isospace/frmisospace.h"
#include "gui/results/frmgraph.h"
#include "gui/results/frmopengraphfile.h"
#include "gui/results/frmopentotals.h"
#include "gui/results/frmstatsviewer.h"
#include "gui/study/frmstudy.h"
#include "gui/widgets/filebrowsercontrols.h"
#include "support/guitestsupport.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QPushButton>

namespace fenlowick {
namespace {

class ApplicationTest : public ::testing::Test {
protected:
    frmMain* main() const { return program.mainWindow(); }
    frmOutputFiles* outputDialog() const { return program.calculation()->outputDialog(); }

    void command(const char* name) { main()->menuCommand(QString::fromLatin1(name))->trigger(); }
    QString start() const { return QString::fromStdString(temp.path().string()); }

    test::TempDir temp;
    test::RecordingNotifier notes;
    Application program{start()};
};

TEST_F(ApplicationTest, FileShowsTheDataDialogWithItsFolderAndNameUntilItsCloseBoxResetsIt) {
    command("FileOpen");
    frmDataFile* dialog = program.dataFileDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->controls().folder(), start() + u"/data"_s);
    // That it fills the main window shows in ADataFileGivenToTheProgram...; the same dialog
    // comes back with its folder and name until its close box discards it.
    dialog->controls().setFileName(u"worked.dat"_s);
    dialog->controls().setFolder(start() + u"/output"_s);
    command("FileOpen");
    EXPECT_EQ(program.dataFileDialog(), dialog);
    EXPECT_EQ(dialog->controls().folder(), start() + u"/output"_s);
    EXPECT_EQ(dialog->controls().fileName(), u"worked.dat"_s);
    dialog->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(program.dataFileDialog(), nullptr);
    command("FileOpen");
    ASSERT_NE(program.dataFileDialog(), nullptr);
    EXPECT_TRUE(program.dataFileDialog()->controls().fileName().isEmpty());
    EXPECT_TRUE(notes.messages.isEmpty());
}

TEST_F(ApplicationTest, ADataFileGivenToTheProgramOpensIntoTheEntryAndTheDialogsFolder) {
    const Entry entry = test::threeSourceEntry();
    std::filesystem::create_directory(temp.path() / "elsewhere");
    test::writeFile(temp.path() / "elsewhere" / "worked.dat", serializeDataFile(entry));
    program.loadDataFile(start() + u"/elsewhere/worked.dat"_s);
    EXPECT_EQ(main()->entry(), entry);
    EXPECT_EQ(program.dataFileDialog()->controls().folder(), start() + u"/elsewhere"_s);
    EXPECT_TRUE(notes.messages.isEmpty());

    program.loadDataFile(start() + u"/elsewhere/missing.dat"_s);
    EXPECT_EQ(main()->entry(), entry);
    ASSERT_EQ(notes.messages.size(), 1);
    EXPECT_TRUE(notes.messages[0].startsWith(u"ERROR: Accessing the file"_s));
}

TEST_F(ApplicationTest, ViewShowsTheNoteThenAnEmptiedViewerAndGraphShowsTheGraphWindow) {
    test::writeFile(temp.path() / "output" / "worked.tot",
                    test::readFile(std::string(FENLOWICK_TEST_DATA) +
                                   "/conformance/expected/worked-three-sources.tot"));
    ASSERT_TRUE(program.statsViewer()->loadFile(start() + u"/output/worked.tot"_s));

    command("ViewOutput");
    ASSERT_EQ(notes.messages.size(), 1); // the note, checked by MainWindowTest
    EXPECT_TRUE(program.statsViewer()->isVisible());
    EXPECT_TRUE(program.statsViewer()->cellText(2, 0).isEmpty());
    EXPECT_EQ(program.statsViewer()->openTotals()->folder(), start() + u"/output"_s);

    command("GraphData");
    EXPECT_TRUE(program.graph()->isVisible());
    EXPECT_EQ(program.graph()->openGraphFile()->folder(), start() + u"/output"_s);
    EXPECT_EQ(notes.messages.size(), 1);
}

TEST_F(ApplicationTest, IsospaceShowsTheEntryAsItIsNowAndFollowsAWholeNewOne) {
    main()->setEntry(test::threeSourceEntry());
    command("IsospaceData");
    EXPECT_TRUE(program.isospace()->isVisible());
    ASSERT_TRUE(program.isospace()->plot());
    EXPECT_EQ(program.isospace()->plot()->sources.size(), 3u);
    EXPECT_TRUE(notes.messages.isEmpty());
    // Save proposes a name after the entry in the output folder.
    EXPECT_EQ(program.isospace()->defaultSaveName(),
              QDir(main()->outputFolder()).filePath(u"Worked_example-X.png"_s));

    // A data file opened (the dialog sets the whole entry) or Clear replaces what it shows.
    main()->setEntry(test::exampleEntry("geese-outside-sources"));
    ASSERT_TRUE(program.isospace()->plot());
    EXPECT_EQ(program.isospace()->plot()->sources.size(), 5u);
    EXPECT_EQ(QFileInfo(program.isospace()->defaultSaveName()).fileName(),
              QStringLiteral("Brent_geese_on_a_salt_marsh_plasma_not_corrected_for_enrichment-"
                             "d13C-d15N.png"));
    command("ClearForm");
    EXPECT_FALSE(program.isospace()->plot());
}

TEST_F(ApplicationTest, EveryHelpCommandShowsItsTopicInTheOneBrowser) {
    ASSERT_EQ(program.help()->browser(), nullptr);
    command("help");
    frmBrowser* browser = program.help()->browser();
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(browser->isVisible());
    const auto showing = [browser](const char* page) {
        return QTest::qWaitFor([browser, page] {
            return !browser->isBusy() &&
                   browser->page()->source().fileName() == QString::fromLatin1(page);
        });
    };
    EXPECT_TRUE(showing("help.htm"));
    command("FileOpen");
    program.dataFileDialog()->help_Click();
    EXPECT_EQ(program.help()->browser(), browser);
    EXPECT_TRUE(showing("file_open_save.htm"));
    QTest::mouseClick(outputDialog()->helpButton(), Qt::LeftButton);
    EXPECT_TRUE(showing("calc.htm"));
    // Study opens the study window, owned by the main window; its Help shows its page.
    command("StudyData");
    ASSERT_TRUE(program.study()->isVisible());
    EXPECT_EQ(program.study()->parentWidget(), main());
    program.study()->help_Click();
    EXPECT_TRUE(showing("study.htm"));
    EXPECT_TRUE(notes.messages.isEmpty());
}

TEST_F(ApplicationTest, CalcWritesTheResultFilesOfTheMainWindowsEntryIntoTheOutputFolder) {
    main()->setEntry(test::threeSourceEntry());
    QSignalSpy finished(program.calculation(), &CalculationController::runFinished);
    command("Calculate");
    ASSERT_TRUE(outputDialog()->isVisible());
    outputDialog()->setTypedName(u"worked.txt"_s);
    QTest::mouseClick(outputDialog()->saveButton(), Qt::LeftButton);
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_EQ(outputDialog()->folder(), start() + u"/output"_s);
    EXPECT_EQ(test::filesIn(temp.path() / "output"),
              (std::vector<std::string>{"worked.out", "worked.tot"}));
    // Calc, unavailable while the run lasts (CalculationControllerTest), is available again.
    EXPECT_TRUE(main()->menuCommand(u"Calculate"_s)->isEnabled());
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
    EXPECT_EQ(hides.order, (QStringList{u"frmDataFile"_s, u"frmMain"_s}));
    EXPECT_TRUE(notes.messages.isEmpty());
}

} // namespace
} // namespace fenlowick
