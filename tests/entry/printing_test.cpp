#include "entry/frmmain.h"

#include "recordingnotifier.h"
#include "testsupport.h"

#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <functional>
#include <gtest/gtest.h>

namespace fenlowick {
namespace {

/// The page count of a PDF file as pdfinfo reads it; -1 when it cannot.
int pageCount(const QString& pdf) {
    QProcess process;
    process.start(QStringLiteral("pdfinfo"), {pdf});
    process.waitForFinished();
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)"))
            .match(QString::fromUtf8(process.readAllStandardOutput()));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
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

TEST_F(PrintingTest, ACancelledPrinterDialogOrAPrinterThatCannotStartShowsThePrintoutMessage) {
    test::writeFile(temp.path() / "blocker", "a regular file");
    const std::function<bool(QPrinter&)> prompts[] = {
        [](QPrinter&) { return false; },
        [this](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf("blocker") + QStringLiteral("/out.pdf"));
            return true;
        }};
    for (const auto& prompt : prompts) {
        notes.messages.clear();
        window.setPrinterPrompt(prompt);
        window.menuCommand(QStringLiteral("PrintData"))->trigger();
        EXPECT_EQ(notes.messages,
                  QStringList{QStringLiteral("There was an error during the printout!  Check your "
                                             "printer and cable before trying again.")});
    }
}

} // namespace
} // namespace fenlowick
