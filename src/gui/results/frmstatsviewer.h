#pragma once

#include "gui/widgets/startuplayout.h"

#include "core/results/totalsgrid.h"
#include "gui/results/resultprinting.h"

#include <QMainWindow>
#include <QMargins>
#include <QString>
#include <vector>

class QAction;
class QTableWidget;

namespace fenlowick {

class frmOpenTotals;

/// "Fenlowick - View Statistical Output": a totals file (or any file of comma-divided
/// fields) as a grid of 12 columns, one record per row, with its menu "&File", "&Print",
/// "&Copy", "&Help", "&Exit". Owns its file dialog `frmOpenTotals`.
///
/// The grid has rows 0..200: row 0 is the fixed heading row (the table's column header,
/// which no file ever fills) and rows 1..200 are the table's rows. Record k of a loaded file
/// goes to row k + 1. Cells cannot be edited.
///
/// Created hidden and centred; Exit hides it and the grid keeps its contents. Closing it by
/// its close box discards it: the grid is emptied and the window comes back centred.
class frmStatsViewer : public QMainWindow {
    Q_OBJECT

public:
    explicit frmStatsViewer(QWidget* parent = nullptr);

    /// Start-up sizing by the main window: the window and the grid take their sizes from
    /// `sizes`; then the window is centred on the screen.
    void applyStartupSize(const StartupSizes& sizes);

    frmOpenTotals* openTotals() const { return m_openTotals; }

    /// The folder of the open-totals dialog (StartFolder + "/output" at start-up).
    void setTotalsFolder(const QString& folder);

    /// Empties every cell of rows 0..200, the heading row included (the View command).
    void clearGrid();

    QString cellText(int row, int column) const;
    void setCellText(int row, int column, const QString& text);

    /// Reads a file into the grid by the viewer's Open rule: empties the grid, then fills
    /// rows 2.. with the records read. False when the file could not be read or ended inside
    /// a record (the complete records before that stay shown). Shows no message.
    bool loadFile(const QString& path);

    /// Prints rows 0..last printable row to a printer already chosen, as lines of text.
    bool printGrid(QPrinter& printer) const;

    /// Replaces the printer dialog (tests print to a PDF file without one).
    void setPrinterChooser(PrinterChooser chooser);

    /// The grid's text as tab-separated lines: the selected cells when more than one is
    /// selected, otherwise every row and column with text.
    QString gridAsTabSeparatedText() const;

    QTableWidget* grid() const { return m_grid; }

    // Commands of the menu bar and of the dialog.
    void FileOpen_Click();
    void PrintData_Click();
    void CopyGrid_Click();
    void help_Click();
    void ExitViewer_Click();
    /// The dialog's Open: checks the name, loads the file, reports a failure.
    void openTotalsFile();

signals:
    /// A Help command of the viewer or of its dialog: the topic file to show, relative to
    /// the start-up folder ("viewing.htm").
    void helpRequested(const QString& topicFile);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::vector<GridRow> gridRows() const;
    void layOutGrid();

    frmOpenTotals* m_openTotals;
    QTableWidget* m_grid = nullptr;
    QAction* m_fileOpen;
    QAction* m_printData;
    QAction* m_copyGrid;
    QAction* m_help;
    QAction* m_exitViewer;
    PrinterChooser m_choosePrinter;
    QString m_loadedPath;
    QMargins m_gridMargins;
    bool m_discarded = false;
};

} // namespace fenlowick
