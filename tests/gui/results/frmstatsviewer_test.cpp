#include "gui/results/frmstatsviewer.h"

#include "gui/results/frmopentotals.h"
#include "gui/results/resultmessages.h"
#include "gui/widgets/filebrowsercontrols.h"
#include "support/guitestsupport.h"
#include "support/resulttexts.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTableWidget>

namespace fenlowick {
namespace {

using Lines = std::vector<std::string>;

/// The statistics viewer with the conformance totals file generated-5.tot as run.tot in its
/// folder. Which records a file yields, how rows split into pages and how the grid becomes
/// text are TotalsGrid's to check; these tests check what the window does with them.
class StatsViewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = QString::fromStdString(temp.path().string());
        test::writeFile(temp.path() / "run.tot",
                        test::readFile(test::expectedResult("generated-5.tot")));
        viewer.setTotalsFolder(folder);
    }

    /// Opens a file through the dialog, as a click on Open does.
    void open(const QString& name) {
        viewer.openTotals()->setFileName(name);
        viewer.openTotals()->FileOpen_Click();
    }

    /// Prints the grid to a PDF file and returns its pages as pdftotext reads them, each a
    /// list of its non-empty lines with their blanks joined.
    std::vector<Lines> printedPages() {
        const QString pdf = folder + u"/grid.pdf"_s;
        viewer.setPrinterChooser(test::pdfPrinter(pdf));
        viewer.PrintData_Click();
        const QString text =
            QString::fromStdString(test::runTool("pdftotext", {"-layout", pdf.toStdString(), "-"}));
        std::vector<Lines> pages;
        for (const QString& page : text.split(QLatin1Char('\f')).mid(0, text.count(u'\f'))) {
            pages.emplace_back();
            for (const QString& line : page.split(QLatin1Char('\n'))) {
                if (!line.trimmed().isEmpty()) {
                    pages.back().push_back(line.simplified().toStdString());
                }
            }
        }
        return pages;
    }

    /// The texts of a row's twelve cells joined by `separator`, without the empty cells at
    /// its end.
    QString row(int r, QChar separator = u'|') const {
        QStringList cells;
        for (int c = 0; c < 12; ++c) {
            cells << viewer.cellText(r, c);
        }
        while (!cells.isEmpty() && cells.last().isEmpty()) {
            cells.removeLast();
        }
        return cells.join(separator);
    }

    test::TempDir temp;
    QString folder;
    test::RecordingNotifier messages;
    frmStatsViewer viewer;
};

TEST_F(StatsViewerTest, WindowAndDialogCaptionsAndHelpAreThoseOfTheProgram) {
    EXPECT_EQ(viewer.windowTitle(), u"Fenlowick - View Statistical Output"_s);
    EXPECT_EQ(viewer.openTotals()->windowTitle(), u"Fenlowick - Open Totals for viewing"_s);
    QSignalSpy help(&viewer, &frmStatsViewer::helpRequested);
    viewer.help_Click();
    viewer.openTotals()->help_Click();
    EXPECT_EQ(help, (QList<QVariantList>(2, {u"viewing.htm"_s})));
}

TEST_F(StatsViewerTest, LoadingATotalsFileFillsRowsFromTwoAndClearingEmptiesEveryCell) {
    viewer.show();
    viewer.FileOpen_Click();
    EXPECT_TRUE(viewer.openTotals()->isVisible());
    open(u"run.tot"_s);
    EXPECT_TRUE(messages.messages.isEmpty());
    EXPECT_FALSE(viewer.openTotals()->isVisible());
    EXPECT_EQ(viewer.openTotals()->fileName(), u"run.tot"_s);
    // The file's 70 records fill rows 2 to 71.
    EXPECT_EQ(row(1), QString());
    EXPECT_EQ(row(2), u"Date: |DATE|Time: |TIME"_s);
    EXPECT_EQ(row(71), u"0.316|0.1|0.224"_s);

    viewer.setCellText(0, 5, u"heading"_s);
    viewer.clearGrid();
    for (int r = 0; r < 201; ++r) {
        ASSERT_EQ(row(r), QString()) << r;
    }
}

TEST_F(StatsViewerTest, AShortRecordAMissingFileOrNoNameIsRefused) {
    test::writeFile(temp.path() / "short.tot",
                    test::record({"one"}) + test::record({"two"}) + "\"a\",\"b\",\"c\"\r\n");
    viewer.FileOpen_Click();
    open(u"short.tot"_s);
    EXPECT_EQ(messages.messages, QStringList{resultmessages::viewerAccessError()});
    // The records before the short one stay; the name is emptied and the dialog stays.
    EXPECT_EQ(row(3), u"two"_s);
    EXPECT_EQ(row(4), QString());
    EXPECT_TRUE(viewer.openTotals()->isVisible());
    EXPECT_EQ(viewer.openTotals()->fileName(), QString());

    // An empty name leaves the grid; a missing file empties it.
    messages.messages.clear();
    open(u"run.tot"_s);
    open(QString());
    EXPECT_EQ(messages.messages, QStringList{resultmessages::selectFile()});
    EXPECT_EQ(viewer.cellText(2, 0), u"Date: "_s);
    viewer.FileOpen_Click();
    open(u"missing.tot"_s);
    EXPECT_EQ(messages.messages.last(), resultmessages::viewerAccessError());
    EXPECT_EQ(viewer.cellText(2, 0), QString());
    EXPECT_TRUE(viewer.openTotals()->isVisible());
}

TEST_F(StatsViewerTest, TheDialogListsEveryFileAndAClickOrEnterOpens) {
    test::writeFile(temp.path() / "notes.txt", "x");
    viewer.FileOpen_Click();
    QListWidget* files = viewer.openTotals()->browser()->fileList();
    ASSERT_EQ(files->count(), 2);
    EXPECT_EQ(files->item(0)->text(), u"notes.txt"_s);
    emit files->itemClicked(files->item(1));
    EXPECT_EQ(viewer.cellText(3, 1), u"Lake, spring 2024"_s);
    EXPECT_FALSE(viewer.openTotals()->isVisible());

    viewer.clearGrid();
    viewer.FileOpen_Click();
    QLineEdit* name = viewer.openTotals()->browser()->nameBox();
    name->setText(u"run.tot"_s);
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_EQ(viewer.cellText(2, 0), u"Date: "_s);
    EXPECT_FALSE(viewer.openTotals()->isVisible());
}

TEST_F(StatsViewerTest, PrintsOneLinePerRowInColumnOrderOnThePagesOfThePlan) {
    open(u"run.tot"_s);
    Lines expected;
    for (int r = 0; r < 201; ++r) {
        const QString line = row(r, u' ').simplified();
        if (!line.isEmpty()) {
            expected.push_back(line.toStdString());
        }
    }
    EXPECT_EQ(printedPages(), std::vector<Lines>{expected});
    EXPECT_TRUE(messages.messages.isEmpty());

    // The pages are TotalsGrid's plan: rows 0..170 give the pages 0..80, 81..160, 161..170.
    viewer.clearGrid();
    for (int r = 0; r <= 170; ++r) {
        viewer.setCellText(r, 0, u"row %1"_s.arg(r));
    }
    Lines pages;
    for (const Lines& page : printedPages()) {
        pages.push_back(std::to_string(page.size()) + ": " + page.front() + " to " + page.back());
    }
    EXPECT_EQ(pages,
              (Lines{"81: row 0 to row 80", "80: row 81 to row 160", "10: row 161 to row 170"}));
}

TEST_F(StatsViewerTest, ANewFileOpensAtItsTopAndLongTextsHaveTooltips) {
    open(u"run.tot"_s);
    viewer.grid()->verticalScrollBar()->setValue(viewer.grid()->verticalScrollBar()->maximum());
    ASSERT_GT(viewer.grid()->verticalScrollBar()->value(), 0);
    open(u"run.tot"_s);
    EXPECT_EQ(viewer.grid()->verticalScrollBar()->value(), 0);
    const QTableWidgetItem* title = viewer.grid()->item(1, 1); // grid row 2: the title
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->toolTip(), title->text());
}

TEST_F(StatsViewerTest, PrintsWithinMarginsAndACancelOrAFailedPrinterGivesTheMessage) {
    // Copies are the printer's to make (a PDF file gets one).
    open(u"run.tot"_s);
    const QString pdf = folder + u"/one.pdf"_s;
    test::expectPrinting([&](auto chooser) { viewer.setPrinterChooser(chooser); },
                         [&] { viewer.PrintData_Click(); }, messages,
                         resultmessages::viewerPrintFailed(), pdf, 1);
    // Every word of the printout lies at least half an inch (36 points) inside the page.
    const QString boxes =
        QString::fromStdString(test::runTool("pdftotext", {"-bbox", pdf.toStdString(), "-"}));
    const QRegularExpression word(u"xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\""_s);
    int words = 0;
    for (const QRegularExpressionMatch& match : word.globalMatch(boxes)) {
        ++words;
        EXPECT_GE(match.captured(1).toDouble(), 35.9);
        EXPECT_GE(match.captured(2).toDouble(), 35.9);
    }
    EXPECT_GT(words, 20);
}

TEST_F(StatsViewerTest, CopyPutsTheGridOrTheSelectedCellsOnTheClipboard) {
    open(u"run.tot"_s);
    viewer.CopyGrid_Click();
    EXPECT_TRUE(QApplication::clipboard()->text().startsWith(
        u"Date: \tDATE\tTime: \tTIME\nTitle: \tLake, spring 2024\t\t\n"_s));
    viewer.grid()->setRangeSelected(QTableWidgetSelectionRange(16, 0, 17, 2), true);
    viewer.CopyGrid_Click();
    EXPECT_EQ(QApplication::clipboard()->text(), u"0\t1\t2\n0.1\t1\t4\n"_s);
}

TEST_F(StatsViewerTest, ExitKeepsTheGridAndTheCloseBoxDiscardsIt) {
    viewer.show();
    open(u"run.tot"_s);
    viewer.ExitViewer_Click();
    EXPECT_FALSE(viewer.isVisible());
    EXPECT_EQ(viewer.cellText(2, 0), u"Date: "_s);
    viewer.show();
    viewer.close();
    EXPECT_FALSE(viewer.isVisible());
    EXPECT_EQ(viewer.cellText(2, 0), QString());
}

TEST_F(StatsViewerTest, CancelHidesTheDialogAndItsCloseBoxResetsIt) {
    ResultFileDialog* dialog = viewer.openTotals();
    viewer.FileOpen_Click();
    dialog->setFileName(u"typed.tot"_s);
    dialog->FileCancel_Click();
    EXPECT_FALSE(dialog->isVisible());
    viewer.FileOpen_Click();
    EXPECT_EQ(dialog->fileName(), u"typed.tot"_s);
    EXPECT_EQ(dialog->folder(), folder);

    dialog->close();
    viewer.FileOpen_Click();
    EXPECT_EQ(dialog->fileName(), QString());
    EXPECT_EQ(dialog->folder(), QDir::cleanPath(QDir::currentPath()));
}

} // namespace
} // namespace fenlowick
