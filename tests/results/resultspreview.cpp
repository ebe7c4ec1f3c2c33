// A manual look at the result windows, for screenshots under a virtual display:
//   results_preview FILE.tot [SECONDS [viewer|graph|both|dialog [GRID.pdf GRAPH.pdf]]]
// shows the statistics viewer and/or the graph window sized as at start-up with FILE
// loaded (or the graph window's file dialog at FILE's folder), optionally prints both to
// PDF files, and quits after SECONDS (default 5).
#include "results/frmgraph.h"
#include "results/frmstatsviewer.h"
#include "widgets/twips.h"

#include <QApplication>
#include <QFileInfo>
#include <QPrinter>
#include <QScreen>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        return 2;
    }
    const QString file = QString::fromLocal8Bit(argv[1]);
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 5;

    // The main window's start-up rule: the screen in twips, at most 1024 x 768 pixels.
    const QSize screen = QGuiApplication::primaryScreen()->size();
    int height = fenlowick::pixelsToTwips(screen.height(), nullptr);
    int width = fenlowick::pixelsToTwips(screen.width(), nullptr);
    if (height > 11520) {
        height = 11520;
        width = 15360;
    }

    fenlowick::frmStatsViewer viewer;
    viewer.applyStartupSize(fenlowick::startupSizes(width, height));
    viewer.loadFile(file);
    fenlowick::frmGraph graph;
    graph.applyStartupSize(fenlowick::startupSizes(width, height));
    graph.loadFile(file);
    const QString which = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("both");
    if (which == QStringLiteral("dialog")) {
        graph.setGraphFolder(QFileInfo(file).absolutePath());
        graph.FileOpen_Click();
    } else {
        if (which != QStringLiteral("graph")) {
            viewer.show();
        }
        if (which != QStringLiteral("viewer")) {
            graph.show();
        }
    }

    if (argc > 5) {
        QTimer::singleShot(500, &app, [&] {
            QPrinter grid(QPrinter::HighResolution);
            grid.setOutputFormat(QPrinter::PdfFormat);
            grid.setOutputFileName(QString::fromLocal8Bit(argv[4]));
            viewer.printGrid(grid);
            QPrinter chart(QPrinter::HighResolution);
            chart.setOutputFormat(QPrinter::PdfFormat);
            chart.setPageOrientation(QPageLayout::Landscape);
            chart.setOutputFileName(QString::fromLocal8Bit(argv[5]));
            graph.printWindow(chart);
        });
    }
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    return QApplication::exec();
}
