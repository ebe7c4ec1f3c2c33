#include "entry/frmmain.h"

#include "recordingnotifier.h"
#include "testsupport.h"

#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace fenlowick {
namespace {

const QString kPrintoutError = QStringLiteral(
    "There was an error during the printout!  Check your printer and cable before trying again.");

/// The page count of a PDF file, by pdfinfo when it is installed, else by counting the page
/// objects in the file.
int pageCount(const QString& pdf) {
    const QString pdfinfo = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));
    if (!pdfinfo.isEmpty()) {
        QProcess process;
        process.start(pdfinfo, {pdf});
        process.waitForFinished();
        const QString info = QString::fromUtf8(process.readAllStandardOutput());
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    }
    QFile file(pdf);
    if (!file.open(QIODevice::ReadOnly)) {
        return -1;
    }
    return static_cast<int>(QString::fromLatin1(file.readAll())
                                .count(QRegularExpression(QStringLiteral("/Type\\s*/Page\\b"))));
}

class PrintingTest : public ::testing::Test {
protected:
    QString pdf(const char* name) const { return QString::fromStdString(temp.file(name)); }

    test::TempDir temp;
    test::RecordingNotifier notes;
    frmMain window{QString::fromStdString(temp.path().string())};
};

TEST_F(PrintingTest, PrintsOnePagePerCopy) {
    window.setPrinterPrompt([this](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf("three.pdf"));
        printer.setCopyCount(3);
        return true;
    });
    window.menuCommand(QStringLiteral("PrintData"))->trigger();
    EXPECT_TRUE(notes.messages.isEmpty());
    EXPECT_EQ(pageCount(pdf("three.pdf")), 3);

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf("one.pdf"));
    ASSERT_TRUE(window.printWindowImage(printer, 1));
    EXPECT_EQ(pageCount(pdf("one.pdf")), 1);
}

TEST_F(PrintingTest, CancellingThePrinterDialogShowsThePrintoutMessage) {
    window.setPrinterPrompt([](QPrinter&) { return false; });
    window.menuCommand(QStringLiteral("PrintData"))->trigger();
    EXPECT_EQ(notes.messages, QStringList{kPrintoutError});
}

TEST_F(PrintingTest, APrinterThatCannotStartShowsThePrintoutMessage) {
    test::writeFile(temp.path() / "blocker", "a regular file");
    const QString unwritable = pdf("blocker") + QStringLiteral("/out.pdf");
    window.setPrinterPrompt([&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(unwritable);
        return true;
    });
    window.menuCommand(QStringLiteral("PrintData"))->trigger();
    EXPECT_EQ(notes.messages, QStringList{kPrintoutError});
}

} // namespace
} // namespace fenlowick
