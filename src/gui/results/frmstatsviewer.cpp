#include "gui/results/frmstatsviewer.h"

#include "core/results/resultformat.h"
#include "gui/results/frmopentotals.h"
#include "gui/results/resultmessages.h"
#include "gui/widgets/notifier.h"
#include "gui/widgets/printmargins.h"
#include "gui/widgets/twips.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenuBar>
#include <QPrinter>
#include <QScrollBar>
#include <QTableWidget>
#include <algorithm>
#include <cmath>

namespace fenlowick {

namespace {

/// Column widths in pixels: at least room for a few digits, at most for a long label.
constexpr int kLeastColumnWidth = 72;
constexpr int kWidestColumnWidth = 280;

} // namespace

frmStatsViewer::frmStatsViewer(QWidget* parent)
    : QMainWindow(parent), m_openTotals(new frmOpenTotals(this)) {
    setObjectName(QStringLiteral("frmStatsViewer"));
    setWindowTitle(QStringLiteral("Fenlowick - View Statistical Output"));

    m_fileOpen = menuBar()->addAction(QStringLiteral("&File"));
    m_printData = menuBar()->addAction(QStringLiteral("&Print"));
    m_copyGrid = menuBar()->addAction(QStringLiteral("&Copy"));
    m_help = menuBar()->addAction(QStringLiteral("&Help"));
    m_exitViewer = menuBar()->addAction(QStringLiteral("&Exit"));
    m_fileOpen->setObjectName(QStringLiteral("FileOpen"));
    m_printData->setObjectName(QStringLiteral("PrintData"));
    m_copyGrid->setObjectName(QStringLiteral("CopyGrid"));
    m_help->setObjectName(QStringLiteral("help"));
    m_exitViewer->setObjectName(QStringLiteral("ExitViewer"));
    m_copyGrid->setShortcut(QKeySequence::Copy);
    m_copyGrid->setToolTip(QStringLiteral("Copy the grid as tab-separated text"));
    connect(m_fileOpen, &QAction::triggered, this, &frmStatsViewer::FileOpen_Click);
    connect(m_printData, &QAction::triggered, this, &frmStatsViewer::PrintData_Click);
    connect(m_copyGrid, &QAction::triggered, this, &frmStatsViewer::CopyGrid_Click);
    connect(m_help, &QAction::triggered, this, &frmStatsViewer::help_Click);
    connect(m_exitViewer, &QAction::triggered, this, &frmStatsViewer::ExitViewer_Click);

    auto* client = new QWidget(this);
    setCentralWidget(client);
    m_grid = new QTableWidget(kGridRows - 1, kRecordFields, client);
    m_grid->setObjectName(QStringLiteral("grid"));
    m_grid->verticalHeader()->hide();
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionMode(QAbstractItemView::ContiguousSelection);
    m_grid->horizontalHeader()->setSectionsClickable(false);
    m_grid->horizontalHeader()->setHighlightSections(false);
    m_grid->setWordWrap(false);
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 6);
    for (int c = 0; c < kRecordFields; ++c) {
        m_grid->setHorizontalHeaderItem(c, new QTableWidgetItem(QString()));
    }
    client->installEventFilter(this);

    m_gridMargins = QMargins(8, 8, 8, 8);
    resize(900, 600);
    centreOnScreen(this);

    connect(m_openTotals, &ResultFileDialog::openRequested, this, &frmStatsViewer::openTotalsFile);
    connect(m_openTotals, &ResultFileDialog::helpRequested, this, &frmStatsViewer::helpRequested);
    m_choosePrinter = [this](QPrinter& printer) {
        QString pdf = QDir::current().filePath(QStringLiteral("statistics.pdf"));
        if (!m_loadedPath.isEmpty()) {
            const QFileInfo loaded(m_loadedPath);
            pdf = loaded.dir().filePath(loaded.completeBaseName() + QStringLiteral(".pdf"));
        }
        return showPrinterDialog(printer, this, pdf);
    };
}

void frmStatsViewer::applyStartupSize(const StartupSizes& sizes) {
    const int width = twipsToPixels(sizes.statsViewer.width, this);
    const int height = twipsToPixels(sizes.statsViewer.height, this);
    const int gridWidth = twipsToPixels(sizes.statsGrid.width, this);
    const int gridHeight = twipsToPixels(sizes.statsGrid.height, this);
    const int clientHeight = height - menuBar()->sizeHint().height();
    const int left = std::max(0, (width - gridWidth) / 2);
    const int right = std::max(0, width - gridWidth - left);
    const int top = twipsToPixels(120, this);
    m_gridMargins = QMargins(left, top, right, std::max(0, clientHeight - top - gridHeight));
    resize(width, height);
    layOutGrid();
    for (int c = 0; c < kRecordFields; ++c) {
        m_grid->setColumnWidth(c, std::max(40, gridWidth / kRecordFields - 2));
    }
    centreOnScreen(this);
}

void frmStatsViewer::setTotalsFolder(const QString& folder) {
    m_openTotals->setFolder(folder);
}

void frmStatsViewer::clearGrid() {
    m_grid->clearContents();
    for (int c = 0; c < kRecordFields; ++c) {
        m_grid->horizontalHeaderItem(c)->setText(QString());
    }
}

QString frmStatsViewer::cellText(int row, int column) const {
    if (row == 0) {
        return m_grid->horizontalHeaderItem(column)->text();
    }
    const QTableWidgetItem* item = m_grid->item(row - 1, column);
    return item != nullptr ? item->text() : QString();
}

void frmStatsViewer::setCellText(int row, int column, const QString& text) {
    if (row == 0) {
        m_grid->horizontalHeaderItem(column)->setText(text);
        return;
    }
    // The tooltip shows a text whole where its column cuts it short (a long title).
    if (QTableWidgetItem* item = m_grid->item(row - 1, column)) {
        item->setText(text);
        item->setToolTip(text);
    } else if (!text.isEmpty()) {
        auto* fresh = new QTableWidgetItem(text);
        fresh->setToolTip(text);
        m_grid->setItem(row - 1, column, fresh);
    }
}

bool frmStatsViewer::loadFile(const QString& path) {
    clearGrid();
    const GridLoad load = loadGridFile(QFile::encodeName(path).toStdString());
    for (std::size_t k = 0; k < load.records.size(); ++k) {
        for (int c = 0; c < kRecordFields; ++c) {
            const std::string& text = load.records[k][c];
            if (!text.empty()) {
                setCellText(kFirstRecordRow + static_cast<int>(k), c, QString::fromStdString(text));
            }
        }
    }
    // Each column as wide as its widest text, within limits; measured here rather than by
    // the view, which looks only at the rows on screen.
    const QFontMetrics metrics(m_grid->font());
    const int padding = metrics.horizontalAdvance(QStringLiteral("00"));
    for (int c = 0; c < kRecordFields; ++c) {
        int widest = 0;
        for (const GridRow& record : load.records) {
            widest = std::max(widest, metrics.horizontalAdvance(QString::fromStdString(record[c])));
        }
        m_grid->setColumnWidth(c,
                               std::clamp(widest + padding, kLeastColumnWidth, kWidestColumnWidth));
    }
    // A new file is read from its beginning, not at the old one's scroll position.
    m_grid->scrollToTop();
    m_grid->horizontalScrollBar()->setValue(0);
    m_loadedPath = path;
    return !load.failed;
}

std::vector<GridRow> frmStatsViewer::gridRows() const {
    std::vector<GridRow> rows(kGridRows);
    for (int r = 0; r < kGridRows; ++r) {
        for (int c = 0; c < kRecordFields; ++c) {
            rows[r][c] = cellText(r, c).toStdString();
        }
    }
    return rows;
}

bool frmStatsViewer::printGrid(QPrinter& printer) const {
    keepPrintableMargins(printer);
    const std::vector<GridRow> rows = gridRows();
    std::vector<std::string> column0;
    column0.reserve(rows.size());
    for (const GridRow& row : rows) {
        column0.push_back(row[0]);
    }
    return printGridLines(printer, rows, printPages(lastPrintRow(column0)));
}

void frmStatsViewer::setPrinterChooser(PrinterChooser chooser) {
    m_choosePrinter = std::move(chooser);
}

QString frmStatsViewer::gridAsTabSeparatedText() const {
    int top = 0;
    int bottom = kGridRows - 1;
    int left = 0;
    int right = kRecordFields - 1;
    const QList<QTableWidgetSelectionRange> ranges = m_grid->selectedRanges();
    if (ranges.size() == 1 && ranges.first().rowCount() * ranges.first().columnCount() > 1) {
        const QTableWidgetSelectionRange& range = ranges.first();
        top = range.topRow() + 1;
        bottom = range.bottomRow() + 1;
        left = range.leftColumn();
        right = range.rightColumn();
    }
    std::vector<std::vector<std::string>> cells;
    for (int r = top; r <= bottom; ++r) {
        std::vector<std::string>& row = cells.emplace_back();
        for (int c = left; c <= right; ++c) {
            row.push_back(cellText(r, c).toStdString());
        }
    }
    return QString::fromStdString(tabSeparatedText(cells));
}

void frmStatsViewer::FileOpen_Click() {
    m_openTotals->showDialog();
}

void frmStatsViewer::PrintData_Click() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("Fenlowick statistics"));
    if (!m_choosePrinter(printer) || !printGrid(printer)) {
        notifier().inform(this, resultmessages::viewerPrintFailed());
    }
}

void frmStatsViewer::CopyGrid_Click() {
    QGuiApplication::clipboard()->setText(gridAsTabSeparatedText());
}

void frmStatsViewer::help_Click() {
    emit helpRequested(resultmessages::viewingTopic());
}

void frmStatsViewer::ExitViewer_Click() {
    hide();
}

void frmStatsViewer::openTotalsFile() {
    if (m_openTotals->fileName().isEmpty()) {
        notifier().inform(m_openTotals, resultmessages::selectFile());
        return;
    }
    if (!loadFile(m_openTotals->fullPath())) {
        notifier().inform(m_openTotals, resultmessages::viewerAccessError());
        m_openTotals->openFailed();
        return;
    }
    m_openTotals->hide();
}

void frmStatsViewer::closeEvent(QCloseEvent* event) {
    m_discarded = true;
    clearGrid();
    m_loadedPath.clear();
    QMainWindow::closeEvent(event);
}

void frmStatsViewer::showEvent(QShowEvent* event) {
    if (m_discarded) {
        m_discarded = false;
        centreOnScreen(this);
    }
    QMainWindow::showEvent(event);
}

bool frmStatsViewer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == centralWidget() && event->type() == QEvent::Resize) {
        layOutGrid();
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmStatsViewer::layOutGrid() {
    const QRect area = centralWidget()->rect().marginsRemoved(m_gridMargins);
    m_grid->setGeometry(area.x(), area.y(), std::max(area.width(), 100),
                        std::max(area.height(), 100));
}

} // namespace fenlowick
