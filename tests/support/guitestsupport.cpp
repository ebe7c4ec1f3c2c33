#include "support/guitestsupport.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMenuBar>
#include <QPrinter>
#include <QProcess>
#include <QTimer>

#include <cstdlib>

namespace fenlowick::test {

std::string runTool(const std::string& program, const std::vector<std::string>& arguments) {
    QStringList args;
    for (const std::string& argument : arguments) {
        args << QString::fromStdString(argument);
    }
    QProcess process;
    process.start(QString::fromStdString(program), args);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        return {};
    }
    return process.readAllStandardOutput().toStdString();
}

int pdfPageCount(const std::string& pdf) {
    const std::string info = runTool("pdfinfo", {pdf});
    const std::size_t at = info.find("Pages:");
    return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
}

QStringList menuCaptions(const QMenuBar* bar) {
    QStringList captions;
    for (const QAction* action : bar->actions()) {
        captions << action->text();
    }
    return captions;
}

std::function<bool(QPrinter&)> pdfPrinter(const QString& path, int copies) {
    return [path, copies](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        printer.setCopyCount(copies);
        return true;
    };
}

void answerNextDialog(QObject* context, bool accept) {
    QTimer::singleShot(0, context, [accept] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            accept ? dialog->accept() : dialog->reject();
        }
    });
}

} // namespace fenlowick::test
