#include "gui/results/frmgraph.h"

#include "gui/results/frmopengraphfile.h"
#include "gui/results/resultmessages.h"
#include "gui/widgets/notifier.h"
#include "gui/widgets/printmargins.h"
#include "gui/widgets/twips.h"

#include <QAction>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <QSvgGenerator>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace fenlowick {

namespace {

/// With more levels than this only every 5th or 10th level is labelled, so that the labels
/// do not overlap.
constexpr int kAllLabelledRows = 26;

int labelStep(int rows) {
    if (rows <= kAllLabelledRows) {
        return 1;
    }
    return rows <= 5 * kAllLabelledRows ? 5 : 10;
}

/// Exported PNG images have this many pixels per pixel on the screen.
constexpr int kImageScale = 2;

} // namespace

frmGraph::frmGraph(QWidget* parent)
    : QMainWindow(parent), m_openGraphFile(new frmOpenGraphFile(this)) {
    setObjectName(QStringLiteral("frmGraph"));
    setWindowTitle(QStringLiteral("Fenlowick - Graph"));

    m_fileOpen = menuBar()->addAction(QStringLiteral("&File"));
    m_nextGraph = menuBar()->addAction(QStringLiteral("&Next"));
    m_previousGraph = menuBar()->addAction(QStringLiteral("P&revious"));
    m_prtGraph = menuBar()->addAction(QStringLiteral("&Print"));
    m_saveChart = menuBar()->addAction(QStringLiteral("&Save"));
    m_help = menuBar()->addAction(QStringLiteral("&Help"));
    m_exitGraph = menuBar()->addAction(QStringLiteral("&Exit"));
    m_fileOpen->setObjectName(QStringLiteral("FileOpen"));
    m_nextGraph->setObjectName(QStringLiteral("NextGraph"));
    m_previousGraph->setObjectName(QStringLiteral("PreviousGraph"));
    m_prtGraph->setObjectName(QStringLiteral("PrtGraph"));
    m_saveChart->setObjectName(QStringLiteral("SaveChart"));
    m_help->setObjectName(QStringLiteral("help"));
    m_exitGraph->setObjectName(QStringLiteral("ExitGraph"));
    m_saveChart->setToolTip(QStringLiteral("Save the chart as a PNG image or an SVG drawing"));
    connect(m_fileOpen, &QAction::triggered, this, &frmGraph::FileOpen_Click);
    connect(m_nextGraph, &QAction::triggered, this, &frmGraph::NextGraph_Click);
    connect(m_previousGraph, &QAction::triggered, this, &frmGraph::PreviousGraph_Click);
    connect(m_prtGraph, &QAction::triggered, this, &frmGraph::PrtGraph_Click);
    connect(m_saveChart, &QAction::triggered, this, &frmGraph::SaveChart_Click);
    connect(m_help, &QAction::triggered, this, &frmGraph::help_Click);
    connect(m_exitGraph, &QAction::triggered, this, &frmGraph::ExitGraph_Click);

    auto* client = new QWidget(this);
    setCentralWidget(client);
    m_fileLabel = new QLabel(QStringLiteral("FILENAME:"), client);
    m_fileLabel->setObjectName(QStringLiteral("label1"));
    m_pathLabel = new QLabel(client);
    m_pathLabel->setObjectName(QStringLiteral("Label2"));
    QFont bold = m_fileLabel->font();
    bold.setBold(true);
    m_fileLabel->setFont(bold);

    m_chart = new QChart();
    m_chartView = new QChartView(m_chart, client);
    m_chartView->setObjectName(QStringLiteral("MSChart1"));
    m_chartView->setRenderHint(QPainter::Antialiasing);
    m_chart->legend()->hide();
    QFont titleFont = m_chart->titleFont();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    titleFont.setBold(true);
    m_chart->setTitleFont(titleFont);

    m_bars = new QBarSet(QStringLiteral("Percent Frequency"));
    m_bars->setColor(QColor(0, 0, 192));
    m_bars->setBorderColor(QColor(0, 0, 128));
    m_series = new QBarSeries();
    m_series->append(m_bars);
    m_series->setBarWidth(0.8);
    m_chart->addSeries(m_series);

    // The bars stand at 0, 1, 2, ...; each label is placed under its bar.
    m_levelAxis = new QCategoryAxis();
    m_levelAxis->setTitleText(QStringLiteral("Source Proportion"));
    m_levelAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_levelAxis->setGridLineVisible(false);
    m_percentAxis = new QValueAxis();
    m_percentAxis->setTitleText(QStringLiteral("Percent Frequency"));
    m_percentAxis->setLabelFormat(QStringLiteral("%.0f"));
    m_percentAxis->setMinorTickCount(0);
    QFont axisTitleFont = m_levelAxis->titleFont();
    axisTitleFont.setBold(true);
    m_levelAxis->setTitleFont(axisTitleFont);
    m_percentAxis->setTitleFont(axisTitleFont);
    m_chart->addAxis(m_levelAxis, Qt::AlignBottom);
    m_chart->addAxis(m_percentAxis, Qt::AlignLeft);
    m_series->attachAxis(m_levelAxis);
    m_series->attachAxis(m_percentAxis);
    m_chartView->hide();

    client->installEventFilter(this);
    m_chartMargins = QMargins(8, 8, 8, 8);
    resize(1000, 700);
    centreOnScreen(this);
    updateCommands();

    connect(m_openGraphFile, &ResultFileDialog::openRequested, this,
            &frmGraph::openGraphFileFromDialog);
    connect(m_openGraphFile, &ResultFileDialog::helpRequested, this, &frmGraph::helpRequested);
    m_choosePrinter = [this](QPrinter& printer) {
        QString pdf = QDir::current().filePath(QStringLiteral("graph.pdf"));
        if (!m_loadedPath.isEmpty()) {
            const QFileInfo loaded(m_loadedPath);
            pdf = loaded.dir().filePath(loaded.completeBaseName() + QStringLiteral("-graph.pdf"));
        }
        return showPrinterDialog(printer, this, pdf);
    };
}

void frmGraph::applyStartupSize(const StartupSizes& sizes) {
    const int width = twipsToPixels(sizes.graphWindow.width, this);
    const int height = twipsToPixels(sizes.graphWindow.height, this);
    m_pathLabelWidth = twipsToPixels(sizes.graphPathLabel.width, this);
    m_pathLabelHeight = std::max(twipsToPixels(sizes.graphPathLabel.height, this),
                                 m_pathLabel->fontMetrics().height());
    const int chartWidth = twipsToPixels(sizes.graphChart.width, this);
    const int chartHeight = twipsToPixels(sizes.graphChart.height, this);
    const int clientHeight = height - menuBar()->sizeHint().height();
    const int top = twipsToPixels(60, this) + m_pathLabelHeight + twipsToPixels(60, this);
    const int left = std::max(0, (width - chartWidth) / 2);
    const int right = std::max(0, width - chartWidth - left);
    m_chartMargins = QMargins(left, top, right, std::max(0, clientHeight - top - chartHeight));
    resize(width, height);
    layOutClient();
    centreOnScreen(this);
}

void frmGraph::setGraphFolder(const QString& folder) {
    m_openGraphFile->setFolder(folder);
}

GraphReadError frmGraph::loadFile(const QString& path) {
    m_chartView->hide();
    m_graph = GraphData();
    m_navigation.clear();
    m_pathLabel->setText(path);
    GraphRead read = loadGraphFile(QFile::encodeName(path).toStdString());
    if (read.error != GraphReadError::None) {
        updateCommands();
        return read.error;
    }
    m_graph = std::move(read.data);
    m_loadedPath = path;
    m_percentAxis->setRange(0, m_graph.scaleMax);
    m_percentAxis->setTickCount(m_graph.divisions + 1);
    for (const QString& label : m_levelAxis->categoriesLabels()) {
        m_levelAxis->remove(label);
    }
    const int step = labelStep(m_graph.rowCount());
    for (int r = 0; r < m_graph.rowCount(); r += step) {
        m_levelAxis->append(QString::fromStdString(m_graph.levelLabels[r]), r);
    }
    m_levelAxis->setRange(-0.5, m_graph.rowCount() - 0.5);
    showSource(1);
    m_navigation.loaded(m_graph.sourceCount());
    m_chartView->show();
    updateCommands();
    return GraphReadError::None;
}

void frmGraph::openGraphFileFromDialog() {
    m_chartView->hide();
    m_graph = GraphData();
    m_navigation.clear();
    updateCommands();
    if (m_openGraphFile->fileName().isEmpty()) {
        notifier().inform(m_openGraphFile, resultmessages::selectFile());
        return;
    }
    switch (loadFile(m_openGraphFile->fullPath())) {
    case GraphReadError::None:
        m_openGraphFile->hide();
        break;
    case GraphReadError::WrongType:
        notifier().inform(m_openGraphFile, resultmessages::graphWrongType());
        break;
    case GraphReadError::Access:
        notifier().inform(m_openGraphFile, resultmessages::graphAccessError());
        m_openGraphFile->openFailed();
        break;
    }
}

void frmGraph::showSource(int source) {
    const int j = source - 1;
    m_chart->setTitle(QStringLiteral("SOURCE: ") + QString::fromStdString(m_graph.sourceNames[j]));
    QList<qreal> values;
    for (int r = 0; r < m_graph.rowCount(); ++r) {
        values << static_cast<qreal>(m_graph.percent[j][r]);
    }
    m_bars->remove(0, m_bars->count());
    m_bars->append(values);
}

QStringList frmGraph::levelAxisLabels() const {
    return m_levelAxis->categoriesLabels();
}

void frmGraph::updateCommands() {
    m_nextGraph->setEnabled(m_navigation.nextEnabled());
    m_previousGraph->setEnabled(m_navigation.previousEnabled());
    m_prtGraph->setEnabled(m_navigation.printEnabled());
    m_saveChart->setEnabled(m_navigation.printEnabled() && m_navigation.current() > 0);
}

bool frmGraph::saveChartImage(const QString& path) const {
    if (m_navigation.current() == 0) {
        return false;
    }
    const QSize size = m_chartView->size();
    const QRectF source = m_chartView->sceneRect();
    if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(m_chart->title());
        svg.setDescription(QStringLiteral("Fenlowick histogram of ") + m_loadedPath);
        QPainter painter;
        if (!painter.begin(&svg)) {
            return false;
        }
        painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
        m_chartView->scene()->render(&painter, QRectF(QPoint(0, 0), size), source);
        if (!painter.end()) {
            return false;
        }
        // The generator does not report a file it could not write.
        return QFileInfo(path).size() > 0;
    }
    QImage image(size * kImageScale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(kImageScale);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        m_chartView->scene()->render(&painter, QRectF(QPoint(0, 0), size), source);
    }
    return image.save(path, "PNG");
}

bool frmGraph::printWindow(QPrinter& printer) {
    return printWindowImage(printer, centralWidget(), m_chartView);
}

void frmGraph::setPrinterChooser(PrinterChooser chooser) {
    m_choosePrinter = std::move(chooser);
}

void frmGraph::FileOpen_Click() {
    m_openGraphFile->showDialog();
}

void frmGraph::NextGraph_Click() {
    if (m_navigation.next()) {
        showSource(m_navigation.current());
    }
    updateCommands();
}

void frmGraph::PreviousGraph_Click() {
    if (m_navigation.previous()) {
        showSource(m_navigation.current());
    }
    updateCommands();
}

void frmGraph::PrtGraph_Click() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("Fenlowick graph"));
    printer.setPageOrientation(QPageLayout::Landscape);
    if (!m_choosePrinter(printer)) {
        notifier().inform(this, resultmessages::graphPrintFailed());
        return;
    }
    keepPrintableMargins(printer);
    if (!printWindow(printer)) {
        notifier().inform(this, resultmessages::graphPrintFailed());
    }
}

QString frmGraph::defaultSaveName() const {
    const QFileInfo loaded(m_loadedPath);
    QString source = m_navigation.current() > 0
                         ? QString::fromStdString(m_graph.sourceNames[m_navigation.current() - 1])
                         : QString();
    source.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]+")), QStringLiteral("_"));
    return loaded.dir().filePath(loaded.completeBaseName() + QLatin1Char('-') + source +
                                 QStringLiteral(".png"));
}

void frmGraph::SaveChart_Click() {
    QString selectedFilter;
    const QString pngFilter = QStringLiteral("PNG image (*.png)");
    const QString svgFilter = QStringLiteral("SVG drawing (*.svg)");
    QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Fenlowick - Save Chart"), defaultSaveName(),
        pngFilter + QStringLiteral(";;") + svgFilter, &selectedFilter);
    if (path.isEmpty()) {
        return;
    }
    if (QFileInfo(path).suffix().isEmpty()) {
        path += selectedFilter == svgFilter ? QStringLiteral(".svg") : QStringLiteral(".png");
    }
    if (!saveChartImage(path)) {
        notifier().inform(this, QStringLiteral("The chart could not be saved as ") +
                                    QDir::toNativeSeparators(path) + QLatin1Char('.'));
    }
}

void frmGraph::help_Click() {
    emit helpRequested(resultmessages::graphingTopic());
}

void frmGraph::ExitGraph_Click() {
    hide();
}

void frmGraph::closeEvent(QCloseEvent* event) {
    m_discarded = true;
    m_chartView->hide();
    m_pathLabel->clear();
    m_navigation.resetCommands();
    updateCommands();
    QMainWindow::closeEvent(event);
}

void frmGraph::showEvent(QShowEvent* event) {
    if (m_discarded) {
        m_discarded = false;
        centreOnScreen(this);
    }
    QMainWindow::showEvent(event);
}

bool frmGraph::eventFilter(QObject* watched, QEvent* event) {
    if (watched == centralWidget() && event->type() == QEvent::Resize) {
        layOutClient();
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmGraph::layOutClient() {
    const QRect client = centralWidget()->rect();
    const int top = twipsToPixels(60, this);
    const int left = twipsToPixels(120, this);
    const int labelHeight = std::max(m_pathLabelHeight, m_pathLabel->fontMetrics().height());
    const int fileLabelWidth = m_fileLabel->sizeHint().width();
    m_fileLabel->setGeometry(left, top, fileLabelWidth, labelHeight);
    const int pathLeft = left + fileLabelWidth + twipsToPixels(120, this);
    const int pathWidth = m_pathLabelWidth > 0 ? m_pathLabelWidth : client.width() - pathLeft;
    m_pathLabel->setGeometry(pathLeft, top, std::min(pathWidth, client.width() - pathLeft),
                             labelHeight);
    const QRect chart = client.marginsRemoved(m_chartMargins);
    m_chartView->setGeometry(chart.x(), std::max(chart.y(), top + labelHeight),
                             std::max(chart.width(), 200), std::max(chart.height(), 150));
}

} // namespace fenlowick
