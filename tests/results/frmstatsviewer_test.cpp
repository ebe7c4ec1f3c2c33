#include "results/frmopentotals.h"
#include "results/frmstatsviewer.h"
#include "results/resultmessages.h"

#include "recordingnotifier.h"
#include "resultfiles.h"
#include "testsupport.h"

#include "widgets/filebrowsercontrols.h"
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
#include <algorithm>
#include <gtest/gtest.h>

namespace fenlowick {
namespace {

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

    /// The pages of a PDF file as pdftotext reads them, each a list of its non-empty lines.
    static std::vector<std::vector<std::string>> pdfPages(const QString& pdf) {
        const std::string text = test::runTool("pdftotext", {"-layout", pdf.toStdString(), "-"});
        std::vector<std::vector<std::string>> pages(1);
        std::string line;
        for (char c : text) {
            if (c == '\f') {
                pages.emplace_back();
            } else if (c == '\n') {
                const auto start = line.find_first_not_of(' ');
                if (start != std::string::npos) {
                    pages.back().push_back(line.substr(start));
                }
                line.clear();
            } else {
                line += c;
            }
        }
        pages.pop_back(); // after the last form feed
        return pages;
    }

    static int pdfPageCount(const QString& pdf) { return test::pdfPageCount(pdf.toStdString()); }

    /// Fills column 0 of rows 0..last with "row N".
    void fillRows(int last) {
        viewer.clearGrid();
        for (int r = 0; r <= last; ++r) {
            viewer.setCellText(r, 0, QStringLiteral("row %1").arg(r));
        }
    }

    test::TempDir temp;
    QString folder;
    test::RecordingNotifier messages;
    frmStatsViewer viewer;
};

TEST_F(StatsViewerTest, WindowDialogAndMenuAreThoseOfTheProgram) {
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
    EXPECT_EQ(captions, (QStringList{QStringLiteral("&File"), QStringLiteral("&Print"),
                                     QStringLiteral("&Copy"), QStringLiteral("&Help"),
                                     QStringLiteral("&Exit")}));
    EXPECT_FALSE(viewer.isVisible());
    EXPECT_FALSE(viewer.openTotals()->isVisible());
}

TEST_F(StatsViewerTest, LoadingAThreeSourceTotalsFileFillsRowsFromTwo) {
    viewer.show();
    viewer.FileOpen_Click();
    EXPECT_TRUE(viewer.openTotals()->isVisible());
    open(QStringLiteral("run.tot"));
    EXPECT_TRUE(messages.messages.isEmpty());
    EXPECT_FALSE(viewer.openTotals()->isVisible());
    for (int c = 0; c < 12; ++c) {
        EXPECT_EQ(viewer.cellText(0, c), QString());
        EXPECT_EQ(viewer.cellText(1, c), QString());
    }
    EXPECT_EQ(viewer.cellText(2, 0), QStringLiteral("Date: "));
    EXPECT_EQ(viewer.cellText(2, 3), QStringLiteral("TIME"));
    EXPECT_EQ(viewer.cellText(2, 4), QString());
    EXPECT_EQ(viewer.cellText(3, 0), QStringLiteral("Title: "));
    EXPECT_EQ(viewer.cellText(3, 1), QStringLiteral("Lake, spring 2024"));
    EXPECT_EQ(viewer.cellText(18, 0), QStringLiteral("0.1"));
    EXPECT_EQ(viewer.cellText(18, 2), QStringLiteral("4"));
    // The "N" record, two lines in the file, is one row.
    EXPECT_EQ(viewer.cellText(30, 0), QStringLiteral("N"));
    EXPECT_EQ(viewer.cellText(30, 1), QStringLiteral("12"));
    for (int c = 2; c < 12; ++c) {
        EXPECT_EQ(viewer.cellText(30, c), QString());
    }
    EXPECT_EQ(viewer.cellText(32, 0), QStringLiteral("MEAN"));
    EXPECT_EQ(viewer.cellText(71, 0), QStringLiteral("0.316"));
    EXPECT_EQ(viewer.cellText(72, 0), QString());
    EXPECT_EQ(viewer.openTotals()->fileName(), QStringLiteral("run.tot"));
}

TEST_F(StatsViewerTest, FilesOf199And200RecordsFillTheGridToItsLastRow) {
    std::string text;
    for (int k = 1; k <= 200; ++k) {
        text += test::record({"R" + std::to_string(k)});
        if (k == 199) {
            test::writeFile(temp.path() / "199.txt", text);
        }
    }
    test::writeFile(temp.path() / "200.txt", text);
    for (const QString& name : {QStringLiteral("199.txt"), QStringLiteral("200.txt")}) {
        open(name);
        EXPECT_TRUE(messages.messages.isEmpty()) << name.toStdString();
        EXPECT_EQ(viewer.cellText(2, 0), QStringLiteral("R1"));
        EXPECT_EQ(viewer.cellText(200, 0), QStringLiteral("R199"));
    }
}

TEST_F(StatsViewerTest, AShortLastRecordGivesTheAccessErrorAfterTheCompleteRows) {
    viewer.FileOpen_Click();
    test::writeFile(temp.path() / "short.tot",
                    test::record({"one"}) + test::record({"two"}) + "\"a\",\"b\",\"c\"\r\n");
    open(QStringLiteral("short.tot"));
    EXPECT_EQ(messages.messages, QStringList{resultmessages::viewerAccessError()});
    EXPECT_EQ(viewer.cellText(2, 0), QStringLiteral("one"));
    EXPECT_EQ(viewer.cellText(3, 0), QStringLiteral("two"));
    EXPECT_EQ(viewer.cellText(4, 0), QString());
    EXPECT_TRUE(viewer.openTotals()->isVisible());
    EXPECT_EQ(viewer.openTotals()->fileName(), QString());
}

TEST_F(StatsViewerTest, AnEmptyNameLeavesTheGridAndAMissingFileEmptiesIt) {
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
    EXPECT_TRUE(viewer.openTotals()->isVisible());
}

TEST_F(StatsViewerTest, TheDialogListsEveryFileAndAClickOnOneOpensIt) {
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
    EXPECT_FALSE(viewer.openTotals()->isVisible());
}

TEST_F(StatsViewerTest, EnterInTheNameBoxOpens) {
    viewer.FileOpen_Click();
    QLineEdit* name = viewer.openTotals()->browser()->nameBox();
    name->setText(QStringLiteral("run.tot"));
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_EQ(viewer.cellText(2, 0), QStringLiteral("Date: "));
    EXPECT_FALSE(viewer.openTotals()->isVisible());
}

TEST_F(StatsViewerTest, ViewEmptiesEveryCellHeadingRowIncluded) {
    open(QStringLiteral("run.tot"));
    viewer.setCellText(0, 5, QStringLiteral("heading"));
    viewer.clearGrid();
    for (int r = 0; r < 201; ++r) {
        for (int c = 0; c < 12; ++c) {
            ASSERT_EQ(viewer.cellText(r, c), QString()) << r << "," << c;
        }
    }
}

TEST_F(StatsViewerTest, PrintsOneLinePerRowWithPageBreaksAfterRows80And160) {
    struct Case {
        int lastRow;
        std::vector<std::pair<int, int>> pages;
    };
    for (const Case& c : {Case{80, {{0, 80}}}, Case{81, {{0, 80}, {81, 81}}},
                          Case{170, {{0, 80}, {81, 160}, {161, 170}}}}) {
        fillRows(c.lastRow);
        const QString pdf = printToPdf(QStringLiteral("rows%1.pdf").arg(c.lastRow));
        EXPECT_TRUE(messages.messages.isEmpty());
        EXPECT_EQ(pdfPageCount(pdf), static_cast<int>(c.pages.size()));
        const auto pages = pdfPages(pdf);
        ASSERT_EQ(pages.size(), c.pages.size()) << c.lastRow;
        for (std::size_t p = 0; p < pages.size(); ++p) {
            const auto [first, last] = c.pages[p];
            ASSERT_EQ(pages[p].size(), static_cast<std::size_t>(last - first + 1));
            EXPECT_EQ(pages[p].front(), "row " + std::to_string(first));
            EXPECT_EQ(pages[p].back(), "row " + std::to_string(last));
        }
    }
}

TEST_F(StatsViewerTest, AnEmptyGridPrintsOnePageAndALoadedFileItsRowsInColumnOrder) {
    const QString empty = printToPdf(QStringLiteral("empty.pdf"));
    EXPECT_EQ(pdfPageCount(empty), 1);
    const auto blank = pdfPages(empty);
    ASSERT_EQ(blank.size(), 1u);
    EXPECT_TRUE(blank[0].empty());

    open(QStringLiteral("run.tot"));
    const auto pages = pdfPages(printToPdf(QStringLiteral("run.pdf")));
    ASSERT_EQ(pages.size(), 1u);
    // Every row with text is one line, its cells in column order; empty rows leave no text.
    std::vector<std::string> expected;
    for (int r = 0; r < 201; ++r) {
        std::string line;
        for (int c = 0; c < 12; ++c) {
            const std::string cell = viewer.cellText(r, c).simplified().toStdString();
            if (!cell.empty()) {
                line += (line.empty() ? "" : " ") + cell;
            }
        }
        if (!line.empty()) {
            expected.push_back(line);
        }
    }
    std::vector<std::string> printed;
    for (const std::string& line : pages[0]) {
        printed.push_back(QString::fromStdString(line).simplified().toStdString());
    }
    EXPECT_EQ(printed, expected);
    ASSERT_GE(printed.size(), 3u);
    EXPECT_EQ(printed[0], "Date: DATE Time: TIME");
    EXPECT_EQ(printed[1], "Title: Lake, spring 2024");
    EXPECT_NE(std::find(printed.begin(), printed.end(), "N 12"), printed.end());
    EXPECT_EQ(printed.back(), "0.316 0.1 0.224");
}

TEST_F(StatsViewerTest, WithoutAPrinterTheDialogOffersAPdfBesideTheLoadedFile) {
    if (!QPrinterInfo::availablePrinters().isEmpty()) {
        GTEST_SKIP() << "this system has a printer";
    }
    open(QStringLiteral("run.tot"));
    QTimer::singleShot(0, &viewer, [] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            qobject_cast<QDialog*>(dialog)->accept();
        }
    });
    viewer.PrintData_Click();
    EXPECT_TRUE(messages.messages.isEmpty());
    EXPECT_EQ(pdfPageCount(folder + QStringLiteral("/run.pdf")), 1);

    QTimer::singleShot(0, &viewer, [] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            qobject_cast<QDialog*>(dialog)->reject();
        }
    });
    viewer.PrintData_Click();
    EXPECT_EQ(messages.messages, QStringList{resultmessages::viewerPrintFailed()});
}

TEST_F(StatsViewerTest, CancellingThePrinterDialogGivesThePrintoutMessage) {
    viewer.setPrinterChooser([](QPrinter&) { return false; });
    viewer.PrintData_Click();
    EXPECT_EQ(messages.messages, QStringList{resultmessages::viewerPrintFailed()});
    messages.messages.clear();
    // A PDF printer without a file name cannot start.
    viewer.setPrinterChooser([](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString());
        return true;
    });
    viewer.PrintData_Click();
    EXPECT_EQ(messages.messages, QStringList{resultmessages::viewerPrintFailed()});
}

TEST_F(StatsViewerTest, CopyPutsTheGridOnTheClipboardAsTabSeparatedText) {
    open(QStringLiteral("run.tot"));
    viewer.CopyGrid_Click();
    const QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 62);
    EXPECT_EQ(lines[0], QStringLiteral("Date: \tDATE\tTime: \tTIME"));
    EXPECT_EQ(lines[1], QStringLiteral("Title: \tLake, spring 2024\t\t"));
    EXPECT_EQ(lines[28], QStringLiteral("N\t12\t\t"));

    // A selection of several cells copies just those.
    viewer.grid()->setRangeSelected(QTableWidgetSelectionRange(16, 0, 17, 2), true);
    viewer.CopyGrid_Click();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("0\t1\t2\n0.1\t1\t4\n"));
}

TEST_F(StatsViewerTest, HelpOfTheViewerAndOfItsDialogAsksForTheViewingTopic) {
    QSignalSpy help(&viewer, &frmStatsViewer::helpRequested);
    viewer.help_Click();
    viewer.openTotals()->help_Click();
    ASSERT_EQ(help.count(), 2);
    EXPECT_EQ(help.at(0).at(0).toString(), QStringLiteral("viewing.htm"));
    EXPECT_EQ(help.at(1).at(0).toString(), QStringLiteral("viewing.htm"));
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
    EXPECT_EQ(viewer.width(), 973);  // 0.95 x 1024 pixels
    EXPECT_EQ(viewer.height(), 730); // 0.95 x 768
    EXPECT_EQ(viewer.grid()->width(), 942);
    EXPECT_EQ(viewer.grid()->height(), 653);
}

} // namespace
} // namespace fenlowick
