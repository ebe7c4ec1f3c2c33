#pragma once

// What every window test needs: gtest, QTest and QSignalSpy, the recording notifier, the
// shared test support, and the helpers below.
#include "support/recordingnotifier.h"
#include "support/testsupport.h"

#include <QSignalSpy>
#include <QString>
#include <QStringList>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

class QMenuBar;
class QObject;
class QPrinter;

/// Lets the tests' failure messages show texts as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace fenlowick::test {

/// Runs a program and returns its standard output; empty when it could not run.
std::string runTool(const std::string& program, const std::vector<std::string>& arguments);

/// The number of pages of a PDF file as pdfinfo reads it; -1 when it cannot.
int pdfPageCount(const std::string& pdf);

/// The captions of a menu bar's commands, in order.
QStringList menuCaptions(const QMenuBar* bar);

/// A printer chooser that prints `copies` copies into the PDF file `path`, without a dialog.
/// With an empty path the printer cannot start.
std::function<bool(QPrinter&)> pdfPrinter(const QString& path, int copies = 1);

/// Accepts, or rejects, the modal dialog the next command opens, once the event loop runs.
void answerNextDialog(QObject* context, bool accept);

} // namespace fenlowick::test
