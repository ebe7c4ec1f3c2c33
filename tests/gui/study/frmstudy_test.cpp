#include "gui/study/frmstudy.h"

#include "core/base/atomicfile.h"
#include "gui/calcui/frmprogress.h"
#include "gui/study/figureview.h"
#include "gui/study/studyresultspanel.h"
#include "gui/study/studysettingspanel.h"
#include "gui/study/studytablepanel.h"
#include "support/goldenpicture.h"
#include "support/guitestsupport.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

namespace fenlowick {
namespace {

namespace fs = std::filesystem;

const fs::path kCases = fs::path(FENLOWICK_TEST_DATA) / "studies" / "cases";

QString pathOf(const fs::path& path) {
    return QString::fromStdString(path.string());
}

/// Every file under a folder, by its path relative to it, with its bytes.
std::map<std::string, std::string> filesUnder(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        if (item.is_regular_file()) {
            files[item.path().lexically_relative(folder).generic_string()] =
                test::readFile(item.path());
        }
    }
    return files;
}

/// Expects the two folders to hold the same files, byte for byte.
void expectSameFolder(const fs::path& window, const fs::path& cli) {
    const auto ours = filesUnder(window);
    const auto theirs = filesUnder(cli);
    ASSERT_FALSE(theirs.empty()) << cli;
    std::vector<std::string> names;
    for (const auto& [name, bytes] : ours) {
        names.push_back(name);
    }
    std::vector<std::string> cliNames;
    for (const auto& [name, bytes] : theirs) {
        cliNames.push_back(name);
    }
    EXPECT_EQ(names, cliNames);
    for (const auto& [name, bytes] : theirs) {
        const auto at = ours.find(name);
        if (at != ours.end() && name != "study-files.txt") {
            EXPECT_TRUE(at->second == bytes) << name << " differs";
        }
    }
    // The record names the same files, so it is the same too.
    EXPECT_TRUE(std::any_of(ours.begin(), ours.end(), [](const auto& file) {
        return file.first.ends_with("study-files.txt");
    }));
}

int runCli(const std::vector<std::string>& arguments) {
    return test::exitCodeOf(test::startCli(arguments, {}));
}

class StudyWindowTest : public ::testing::Test {
protected:
    StudyWindowTest() { window.setStartFolder(pathOf(temp.path())); }

    void loadCase(const std::string& name) {
        const fs::path folder = kCases / name;
        ASSERT_TRUE(window.loadTable(StudyTableKind::Sources, pathOf(folder / "sources.csv")));
        ASSERT_TRUE(window.loadTable(StudyTableKind::Consumers, pathOf(folder / "consumers.csv")));
        ASSERT_TRUE(window.loadTable(StudyTableKind::Discrimination,
                                     pathOf(folder / "discrimination.csv")));
        ASSERT_TRUE(window.study().has_value()) << window.studyMessage().toStdString();
    }

    /// Types into a box and leaves it, as a user does.
    void type(QLineEdit* box, const QString& text) {
        if (!window.isActiveWindow()) {
            window.showWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        }
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, text);
        window.settings()->drawsBox()->setFocus();
    }

    /// Clicks Run and waits for the run's end.
    void runAndWait() {
        QSignalSpy finished(&window, &frmStudy::runFinished);
        window.runButton()->click();
        ASSERT_TRUE(window.isRunning());
        ASSERT_TRUE(finished.wait(120000));
    }

    test::TempDir temp;
    test::RecordingNotifier notes;
    frmStudy window;
};

// Most draws without a solution: the window says so as the command line does, naming the
// consumers left out of their groups.
TEST_F(StudyWindowTest, NotesDrawsWithoutASolutionAsTheCommandLineDoes) {
    loadCase("summary-rows");
    type(window.settings()->incrementBox(), u"2"_s);
    type(window.settings()->toleranceBox(), u"0.01"_s);
    window.settings()->drawsBox()->setValue(20);
    type(window.settings()->seedBox(), u"7"_s);
    runAndWait();
    const fs::path folder = kCases / "summary-rows";
    const std::string err = temp.file("err");
    ASSERT_EQ(test::exitCodeOf(test::startCli(
                  {"study", (folder / "sources.csv").string(), (folder / "consumers.csv").string(),
                   "-d", (folder / "discrimination.csv").string(), "-i", "2", "-t", "0.01",
                   "--draws", "20", "--seed", "7", "--no-figures", "-q", "-o", temp.file("cli")},
                  {{}, err, {}})),
              0);
    const std::string prefix = "fenlowick-cli: note: ";
    std::string note = test::readFile(err);
    ASSERT_TRUE(note.starts_with(prefix)) << note;
    note = note.substr(prefix.size(), note.find('\n') - prefix.size());
    ASSERT_EQ(notes.messages.size(), 1) << notes.messages.join(u"|"_s).toStdString();
    EXPECT_EQ(notes.messages.value(0).toLower().toStdString(), note + ".");
}

struct SaveAllCase {
    const char* name;
    int computes; ///< the index in the Compute list
    const char* increment;
    int draws;
    bool byGroup;
    std::vector<std::string> cli; ///< the command's options besides the tables and -o
};

// Save all against the command line on the same settings, each set by the window's boxes:
// the feasible sets alone, with draws and --by, the posterior, and both with draws.
TEST_F(StudyWindowTest, SaveAllWritesTheCommandLinesFilesByteForByte) {
    window.showWindow();
    loadCase("summary-rows");
    const fs::path folder = kCases / "summary-rows";
    const std::vector<std::string> tables = {(folder / "sources.csv").string(),
                                             (folder / "consumers.csv").string(), "-d",
                                             (folder / "discrimination.csv").string()};
    const std::vector<SaveAllCase> cases = {
        {"feasible", 0, "2", 0, false, {"-i", "2", "-t", "0.5"}},
        {"feasible-by-draws",
         0,
         "2",
         20,
         true,
         {"-i", "2", "-t", "0.5", "--draws", "20", "--seed", "7", "--by", "Group"}},
        {"posterior-by", 1, "5", 0, true, {"-i", "5", "--posterior", "--by", "Group"}},
        {"both-draws", 2, "5", 4, false, {}}};
    for (const SaveAllCase& c : cases) {
        SCOPED_TRACE(c.name);
        window.settings()->computeList()->setCurrentIndex(c.computes);
        type(window.settings()->incrementBox(), QString::fromLatin1(c.increment));
        type(window.settings()->toleranceBox(), u"0.5"_s);
        window.settings()->drawsBox()->setValue(c.draws);
        type(window.settings()->seedBox(), u"7"_s);
        window.settings()->factorBox(u"Group"_s)->setChecked(c.byGroup);
        EXPECT_EQ(window.settings()->message(), QString());
        runAndWait();
        ASSERT_TRUE(window.saveAllButton()->isEnabled())
            << notes.messages.join(u"\n"_s).toStdString();
        const fs::path ours = temp.path() / c.name / "window";
        window.setFolderChooser([&](const QString&) { return pathOf(ours); });
        window.saveAllButton()->click();
        const auto cli = [&](std::vector<std::string> options, const fs::path& out) {
            std::vector<std::string> words = {"study"};
            words.insert(words.end(), tables.begin(), tables.end());
            words.insert(words.end(), options.begin(), options.end());
            words.push_back("-o");
            words.push_back(out.string());
            return runCli(words);
        };
        const fs::path theirs = temp.path() / c.name / "cli";
        if (c.computes == 2) {
            // Both: the feasible sets and the posterior, each in its folder.
            ASSERT_EQ(cli({"-i", "5", "--draws", "4", "--seed", "7", "-t", "0.5"},
                          theirs / "feasible-sets"),
                      0);
            ASSERT_EQ(cli({"-i", "5", "--draws", "4", "--seed", "7", "--posterior"},
                          theirs / "posterior"),
                      0);
        } else {
            ASSERT_EQ(cli(c.cli, theirs), 0);
        }
        expectSameFolder(ours, temp.path() / c.name / "cli");
    }
}

// The window's command line and its study file give the command line the same study.
TEST_F(StudyWindowTest, TheShownCommandLineAndTheStudyFileRunTheSameStudy) {
    loadCase("raw-rows");
    type(window.settings()->incrementBox(), u"2"_s);
    type(window.settings()->toleranceBox(), u"0.6"_s);
    window.settings()->lowLimitBox(0)->setValue(10);
    runAndWait();
    const fs::path ours = temp.path() / "window";
    ASSERT_TRUE(window.saveAll(pathOf(ours)));
    // The window's folder is the one its command line names now.
    const QString line = window.commandLineText();
    EXPECT_NE(line.indexOf(u"--limit=Algae=10-100"_s), -1) << line.toStdString();
    // Run as a shell runs it, the built tool in place of the installed one.
    QString shown = line;
    shown.replace(pathOf(ours), pathOf(temp.path() / "shown"));
    shown.replace(0, shown.indexOf(u' '), QString::fromLatin1(FENLOWICK_CLI));
    ASSERT_EQ(std::system((shown + u" -q"_s).toStdString().c_str()), 0) << shown.toStdString();
    expectSameFolder(ours, temp.path() / "shown");

    const QString studyPath = pathOf(temp.path() / "raw.fenstudy");
    ASSERT_TRUE(window.saveStudy(studyPath));
    frmStudy reopened;
    ASSERT_TRUE(reopened.openStudy(studyPath));
    EXPECT_EQ(reopened.studyFile(), window.studyFile());
    ASSERT_EQ(runCli({"study", "--study-file", studyPath.toStdString(), "-o",
                      (temp.path() / "fromfile").string(), "-q"}),
              0);
    expectSameFolder(ours, temp.path() / "fromfile");
}

TEST_F(StudyWindowTest, ARefusedTableShowsItsMessageAndKeepsThePreviousTables) {
    loadCase("one-tracer");
    StudyTablePanel* sources = window.tablePanel(StudyTableKind::Sources);
    const QString before = sources->path();
    const int rows = sources->view()->rowCount();
    ASSERT_TRUE(writeFileAtomically(temp.file("broken.csv"), "Source,Meand13C\n\"Algae,1\n"));
    EXPECT_FALSE(window.loadTable(StudyTableKind::Sources, pathOf(temp.path() / "broken.csv")));
    EXPECT_TRUE(sources->message().contains(u"broken.csv"_s)) << sources->message().toStdString();
    EXPECT_TRUE(sources->message().contains(u"line 2"_s)) << sources->message().toStdString();
    EXPECT_EQ(sources->path(), before);
    EXPECT_EQ(sources->view()->rowCount(), rows);
    EXPECT_TRUE(window.study().has_value());

    // A table that reads but does not make a study with the others: its message, with the
    // file, line and column, under it; Run says so and starts nothing.
    ASSERT_TRUE(writeFileAtomically(temp.file("consumers.csv"), "d13C,Group\n-1.5,G1\nx,G2\n"));
    EXPECT_TRUE(window.loadTable(StudyTableKind::Consumers, pathOf(temp.path() / "consumers.csv")));
    const QString message = window.tablePanel(StudyTableKind::Consumers)->message();
    EXPECT_TRUE(message.contains(u"line 3"_s) && message.contains(u"column 1"_s))
        << message.toStdString();
    EXPECT_FALSE(window.study().has_value());
    window.runButton()->click();
    EXPECT_FALSE(window.isRunning());
    EXPECT_EQ(notes.messages.value(0), message);
}

// Files dropped on the window find their tables by name; one dropped on a table is that
// table's whatever its name; a name that says nothing is refused with a message.
TEST_F(StudyWindowTest, DroppedFilesFindTheirTables) {
    const fs::path folder = kCases / "raw-rows";
    const auto drop = [&](QWidget* target, const std::vector<fs::path>& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const fs::path& path : paths) {
            urls << QUrl::fromLocalFile(pathOf(path));
        }
        data.setUrls(urls);
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        // Straight to the widget: the application delivers drops only during a drag.
        static_cast<QObject*>(target)->event(&event);
    };
    drop(&window,
         {folder / "discrimination.csv", folder / "consumers.csv", folder / "sources.csv"});
    ASSERT_TRUE(window.study().has_value()) << window.studyMessage().toStdString();
    EXPECT_EQ(window.tablePanel(StudyTableKind::Discrimination)->path(),
              pathOf(folder / "discrimination.csv"));
    ASSERT_TRUE(writeFileAtomically(temp.file("lake.csv"), "d13C,d15N\n1,2\n"));
    drop(window.tablePanel(StudyTableKind::Consumers), {temp.path() / "lake.csv"});
    EXPECT_EQ(window.tablePanel(StudyTableKind::Consumers)->path(),
              pathOf(temp.path() / "lake.csv"));
    drop(&window, {temp.path() / "lake.csv"});
    EXPECT_EQ(notes.messages.size(), 1);
    EXPECT_TRUE(notes.messages.value(0).contains(u"lake.csv"_s));
}

TEST_F(StudyWindowTest, LeavingABoxShowsTheCommandLinesMessage) {
    loadCase("summary-rows");
    test::TempDir capture;
    const auto cliMessage = [&](const std::vector<std::string>& options) {
        std::vector<std::string> words = {"study", (kCases / "summary-rows/sources.csv").string(),
                                          (kCases / "summary-rows/consumers.csv").string()};
        words.insert(words.end(), options.begin(), options.end());
        test::exitCodeOf(test::startCli(words, {{}, capture.file("err"), {}}));
        std::string text = test::readFile(capture.file("err"));
        text = text.substr(text.find(": ") + 2);
        return QString::fromStdString(text.substr(0, text.find('\n')));
    };
    type(window.settings()->incrementBox(), u"0"_s);
    EXPECT_EQ(window.settings()->message(), cliMessage({"-i", "0", "-t", "1"}));
    type(window.settings()->incrementBox(), u"5"_s);
    EXPECT_EQ(window.settings()->message(), QString());
    type(window.settings()->toleranceBox(), u"wide"_s);
    EXPECT_EQ(window.settings()->message(), cliMessage({"-i", "5", "-t", "wide"}));
    type(window.settings()->toleranceBox(), u"0.5"_s);
    window.settings()->lowLimitBox(0)->setValue(60);
    window.settings()->lowLimitBox(1)->setValue(60);
    window.settings()->lowLimitBox(1)->setFocus();
    window.settings()->drawsBox()->setFocus();
    EXPECT_EQ(window.settings()->message(),
              cliMessage({"-i", "5", "-t", "0.5", "--limit", "Algae=60-100", "--limit",
                          "Zooplankton=60-100"}));
    // Run refuses what the boxes refuse, with the same message.
    window.runButton()->click();
    EXPECT_FALSE(window.isRunning());
    EXPECT_EQ(notes.messages.value(0), window.settings()->message());
}

TEST_F(StudyWindowTest, CancelStopsTheRunAndLeavesNothingToSave) {
    loadCase("summary-rows");
    type(window.settings()->incrementBox(), u"1"_s);
    window.settings()->drawsBox()->setValue(1000000);
    QSignalSpy finished(&window, &frmStudy::runFinished);
    window.runButton()->click();
    ASSERT_TRUE(window.isRunning());
    // One run at a time: Run is disabled, and clicking it anyway starts nothing new.
    EXPECT_FALSE(window.runButton()->isEnabled());
    frmProgress* progress = window.progressWindow();
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->parentWidget(), &window);
    QTRY_VERIFY_WITH_TIMEOUT(
        progress->bar()->value() > 0 || progress->timeLeftText().contains(u"s"_s), 20000);
    progress->close();
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_FALSE(window.isRunning());
    EXPECT_TRUE(notes.messages.value(0).contains(u"cancelled"_s))
        << notes.messages.join(u"|"_s).toStdString();
    EXPECT_FALSE(window.saveAllButton()->isEnabled());
    EXPECT_FALSE(window.pages()->isTabEnabled(3));
    EXPECT_FALSE(window.saveAll(pathOf(temp.path() / "out")));
    EXPECT_FALSE(fs::exists(temp.path() / "out"));
}

TEST_F(StudyWindowTest, ResultsCopyAsTextAndFiguresSaveAndPrint) {
    loadCase("tracers-reordered");
    type(window.settings()->incrementBox(), u"5"_s);
    type(window.settings()->toleranceBox(), u"1"_s);
    window.settings()->factorBox(u"Group"_s)->setChecked(true);
    runAndWait();
    StudyResultsPanel* results = window.results();
    QTableWidget* groups = results->tableTab(u"Groups"_s);
    ASSERT_NE(groups, nullptr);
    // The copied text is groups.csv with tabs for commas.
    ASSERT_TRUE(window.saveAll(pathOf(temp.path() / "out")));
    EXPECT_TRUE(notes.messages.value(0).startsWith(u"Wrote 14 files to "_s));
    notes.messages.clear();
    std::string csv = test::readFile(temp.path() / "out" / "groups.csv");
    std::replace(csv.begin(), csv.end(), ',', '\t');
    EXPECT_EQ(StudyResultsPanel::tabSeparated(groups).toStdString(), csv);
    // A figure per group of each kind, and the overview, as the folder's figures.
    std::size_t pngs = 0;
    for (const auto& item : fs::directory_iterator(temp.path() / "out" / "figures")) {
        pngs += item.path().extension() == ".png" ? 1 : 0;
    }
    EXPECT_EQ(static_cast<std::size_t>(results->figureList()->count()), pngs);
    const QString folder = pathOf(temp.path());
    results->figureList()->setCurrentIndex(0);
    for (const char* extension : {".png", ".svg", ".pdf"}) {
        const QString path = folder + u"/figure"_s + QString::fromLatin1(extension);
        results->setSaveChooser([&](const QString&) { return path; });
        results->saveFigureButton()->click();
        ASSERT_TRUE(fs::exists(path.toStdString())) << extension;
    }
    EXPECT_TRUE(test::readFile((folder + u"/figure.png"_s).toStdString()) ==
                test::readFile(temp.path() / "out" / "figures" /
                               (results->figureView()->name().toStdString() + ".png")));
    EXPECT_EQ(test::pdfPageCount((folder + u"/figure.pdf"_s).toStdString()), 1);
    results->setPrinterChooser(test::pdfPrinter(folder + u"/printed.pdf"_s));
    results->printFigureButton()->click();
    EXPECT_EQ(test::pdfPageCount((folder + u"/printed.pdf"_s).toStdString()), 1);
    EXPECT_TRUE(notes.messages.isEmpty()) << notes.messages.join(u"|"_s).toStdString();
}

/// The preview as a picture.
QImage previewImage(const frmStudy& window) {
    QImage image(450, 300, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    window.preview()->render(&painter);
    return image;
}

TEST_F(StudyWindowTest, ThePreviewFollowsTheFactorAndTheTracerPair) {
    loadCase("tracers-reordered");
    window.showWindow();
    window.pages()->setCurrentIndex(2);
    ASSERT_TRUE(window.preview()->hasFigure());
    // Carbon across and nitrogen up, whatever the tables' order; the group colours the
    // consumers.
    EXPECT_EQ(window.xAxisList()->currentText(), u"d13C"_s);
    EXPECT_EQ(window.yAxisList()->currentText(), u"d15N"_s);
    EXPECT_EQ(window.colourList()->currentText(), u"Group"_s);
    const QImage grouped = previewImage(window);
    window.colourList()->setCurrentIndex(0);
    const QImage plain = previewImage(window);
    EXPECT_NE(grouped, plain);
    window.yAxisList()->setCurrentText(u"d34S"_s);
    EXPECT_NE(previewImage(window), plain);
}

TEST_F(StudyWindowTest, LooksAsItsGoldenPictures) {
    window.showWindow();
    loadCase("summary-rows");
    // The paths are this machine's.
    QList<const QWidget*> paths;
    for (const StudyTableKind kind :
         {StudyTableKind::Sources, StudyTableKind::Consumers, StudyTableKind::Discrimination}) {
        paths << window.tablePanel(kind)->pathBox();
    }
    paths << window.findChild<QPlainTextEdit*>();
    test::expectLooksAsGolden(&window, u"study-window-data"_s, paths);
    window.pages()->setCurrentIndex(1);
    test::expectLooksAsGolden(&window, u"study-window-settings"_s,
                              {window.findChild<QPlainTextEdit*>()});
}

} // namespace
} // namespace fenlowick
