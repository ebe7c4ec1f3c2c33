#include "gui/study/studyresultspanel.h"

#include "core/base/csvtable.h"
#include "gui/study/figureview.h"
#include "gui/widgets/notifier.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPrinter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace fenlowick {

StudyResultsPanel::StudyResultsPanel(QWidget* parent)
    : QTabWidget(parent), m_figuresTab(new QWidget(this)),
      m_figureList(new QComboBox(m_figuresTab)), m_figureView(new FigureView(m_figuresTab)),
      m_saveFigure(new QPushButton(QStringLiteral("Save &figure..."), m_figuresTab)),
      m_printFigure(new QPushButton(QStringLiteral("Print figure..."), m_figuresTab)) {
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_figureList, 1);
    buttons->addWidget(m_saveFigure);
    buttons->addWidget(m_printFigure);
    auto* layout = new QVBoxLayout(m_figuresTab);
    layout->addLayout(buttons);
    layout->addWidget(m_figureView, 1);
    connect(m_figureList, &QComboBox::currentIndexChanged, this, &StudyResultsPanel::figureChosen);
    connect(m_saveFigure, &QPushButton::clicked, this, &StudyResultsPanel::SaveFigure_Click);
    connect(m_printFigure, &QPushButton::clicked, this, &StudyResultsPanel::PrintFigure_Click);
    m_choosePrinter = [this](QPrinter& printer) {
        return showPrinterDialog(
            printer, this, QDir(m_folder).filePath(m_figureView->name() + QStringLiteral(".pdf")));
    };
    m_figuresTab->hide();
}

void StudyResultsPanel::showResults(const StudyResults& results) {
    while (count() > 0) {
        QWidget* page = widget(0);
        removeTab(0);
        if (page != m_figuresTab) {
            page->deleteLater();
        }
    }
    const bool both = results.outputs.size() > 1;
    const std::string feasible = both ? std::string(kFeasibleSetsFolder) + "/" : "";
    const std::string posterior = both ? std::string(kPosteriorFolder) + "/" : "";
    for (const auto& [title, path] :
         {std::pair<QString, std::string>{QStringLiteral("Groups"), feasible + "groups.csv"},
          {QStringLiteral("Posterior"), posterior + "posterior.csv"},
          {QStringLiteral("Consumers"), feasible + "consumers.csv"},
          {QStringLiteral("Draws"), feasible + "uncertainty.csv"},
          {QStringLiteral("Model"), posterior + "model.csv"}}) {
        if (const std::string* csv = results.table(path)) {
            addTable(title, *csv);
        }
    }
    m_figures = results.figures;
    {
        const QSignalBlocker quiet(m_figureList);
        m_figureList->clear();
        for (const StudyFigure& figure : m_figures) {
            m_figureList->addItem(figure.title);
        }
    }
    if (!m_figures.empty()) {
        addTab(m_figuresTab, QStringLiteral("Figures"));
        m_figureList->setCurrentIndex(0);
        figureChosen(0);
    } else {
        m_figureView->setFigure({}, {}, {});
    }
}

void StudyResultsPanel::addTable(const QString& title, const std::string& csv) {
    auto* page = new QWidget(this);
    auto* table = new QTableWidget(page);
    table->setObjectName(title);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* copy = new QPushButton(QStringLiteral("Copy as text"), page);
    copy->setToolTip(QStringLiteral("Copies the table as tab-separated text, to paste into a "
                                    "spreadsheet"));
    auto* layout = new QVBoxLayout(page);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(copy);
    layout->addLayout(buttons);
    layout->addWidget(table, 1);
    if (Expected<CsvTable> parsed = CsvTable::parse(csv, title.toStdString())) {
        table->setColumnCount(parsed->columnCount());
        table->setRowCount(parsed->rowCount());
        QStringList headers;
        for (int c = 0; c < parsed->columnCount(); ++c) {
            headers << QString::fromStdString(parsed->header(c));
        }
        table->setHorizontalHeaderLabels(headers);
        for (int r = 0; r < parsed->rowCount(); ++r) {
            for (int c = 0; c < parsed->columnCount(); ++c) {
                table->setItem(r, c,
                               new QTableWidgetItem(QString::fromStdString(parsed->cell(r, c))));
            }
        }
        table->resizeColumnsToContents();
    }
    connect(copy, &QPushButton::clicked, this,
            [table] { QApplication::clipboard()->setText(tabSeparated(table)); });
    addTab(page, title);
}

QString StudyResultsPanel::tabSeparated(const QTableWidget* table) {
    QStringList lines;
    QStringList header;
    for (int c = 0; c < table->columnCount(); ++c) {
        const QTableWidgetItem* item = table->horizontalHeaderItem(c);
        header << (item != nullptr ? item->text() : QString());
    }
    lines << header.join(QLatin1Char('\t'));
    for (int r = 0; r < table->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < table->columnCount(); ++c) {
            const QTableWidgetItem* item = table->item(r, c);
            // A tab or line break inside a cell would split it: a blank stands in.
            QString cell = item != nullptr ? item->text() : QString();
            cell.replace(QLatin1Char('\t'), QLatin1Char(' '));
            cell.replace(QLatin1Char('\n'), QLatin1Char(' '));
            cells << cell;
        }
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QTableWidget* StudyResultsPanel::tableTab(const QString& title) const {
    return findChild<QTableWidget*>(title);
}

void StudyResultsPanel::figureChosen(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= m_figures.size()) {
        m_figureView->setFigure({}, {}, {});
        return;
    }
    const StudyFigure& figure = m_figures[static_cast<std::size_t>(index)];
    m_figureView->setFigure(figure.paint, figure.title, QString::fromStdString(figure.name));
}

void StudyResultsPanel::setSaveChooser(std::function<QString(const QString&)> chooser) {
    m_saveChooser = std::move(chooser);
}

void StudyResultsPanel::SaveFigure_Click() {
    if (!m_figureView->hasFigure()) {
        return;
    }
    const QString proposed = QDir(m_folder).filePath(m_figureView->name() + QStringLiteral(".png"));
    QString selected;
    const QString filters =
        QStringLiteral("PNG picture (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)");
    QString path =
        m_saveChooser
            ? m_saveChooser(proposed)
            : QFileDialog::getSaveFileName(this, QStringLiteral("Fenlowick - Save figure"),
                                           proposed, filters, &selected);
    if (path.isEmpty()) {
        return;
    }
    if (QFileInfo(path).suffix().isEmpty()) {
        path += selected.contains(QStringLiteral("svg"))   ? QStringLiteral(".svg")
                : selected.contains(QStringLiteral("pdf")) ? QStringLiteral(".pdf")
                                                           : QStringLiteral(".png");
    }
    m_folder = QFileInfo(path).absolutePath();
    if (!m_figureView->saveFigure(path)) {
        notifier().inform(this, QStringLiteral("The figure could not be saved as ") +
                                    QDir::toNativeSeparators(path) + QLatin1Char('.'));
    }
}

void StudyResultsPanel::PrintFigure_Click() {
    if (!m_figureView->hasFigure()) {
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(m_figureView->name());
    printer.setPageOrientation(QPageLayout::Landscape);
    if (!m_choosePrinter(printer) || !m_figureView->printFigure(printer)) {
        notifier().inform(this, QStringLiteral("The figure was not printed."));
    }
}

} // namespace fenlowick
