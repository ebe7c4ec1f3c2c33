#include "gui/isospace/frmisospace.h"

#include "core/analysis/diagnosis.h"
#include "core/base/safefilename.h"
#include "core/entry/checks.h"
#include "gui/isospace/isospacescene.h"
#include "gui/widgets/notifier.h"
#include "gui/widgets/printmargins.h"
#include "gui/widgets/twips.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsView>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSvgGenerator>
#include <QVBoxLayout>

namespace fenlowick {

namespace {

const QSize kDefaultPlotSize(760, 560);

} // namespace

frmIsospace::frmIsospace(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Fenlowick - Isospace"));
    setObjectName(QStringLiteral("frmIsospace"));
    m_save = menuBar()->addAction(QStringLiteral("&Save"));
    m_print = menuBar()->addAction(QStringLiteral("&Print"));
    m_diagnose = menuBar()->addAction(QStringLiteral("&Diagnose"));
    m_help = menuBar()->addAction(QStringLiteral("&Help"));
    m_exit = menuBar()->addAction(QStringLiteral("&Exit"));
    connect(m_save, &QAction::triggered, this, &frmIsospace::SaveIsospace_Click);
    connect(m_print, &QAction::triggered, this, &frmIsospace::PrintIsospace_Click);
    connect(m_diagnose, &QAction::triggered, this, &frmIsospace::Diagnose_Click);
    connect(m_help, &QAction::triggered, this, &frmIsospace::help_Click);
    connect(m_exit, &QAction::triggered, this, &frmIsospace::ExitIsospace_Click);

    auto* client = new QWidget(this);
    setCentralWidget(client);
    auto* column = new QVBoxLayout(client);
    auto* axes = new QHBoxLayout();
    column->addLayout(axes);
    m_xAxis = new QComboBox(client);
    m_xAxis->setObjectName(QStringLiteral("XAxis"));
    m_yAxis = new QComboBox(client);
    m_yAxis->setObjectName(QStringLiteral("YAxis"));
    auto* xLabel = new QLabel(QStringLiteral("Hori&zontal axis:"), client);
    xLabel->setBuddy(m_xAxis);
    auto* yLabel = new QLabel(QStringLiteral("&Vertical axis:"), client);
    yLabel->setBuddy(m_yAxis);
    axes->addWidget(xLabel);
    axes->addWidget(m_xAxis);
    axes->addSpacing(16);
    axes->addWidget(yLabel);
    axes->addWidget(m_yAxis);
    axes->addStretch(1);

    m_scene = new IsospaceScene(this);
    m_view = new QGraphicsView(m_scene, client);
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setRenderHint(QPainter::TextAntialiasing);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_view->viewport()->installEventFilter(this);
    column->addWidget(m_view, 1);

    connect(m_xAxis, &QComboBox::activated, this, &frmIsospace::axisChosen);
    connect(m_yAxis, &QComboBox::activated, this, &frmIsospace::axisChosen);

    m_choosePrinter = [this](QPrinter& printer) {
        QPrintDialog dialog(&printer, this);
        return dialog.exec() == QDialog::Accepted;
    };
    resize(kDefaultPlotSize + QSize(24, 80));
    redraw();
}

void frmIsospace::setEntry(const Entry& entry) {
    m_entry = entry;
    const std::vector<std::string> isotopes = plottedIsotopes(entry);
    for (QComboBox* list : {m_xAxis, m_yAxis}) {
        list->clear();
        for (const std::string& name : isotopes) {
            list->addItem(QString::fromStdString(name));
        }
    }
    m_yAxis->setEnabled(isotopes.size() > 1);
    const auto [x, y] = defaultAxes(entry);
    m_xAxis->setCurrentIndex(x);
    m_yAxis->setCurrentIndex(y);
    redraw();
}

void frmIsospace::showEntry(const Entry& entry) {
    setEntry(entry);
    if (!m_placed) {
        m_placed = true;
        centreOnScreen(this);
    }
    show();
    raise();
    activateWindow();
}

QString frmIsospace::defaultSaveName() const {
    std::string name =
        isMissingLabel(m_entry.title) ? std::string("isospace") : safeFileName(m_entry.title);
    for (const QComboBox* list : {m_xAxis, m_yAxis}) {
        if (list->currentIndex() >= 0 &&
            (list == m_xAxis || m_yAxis->currentIndex() != m_xAxis->currentIndex())) {
            name += "-" + safeFileName(list->currentText().toStdString());
        }
    }
    // A title of hundreds of characters would give a name no file system takes.
    constexpr std::size_t kNameBytes = 200;
    name = cutToBytes(std::move(name), kNameBytes);
    return QDir(m_outputFolder).filePath(QString::fromStdString(name) + QStringLiteral(".png"));
}

void frmIsospace::setAxes(int xIsotope, int yIsotope) {
    m_xAxis->setCurrentIndex(xIsotope);
    m_yAxis->setCurrentIndex(yIsotope);
    redraw();
}

void frmIsospace::axisChosen() {
    redraw();
}

void frmIsospace::redraw() {
    m_plot = makeIsospacePlot(m_entry, m_xAxis->currentIndex(), m_yAxis->currentIndex());
    QSizeF size = m_view->viewport()->size();
    if (!isVisible() || size.width() < 200 || size.height() < 150) {
        size = kDefaultPlotSize;
    }
    m_scene->draw(m_plot ? &*m_plot : nullptr, size);
    m_print->setEnabled(m_plot.has_value());
    m_save->setEnabled(m_plot.has_value());
}

bool frmIsospace::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_view->viewport() && event->type() == QEvent::Resize && isVisible()) {
        redraw();
    }
    return QMainWindow::eventFilter(watched, event);
}

bool frmIsospace::saveImage(const QString& path) const {
    const QRectF source = m_scene->sceneRect();
    if (QFileInfo(path).suffix().compare(QStringLiteral("svg"), Qt::CaseInsensitive) == 0) {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(source.size().toSize());
        svg.setViewBox(QRectF(QPointF(0, 0), source.size()));
        svg.setTitle(windowTitle());
        // Text sizes are in points: at the screen's resolution they keep their place.
        svg.setResolution(m_view->logicalDpiX());
        QPainter painter;
        if (!painter.begin(&svg)) {
            return false;
        }
        m_scene->render(&painter, QRectF(QPointF(0, 0), source.size()), source);
        return painter.end() && QFileInfo(path).size() > 0;
    }
    QImage image((source.size() * 2).toSize(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    m_scene->render(&painter, QRectF(QPointF(0, 0), image.size()), source);
    painter.end();
    return image.save(path, "PNG");
}

bool frmIsospace::printPlot(QPrinter& printer) const {
    const int copies = std::max(1, printer.copyCount());
    printer.setCopyCount(1);
    QPainter painter;
    if (!painter.begin(&printer)) {
        return false;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    for (int copy = 0; copy < copies; ++copy) {
        if (copy > 0 && !printer.newPage()) {
            return false;
        }
        const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
        m_scene->render(&painter, QRectF(QPointF(0, 0), page.size()), m_scene->sceneRect(),
                        Qt::KeepAspectRatio);
    }
    return painter.end() && printer.printerState() != QPrinter::Error;
}

void frmIsospace::setPrinterChooser(PrinterChooser chooser) {
    m_choosePrinter = std::move(chooser);
}

void frmIsospace::SaveIsospace_Click() {
    QString selectedFilter;
    const QString pngFilter = QStringLiteral("PNG image (*.png)");
    const QString svgFilter = QStringLiteral("SVG drawing (*.svg)");
    QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Fenlowick - Save Isospace"), defaultSaveName(),
        pngFilter + QStringLiteral(";;") + svgFilter, &selectedFilter);
    if (path.isEmpty()) {
        return;
    }
    if (QFileInfo(path).suffix().isEmpty()) {
        path += selectedFilter == svgFilter ? QStringLiteral(".svg") : QStringLiteral(".png");
    }
    if (!saveImage(path)) {
        notifier().inform(this, QStringLiteral("The plot could not be saved as ") +
                                    QDir::toNativeSeparators(path) + QLatin1Char('.'));
    }
}

void frmIsospace::PrintIsospace_Click() {
    QPrinter printer(QPrinter::HighResolution);
    const QFileInfo name(defaultSaveName());
    printer.setDocName(name.completeBaseName());
    printer.setPageOrientation(QPageLayout::Landscape);
    // Without a printer the dialog offers a PDF in the output folder, as Save does.
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(
            name.dir().filePath(name.completeBaseName() + QStringLiteral(".pdf")));
    }
    if (!m_choosePrinter(printer)) {
        notifier().inform(this, QStringLiteral("There was an error during the printout!  Check "
                                               "your printer and cable before trying again."));
        return;
    }
    keepPrintableMargins(printer);
    if (!printPlot(printer)) {
        notifier().inform(this, QStringLiteral("There was an error during the printout!  Check "
                                               "your printer and cable before trying again."));
    }
}

void frmIsospace::Diagnose_Click() {
    // At most about a second for the largest entries (the search's own limit).
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const Expected<Diagnosis> diagnosis = diagnoseEntry(m_entry);
    QGuiApplication::restoreOverrideCursor();
    notifier().inform(
        this, QString::fromStdString(diagnosis ? diagnosis->message : diagnosis.error().message));
}

void frmIsospace::help_Click() {
    emit helpRequested(QStringLiteral("isospace.htm"));
}

void frmIsospace::ExitIsospace_Click() {
    hide();
}

} // namespace fenlowick
