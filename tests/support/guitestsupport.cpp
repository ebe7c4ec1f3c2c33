#include "support/guitestsupport.h"

#include <QApplication>
#include <QDialog>
#include <QImage>
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

QImage pdfPageImage(const std::string& pdf, int dpi) {
    const std::string prefix = pdf + ".page";
    runTool("pdftoppm",
            {"-png", "-r", std::to_string(dpi), "-f", "1", "-l", "1", "-singlefile", pdf, prefix});
    return QImage(QString::fromStdString(prefix + ".png"));
}

int inkWithinMargins(const QImage& page, double millimetres, int dpi) {
    const int band = static_cast<int>(millimetres / 25.4 * dpi);
    int ink = 0;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            const bool margin =
                x < band || y < band || x >= page.width() - band || y >= page.height() - band;
            ink += margin && page.pixelColor(x, y) != QColor(Qt::white) ? 1 : 0;
        }
    }
    return ink;
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

void expectPrinting(const std::function<void(std::function<bool(QPrinter&)>)>& choose,
                    const std::function<void()>& print, const RecordingNotifier& notes,
                    const QString& failed, const QString& pdf, int copies) {
    const qsizetype before = notes.messages.size();
    choose(pdfPrinter(pdf, copies));
    print();
    EXPECT_EQ(notes.messages.size(), before);
    EXPECT_EQ(pdfPageCount(pdf.toStdString()), copies);
    for (const auto& chooser :
         {std::function<bool(QPrinter&)>([](QPrinter&) { return false; }), pdfPrinter(QString())}) {
        choose(chooser);
        print();
    }
    EXPECT_EQ(notes.messages.mid(before), QStringList(2, failed));
}

void expectSavedImages(const std::function<bool(const QString&)>& save, const QString& folder,
                       const QSize& size, const QColor& colour, const std::string& text) {
    ASSERT_TRUE(save(folder + QStringLiteral("/picture.png")));
    const QImage image(folder + QStringLiteral("/picture.png"));
    EXPECT_EQ(image.size(), size);
    int found = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            found += image.pixelColor(x, y) == colour ? 1 : 0;
        }
    }
    EXPECT_GT(found, 20);

    ASSERT_TRUE(save(folder + QStringLiteral("/drawing.SVG")));
    const std::string drawing = readFile((folder + QStringLiteral("/drawing.SVG")).toStdString());
    EXPECT_EQ(drawing.rfind("<?xml", 0), 0u);
    EXPECT_NE(drawing.find(text), std::string::npos);
    EXPECT_EQ(drawing.find("<image"), std::string::npos); // vectors, not a picture
    EXPECT_FALSE(save(folder + QStringLiteral("/no/such/folder/picture.png")));
}

} // namespace fenlowick::test
