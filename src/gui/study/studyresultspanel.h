#pragma once

#include "gui/results/resultprinting.h"
#include "gui/study/studyrunner.h"

#include <QString>
#include <QTabWidget>
#include <functional>

class QComboBox;
class QPushButton;
class QTableWidget;

namespace fenlowick {

class FigureView;

/// The results of a run, a tab per output: the group tables (feasible sets' groups.csv,
/// the posterior's posterior.csv), the per-consumer table, and the figures at window size.
/// A table copies to the clipboard as tab-separated text; a figure saves as PNG, SVG or
/// PDF and prints.
class StudyResultsPanel : public QTabWidget {
    Q_OBJECT

public:
    explicit StudyResultsPanel(QWidget* parent = nullptr);

    /// Shows the results; an empty set of results clears the tabs.
    void showResults(const StudyResults& results);

    /// The table of a tab as tab-separated text (a line per row, the header first).
    static QString tabSeparated(const QTableWidget* table);

    /// The table shown under a tab's title ("Groups", "Posterior", "Consumers"); null when
    /// there is none.
    QTableWidget* tableTab(const QString& title) const;
    QComboBox* figureList() const { return m_figureList; }
    FigureView* figureView() const { return m_figureView; }
    QPushButton* saveFigureButton() const { return m_saveFigure; }
    QPushButton* printFigureButton() const { return m_printFigure; }

    /// Replaces the save dialog of Save figure (tests save without one): returns the path
    /// chosen, or an empty text.
    void setSaveChooser(std::function<QString(const QString& proposed)> chooser);
    void setPrinterChooser(PrinterChooser chooser) { m_choosePrinter = std::move(chooser); }
    /// The folder Save figure proposes.
    void setFolder(const QString& folder) { m_folder = folder; }

    void SaveFigure_Click();
    void PrintFigure_Click();

private:
    void addTable(const QString& title, const std::string& csv);
    void figureChosen(int index);

    std::vector<StudyFigure> m_figures;
    QWidget* m_figuresTab;
    QComboBox* m_figureList;
    FigureView* m_figureView;
    QPushButton* m_saveFigure;
    QPushButton* m_printFigure;
    QString m_folder;
    std::function<QString(const QString&)> m_saveChooser;
    PrinterChooser m_choosePrinter;
};

} // namespace fenlowick
