#pragma once

#include "core/entry/entry.h"
#include "gui/isospace/isospaceplot.h"

#include <QMainWindow>
#include <QString>
#include <functional>
#include <optional>

class QAction;
class QComboBox;
class QGraphicsView;
class QLabel;
class QPrinter;

namespace fenlowick {

class IsospaceScene;

/// "Fenlowick - Isospace": the sources and the mixture of an entry in isotope space, for a
/// pair of isotopes chosen in two lists (the same isotope twice, or an entry with one
/// isotope, gives a number line), with the sources' convex hull and the mixture drawn open
/// when it lies outside. Menu: "&Save" (PNG or SVG), "&Print", "&Diagnose" (the full diagnosis with
/// the smallest tolerance, in a message), "&Help" (topic isospace.htm), "&Exit" (hides).
/// The window keeps a copy of the entry it was given; it does not follow later edits of single
/// boxes, but the program shows it a new entry when the whole entry is replaced.
class frmIsospace : public QMainWindow {
    Q_OBJECT

public:
    using PrinterChooser = std::function<bool(QPrinter& printer)>;

    explicit frmIsospace(QWidget* parent = nullptr);

    /// Takes a copy of the entry, lists its isotopes (as typed), preselects the pair of
    /// defaultAxes (carbon across, nitrogen up) and draws the plot; the window stays as it
    /// is (shown or hidden).
    void setEntry(const Entry& entry);

    /// setEntry, then shows and raises the window (centred on the screen the first time).
    void showEntry(const Entry& entry);

    /// The folder in which Save proposes its file (the program's output folder).
    void setOutputFolder(const QString& folder) { m_outputFolder = folder; }

    /// The name Save proposes, and Print gives the document: the entry's title and the
    /// isotopes of the axes, made safe for a file name, in the output folder
    /// ("Lake trout-d13C-d15N.png"); "isospace" stands for a missing title.
    QString defaultSaveName() const;

    /// Chooses the isotope columns of the axes (each 0..LastIsotope) and redraws.
    void setAxes(int xIsotope, int yIsotope);

    /// The plot drawn, or nothing for an entry without a numeric signature.
    const std::optional<IsospacePlot>& plot() const { return m_plot; }
    IsospaceScene* scene() const { return m_scene; }
    QComboBox* xAxisList() const { return m_xAxis; }
    QComboBox* yAxisList() const { return m_yAxis; }
    QAction* saveAction() const { return m_save; }
    QAction* printAction() const { return m_print; }
    QAction* diagnoseAction() const { return m_diagnose; }
    QAction* helpAction() const { return m_help; }

    /// Saves the drawing: SVG when the name ends in ".svg" (any case), PNG otherwise, at
    /// twice the size shown. False when the file could not be written.
    bool saveImage(const QString& path) const;

    /// Prints the drawing, scaled to fit the page, once per copy chosen. False when the
    /// printer could not be started or reported an error.
    bool printPlot(QPrinter& printer) const;

    /// Replaces the printer dialog (tests print to a PDF file without one).
    void setPrinterChooser(PrinterChooser chooser);

    void SaveIsospace_Click();
    void PrintIsospace_Click();
    void Diagnose_Click();
    void help_Click();
    void ExitIsospace_Click();

signals:
    void helpRequested(const QString& topicFile);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void axisChosen();
    void redraw();

    Entry m_entry;
    QString m_outputFolder;
    bool m_placed = false;
    std::optional<IsospacePlot> m_plot;
    QComboBox* m_xAxis;
    QComboBox* m_yAxis;
    QGraphicsView* m_view;
    IsospaceScene* m_scene;
    QAction* m_save;
    QAction* m_print;
    QAction* m_diagnose;
    QAction* m_help;
    QAction* m_exit;
    PrinterChooser m_choosePrinter;
};

} // namespace fenlowick
