#pragma once

#include "gui/widgets/startuplayout.h"

#include "core/results/graphdata.h"
#include "gui/results/graphnavigation.h"
#include "gui/results/resultprinting.h"

#include <QMainWindow>
#include <QMargins>
#include <QString>

class QAction;
class QCategoryAxis;
class QBarSeries;
class QBarSet;
class QChart;
class QChartView;
class QLabel;
class QValueAxis;

namespace fenlowick {

class frmOpenGraphFile;

/// "Fenlowick - Graph": the histogram of one source at a time from a totals file, as a bar
/// chart with one bar per proportion level ("Source Proportion") giving the percentage of
/// all feasible solutions at that level ("Percent Frequency"). Menu: "&File", "&Next",
/// "&Previous", "&Print", "&Save", "&Help", "&Exit". Owns its file dialog
/// `frmOpenGraphFile`.
///
/// Created hidden and centred; Exit hides it and the loaded graph survives. Closing it by its
/// close box discards the window: it comes back centred with the chart hidden and Next,
/// Previous, Print and Save disabled, until a file is opened again.
class frmGraph : public QMainWindow {
    Q_OBJECT

public:
    explicit frmGraph(QWidget* parent = nullptr);

    /// Start-up sizing by the main window: the window, the path label `Label2` and the
    /// chart take their sizes from `sizes`; then the window is centred on the screen.
    void applyStartupSize(const StartupSizes& sizes);

    frmOpenGraphFile* openGraphFile() const { return m_openGraphFile; }

    /// The folder of the open-graph-file dialog (StartFolder + "/output" at start-up).
    void setGraphFolder(const QString& folder);

    /// The graph state of the last Open (empty counts after a failed one).
    const GraphData& graph() const { return m_graph; }
    const GraphNavigation& navigation() const { return m_navigation; }

    QChart* chart() const { return m_chart; }
    /// The labels under the bars, left to right: every level's label when there are at most
    /// 26 levels, otherwise those of every 5th (every 10th above 130 levels) so that they
    /// stay readable.
    QStringList levelAxisLabels() const;
    QChartView* chartView() const { return m_chartView; }
    QLabel* pathLabel() const { return m_pathLabel; }
    QAction* nextAction() const { return m_nextGraph; }
    QAction* previousAction() const { return m_previousGraph; }
    QAction* printAction() const { return m_prtGraph; }
    QAction* saveAction() const { return m_saveChart; }

    /// Reads a file by the graph window's Open rule and, when it is a totals file with
    /// feasible solutions, charts its first source. Shows no message; the dialog is not
    /// touched.
    GraphReadError loadFile(const QString& path);

    /// Saves the chart as shown: SVG when the name ends in ".svg" (any case), PNG otherwise.
    /// False when nothing is charted or the file could not be written.
    bool saveChartImage(const QString& path) const;

    /// Prints the window's image to a printer already chosen, once per copy.
    bool printWindow(QPrinter& printer);

    /// Replaces the printer dialog (tests print to a PDF file without one).
    void setPrinterChooser(PrinterChooser chooser);

    // Commands of the menu bar and of the dialog.
    void FileOpen_Click();
    void NextGraph_Click();
    void PreviousGraph_Click();
    void PrtGraph_Click();
    void SaveChart_Click();
    void help_Click();
    void ExitGraph_Click();
    /// The dialog's Open: checks the name, loads and charts the file, reports a failure.
    void openGraphFileFromDialog();

signals:
    /// A Help command of the window or of its dialog: the topic file to show, relative to
    /// the start-up folder ("graphing.htm").
    void helpRequested(const QString& topicFile);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showSource(int source);
    void updateCommands();
    void layOutClient();
    QString defaultSaveName() const;

    frmOpenGraphFile* m_openGraphFile;
    QLabel* m_fileLabel = nullptr;
    QLabel* m_pathLabel = nullptr;
    QChart* m_chart = nullptr;
    QChartView* m_chartView = nullptr;
    QBarSeries* m_series = nullptr;
    QBarSet* m_bars = nullptr;
    QCategoryAxis* m_levelAxis = nullptr;
    QValueAxis* m_percentAxis = nullptr;
    QAction* m_fileOpen = nullptr;
    QAction* m_nextGraph = nullptr;
    QAction* m_previousGraph = nullptr;
    QAction* m_prtGraph = nullptr;
    QAction* m_saveChart = nullptr;
    QAction* m_help = nullptr;
    QAction* m_exitGraph = nullptr;
    GraphData m_graph;
    GraphNavigation m_navigation;
    PrinterChooser m_choosePrinter;
    QString m_loadedPath;
    QMargins m_chartMargins;
    int m_pathLabelWidth = 0;
    int m_pathLabelHeight = 0;
    bool m_discarded = false;
};

} // namespace fenlowick
