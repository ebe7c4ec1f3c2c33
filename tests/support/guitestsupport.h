#pragma once

// What every window test needs: gtest, QTest and QSignalSpy, the recording notifier, the
// shared test support, Qt's string literals and the helpers below.
#include "support/recordingnotifier.h"
#include "support/testsupport.h"

#include <QColor>
#include <QImage>
#include <QSignalSpy>
#include <QString>
#include <QStringList>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

class QObject;
class QPrinter;
class QSize;

namespace fenlowick {
// Window tests write their texts as u"..."_s.
using namespace Qt::StringLiterals;
} // namespace fenlowick

/// Lets the tests' failure messages show texts as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace fenlowick::test {

/// Runs a program and returns its standard output; empty when it could not run.
std::string runTool(const std::string& program, const std::vector<std::string>& arguments);

/// The number of pages of a PDF file as pdfinfo reads it; -1 when it cannot.
int pdfPageCount(const std::string& pdf);

/// The first page of a PDF file rendered at `dpi` dots per inch by pdftoppm; a null image
/// when it cannot be.
QImage pdfPageImage(const std::string& pdf, int dpi);

/// The number of pixels that are not white within `millimetres` of the page's edges.
int inkWithinMargins(const QImage& page, double millimetres, int dpi);

/// A printer chooser that prints `copies` copies into the PDF file `path`, without a dialog.
/// With an empty path the printer cannot start.
std::function<bool(QPrinter&)> pdfPrinter(const QString& path, int copies = 1);

/// Accepts, or rejects, the modal dialog the next command opens, once the event loop runs.
void answerNextDialog(QObject* context, bool accept);

/// Prints `copies` copies into the PDF file `pdf` through `print`, once `choose` has
/// installed the printer chooser, expecting one page per copy and no message; then a
/// cancelled printer dialog and a printer that cannot start, each of which must tell
/// `failed`.
void expectPrinting(const std::function<void(std::function<bool(QPrinter&)>)>& choose,
                    const std::function<void()>& print, const RecordingNotifier& notes,
                    const QString& failed, const QString& pdf, int copies);

/// Saves through `save`, into `folder`, a PNG picture of `size` pixels with some pixels of
/// `colour`, and an SVG drawing that holds `text` as vectors; a save into a missing folder
/// is refused.
void expectSavedImages(const std::function<bool(const QString&)>& save, const QString& folder,
                       const QSize& size, const QColor& colour, const std::string& text);

} // namespace fenlowick::test
