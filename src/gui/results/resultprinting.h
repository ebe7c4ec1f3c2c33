#pragma once

#include "core/results/totalsgrid.h"

#include <QString>
#include <functional>
#include <vector>

class QGraphicsView;
class QPrinter;
class QWidget;

namespace fenlowick {

/// Lets the user choose the printer and the copies; false when the dialog was cancelled
/// (cancelling counts as a failure of the printout). Windows hold one so that tests can
/// print to a PDF file without a dialog.
using PrinterChooser = std::function<bool(QPrinter& printer)>;

/// The platform's printer dialog. Where the system has no printer, the printer is set to
/// write a PDF file, `pdfFallbackPath`, which the dialog offers to change.
bool showPrinterDialog(QPrinter& printer, QWidget* parent, const QString& pdfFallbackPath);

/// Prints grid rows as lines of text, one line per row, the pages as given (rows[r] is the
/// text of row r). The columns are lined up; a text may run on over empty cells to its
/// right and is cut short only before the next text. Line height is fixed so that 81 lines
/// fill a page. False when the printer could not be started or reported an error.
bool printGridLines(QPrinter& printer, const std::vector<GridRow>& rows,
                    const std::vector<PrintPage>& pages);

/// Prints the image of a window's client area, scaled to fit the page, once per copy chosen
/// (one page each; the printer's own copy count is set to 1). The chart is drawn through
/// its scene, so a PDF keeps it as vectors. False when the printer could not be started or
/// reported an error.
bool printWindowImage(QPrinter& printer, QWidget* client, QGraphicsView* chart);

} // namespace fenlowick
