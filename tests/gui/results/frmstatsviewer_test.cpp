#include "gui/results/frmopentotals.h"
#include "gui/results/frmstatsviewer.h"
#include "gui/results/resultmessages.h"

#include "support/externaltools.h"
#include "support/recordingnotifier.h"
#include "support/resulttexts.h"
#include "support/testsupport.h"

#include "gui/widgets/filebrowsercontrols.h"
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace fenlowick {
namespace {

using Pages = std::vector<std::vector<std::string>>;

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

    /// Prints the grid to a PDF file and returns its path.
    QString printToPdf(const QString& name) {
        const QString pdf = folder + QLatin1Char('/') + name;
        viewer.setPrinterChooser([pdf](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            return true;
        });
        viewer.PrintData_Click();
        return pdf;
    }

    /// The pages of a PDF file as pdftotext reads them, each a list of its non-empty lines
    /// with their blanks joined.
    static Pages pdfPages(const QString& pdf) {
        const QString text =
            QString::fromStdString(test::runTool("pdftotext", {"-layout", pdf.toStdString(), "-"}));
        Pages pages;
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

    /// The texts of a row's twelve cells joined by "|", without the empty cells at its end.
    QString row(int r) const {
        QStringList cells;
        for (int c = 0; c < 12; ++c) {
            cells << viewer.cellText(r, c);
        }
        while (!cells.isEmpty() && cells.last().isEmpty()) {
            cells.removeLast();
        }
        return cells.join(u'|');
    }

    void expectDialogShown(bool shown) { EXPECT_EQ(viewer.openTotals()->isVisible(), shown); }

    test::TempDir temp;
    QString folder;
    test::RecordingNotifier messages;
    frmStatsViewer viewer;
};

TEST_F(StatsViewerTest, WindowDialogMenuAndHelpAreThoseOfTheProgram) {
    EXPECT_EQ(viewer.windowTitle(), QStringLiteral("Fenlowick - View Statistical Output"));
    EXPECT_EQ(viewer.openTotals()->windowTitle(),
              QStringLiteral("Fenlowick - Open Totals for viewing"));
    EXPECT_EQ(viewer.grid()->rowCount() + 1, 201); // the heading row is the table's header
    EXPECT_EQ(viewer.grid()->columnCount(), 12);
    // The heading row is shown and fixed; there is no fixed column.
    EXPECT_FALSE(viewer.grid()->horizontalHeader()->isHidden());
    EXPECT_TRUE(viewer.grid()->verticalHeader()->isHidden());
    QStringList captions;
    for (QAction* action : viewer.menuBar()->actions()) {
        captions << action->text();
        EXPECT_EQ(action->menu(), nullptr);
    }
    EXPECT_EQ(captions, QStringLiteral("&File &Print &Copy &Help &Exit").split(u' '));
    // Help of the viewer and of its dialog asks for the viewing topic.
    QSignalSpy help(&viewer, &frmStatsViewer::helpRequested);
    viewer.help_Click();
    viewer.openTotals()->help_Click();
    EXPECT_EQ(help, (QList<QVariantList>(2, {QStringLiteral("viewing.htm")})));
}

TEST_F(StatsViewerTest, LoadingATotalsFileFillsRowsFromTwoAndClearingEmptiesEveryCell) {
    viewer.show();
    viewer.FileOpen_Click();
    expectDialogShown(true);
    open(QStringLiteral("run.tot"));
    EXPECT_TRUE(messages.messages.isEmpty());
    expectDialogShown(false);
    EXPECT_EQ(viewer.openTotals()->fileName(), QStringLiteral("run.tot"));
    // Records fill rows from 2 on; the "N" record, two lines in the file, is one row.
    const std::pair<int, const char*> rows[] = {
        {0, ""}, {1, ""}, {2, "Date: |DATE|Time: |TIME"}, {30, "N|12"}, {71, "0.316|0.1|0.224"},
        {72, ""}};
    for (const auto& [r, text] : rows) {
        EXPECT_EQ(row(r), QString::fromUtf8(text)) << r;
    }

    viewer.setCellText(0, 5, QStringLiteral("heading"));
    viewer.clearGrid();
    for (int r = 0; r < 201; ++r) {
        for (int c = 0; c < 12; ++c) {
            ASSERT_EQ(viewer.cellText(r, c), QString()) << r << "," << c;
        }
    }
}

TEST_F(StatsViewerTest, AFileOf200RecordsFillsTheGridToItsLastRow) {
    std::string text;
    for (int k = 1; k <= 200; ++k) {
        text += test::record({"R" + std::to_string(k)});
    }
    test::writeFile(temp.path() / "200.txt", text);
    open(QStringLiteral("200.txt"));
    EXPECT_TRUE(messages.messages.isEmpty());
    EXPECT_EQ(viewer.cellText(2, 0), QStringLiteral("R1"));
    EXPECT_EQ(viewer.cellText(200, 0), QStringLiteral("R199"));
}

TEST_F(StatsViewerTest, ShortLastRecordEmptyNameAndMissingFile) {
    viewer.FileOpen_Click();
    test::writeFile(temp.path() / "short.tot",
                    test::record({"one"}) + test::record({"two"}) + "\"a\",\"b\",\"c\"\r\n");
    open(QStringLiteral("short.tot"));
    EXPECT_EQ(messages.messages, QStringList{resultmessages::viewerAccessError()});
    EXPECT_EQ(viewer.cellText(2, 0), QStringLiteral("one"));
    EXPECT_EQ(viewer.cellText(3, 0), QStringLiteral("two"));
    EXPECT_EQ(viewer.cellText(4, 0), QString());
    expectDialogShown(true);
    EXPECT_EQ(viewer.openTotals()->fileName(), QString());

    // An empty name leaves the grid; a missing file empties it.
    messages.messages.clear();
    open(QStringLiteral("run.tot"));
    open(QString());
    EXPECT_EQ(messages.messages, QStringList{resultmessages::selectFile()});
    EXPECT_EQ(viewer.cellText(2, 0), QStringLiteral("Date: "));

    messages.messages.clear();
    viewer.FileOpen_Click();
    open(QStringLiteral("missing.tot"));
    EXPECT_EQ(messages.messages, QStringList{resultmessages::viewerAccessError()});
    EXPECT_EQ(viewer.cellText(2, 0), QString());
    EXPECT_EQ(viewer.openTotals()->fileName(), QString());
    expectDialogShown(true);
}

TEST_F(StatsViewerTest, TheDialogListsEveryFileAndAClickOrEnterOpens) {
    test::writeFile(temp.path() / "notes.txt", "x");
    viewer.FileOpen_Click();
    QListWidget* files = viewer.openTotals()->browser()->fileList();
    ASSERT_EQ(files->count(), 2);
    EXPECT_EQ(files->item(0)->text(), QStringLiteral("notes.txt"));
    const QList<QListWidgetItem*> found =
        files->findItems(QStringLiteral("run.tot"), Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    emit files->itemClicked(found.first());
    EXPECT_EQ(viewer.cellText(3, 1), QStringLiteral("Lake, spring 2024"));
    expectDialogShown(false);

    viewer.clearGrid();
    viewer.FileOpen_Click();
    QLineEdit* name = viewer.openTotals()->browser()->nameBox();
    name->setText(QStringLiteral("run.tot"));
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_EQ(viewer.cellText(2, 0), QStringLiteral("Date: "));
    expectDialogShown(false);
}

TEST_F(StatsViewerTest, PrintsOneLinePerRowWithPageBreaksAfterRows80And160) {
    // Rows 0..lastRow hold "row N"; -1 is an empty grid, which prints one blank page.
    const std::vector<std::pair<int, std::vector<std::pair<int, int>>>> cases{
        {-1, {{0, -1}}}, {170, {{0, 80}, {81, 160}, {161, 170}}}};
    for (const auto& [lastRow, expected] : cases) {
        SCOPED_TRACE(lastRow);
        viewer.clearGrid();
        for (int r = 0; r <= lastRow; ++r) {
            viewer.setCellText(r, 0, QStringLiteral("row %1").arg(r));
        }
        const QString pdf = printToPdf(QStringLiteral("rows%1.pdf").arg(lastRow));
        EXPECT_TRUE(messages.messages.isEmpty());
        EXPECT_EQ(test::pdfPageCount(pdf.toStdString()), static_cast<int>(expected.size()));
        const Pages pages = pdfPages(pdf);
        ASSERT_EQ(pages.size(), expected.size());
        for (std::size_t p = 0; p < pages.size(); ++p) {
            const auto [first, last] = expected[p];
            ASSERT_EQ(pages[p].size(), static_cast<std::size_t>(last - first + 1));
            if (last >= first) {
                EXPECT_EQ(pages[p].front(), "row " + std::to_string(first));
                EXPECT_EQ(pages[p].back(), "row " + std::to_string(last));
            }
        }
    }
}

TEST_F(StatsViewerTest, ALoadedFilePrintsItsRowsInColumnOrder) {
    open(QStringLiteral("run.tot"));
    const Pages pages = pdfPages(printToPdf(QStringLiteral("run.pdf")));
    ASSERT_EQ(pages.size(), 1u);
    // Every row with text is one line, its cells in column order; empty rows leave no text.
    std::vector<std::string> expected;
    for (int r = 0; r < 201; ++r) {
        const QString line = row(r).replace(u'|', u' ').simplified();
        if (!line.isEmpty()) {
            expected.push_back(line.toStdString());
        }
    }
    ASSERT_GE(expected.size(), 3u);
    EXPECT_EQ(pages[0], expected);
}

TEST_F(StatsViewerTest, WithoutAPrinterTheDialogOffersAPdfBesideTheLoadedFile) {
    if (!QPrinterInfo::availablePrinters().isEmpty()) {
        GTEST_SKIP() << "this system has a printer";
    }
    open(QStringLiteral("run.tot"));
    for (const bool accept : {true, false}) {
        QTimer::singleShot(0, &viewer, [accept] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                accept ? dialog->accept() : dialog->reject();
            }
        });
        viewer.PrintData_Click();
        if (accept) {
            EXPECT_TRUE(messages.messages.isEmpty());
            EXPECT_EQ(test::pdfPageCount(folder.toStdString() + "/run.pdf"), 1);
        }
    }
    EXPECT_EQ(messages.messages, QStringList{resultmessages::viewerPrintFailed()});
}

TEST_F(StatsViewerTest, CancellingThePrinterDialogOrAPrinterThatCannotStartGivesTheMessage) {
    viewer.setPrinterChooser([](QPrinter&) { return false; });
    viewer.PrintData_Click();
    EXPECT_EQ(messages.messages, QStringList{resultmessages::viewerPrintFailed()});
    // A PDF printer without a file name cannot start.
    viewer.setPrinterChooser([](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString());
        return true;
    });
    viewer.PrintData_Click();
    EXPECT_EQ(messages.messages, QStringList(2, resultmessages::viewerPrintFailed()));
}

TEST_F(StatsViewerTest, CopyPutsTheGridOnTheClipboardAsTabSeparatedText) {
    open(QStringLiteral("run.tot"));
    viewer.CopyGrid_Click();
    const QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 62);
    EXPECT_EQ(lines[0], QStringLiteral("Date: \tDATE\tTime: \tTIME"));
    EXPECT_EQ(lines[1], QStringLiteral("Title: \tLake, spring 2024\t\t"));

    // A selection of several cells copies just those.
    viewer.grid()->setRangeSelected(QTableWidgetSelectionRange(16, 0, 17, 2), true);
    viewer.CopyGrid_Click();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("0\t1\t2\n0.1\t1\t4\n"));
}

TEST_F(StatsViewerTest, ExitKeepsTheGridAndTheCloseBoxDiscardsIt) {
    viewer.show();
    open(QStringLiteral("run.tot"));
    viewer.ExitViewer_Click();
    EXPECT_FALSE(viewer.isVisible());
    EXPECT_EQ(viewer.cellText(2, 0), QStringLiteral("Date: "));
    viewer.show();
    viewer.close();
    EXPECT_FALSE(viewer.isVisible());
    EXPECT_EQ(viewer.cellText(2, 0), QString());
}

TEST_F(StatsViewerTest, CancelHidesTheDialogAndItsCloseBoxResetsIt) {
    ResultFileDialog* dialog = viewer.openTotals();
    viewer.FileOpen_Click();
    dialog->setFileName(QStringLiteral("typed.tot"));
    dialog->FileCancel_Click();
    EXPECT_FALSE(dialog->isVisible());
    viewer.FileOpen_Click();
    EXPECT_EQ(dialog->fileName(), QStringLiteral("typed.tot"));
    EXPECT_EQ(dialog->folder(), folder);

    dialog->close();
    EXPECT_FALSE(dialog->isVisible());
    viewer.FileOpen_Click();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->fileName(), QString());
    EXPECT_EQ(dialog->folder(), QDir::cleanPath(QDir::currentPath()));
}

TEST_F(StatsViewerTest, StartupSizesFollowTheScreenInTwips) {
    viewer.applyStartupSize(startupSizes(15360, 11520));
    viewer.show();
    EXPECT_EQ(viewer.size(), QSize(973, 730)); // 0.95 x 1024 and 768 pixels
    EXPECT_EQ(viewer.grid()->size(), QSize(942, 653));
}

} // namespace
} // namespace fenlowick
