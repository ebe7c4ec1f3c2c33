#include "app/application.h"

#include "gui/calcui/calculationcontroller.h"
#include "gui/calcui/frmoutputfiles.h"
#include "gui/calcui/frmprogress.h"
#include "gui/entry/frmdatafile.h"
#include "gui/entry/frmmain.h"
#include "gui/help/frmbrowser.h"
#include "gui/help/helpbrowserhost.h"
#include "gui/isospace/frmisospace.h"
#include "gui/results/frmgraph.h"
#include "gui/results/frmstatsviewer.h"
#include "gui/study/frmstudy.h"
#include "gui/widgets/notifier.h"

#include <QAction>
#include <QApplication>

namespace fenlowick {

Application::Application(const QString& startFolder, QObject* parent)
    : QObject(parent), m_main(std::make_unique<frmMain>(startFolder)) {
    m_windows.emplace_back(m_main.get());
    frmMain* main = m_main.get();
    // The secondary windows come into being hidden, sized and pointed at their folders.
    m_graph = new frmGraph(main);
    m_graph->applyStartupSize(main->startupSizes());
    m_graph->setGraphFolder(main->outputFolder());
    m_windows.emplace_back(m_graph);
    m_statsViewer = new frmStatsViewer(main);
    m_statsViewer->applyStartupSize(main->startupSizes());
    m_statsViewer->setTotalsFolder(main->outputFolder());
    m_windows.emplace_back(m_statsViewer);
    m_isospace = new frmIsospace(main);
    m_isospace->setOutputFolder(main->outputFolder());
    m_windows.emplace_back(m_isospace);
    m_study = new frmStudy(main);
    m_study->setStartFolder(main->startFolder());
    m_windows.emplace_back(m_study);
    createDataFileDialog(main->dataFolder());

    m_calculation = new CalculationController(main);
    m_calculation->outputDialog()->setFolder(main->outputFolder());
    m_windows.emplace_back(m_calculation->outputDialog());
    m_help = new HelpBrowserHost(startFolder, main);

    connect(main, &frmMain::fileOpenRequested, this, &Application::openDataFile);
    connect(main, &frmMain::calculateRequested, this,
            [this] { m_calculation->calculate(m_main->entry()); });
    // One run at a time: the second would share the first one's output name.
    connect(m_calculation, &CalculationController::runningChanged, this, [this](bool running) {
        m_main->menuCommand(QStringLiteral("Calculate"))->setEnabled(!running);
    });
    connect(m_calculation, &CalculationController::helpRequested, this, &Application::showHelp);
    connect(main, &frmMain::viewOutputRequested, this, [this] {
        m_statsViewer->clearGrid();
        showWindow(m_statsViewer);
    });
    connect(main, &frmMain::graphRequested, this, [this] { showWindow(m_graph); });
    connect(m_statsViewer, &frmStatsViewer::helpRequested, this, &Application::showHelp);
    connect(m_graph, &frmGraph::helpRequested, this, &Application::showHelp);
    connect(main, &frmMain::isospaceRequested, this,
            [this] { m_isospace->showEntry(m_main->entry()); });
    // An open isotope-space window follows an entry that replaces the one it shows, so that
    // its plot, Diagnose, Save and Print never speak of an entry no longer in the window.
    connect(main, &frmMain::entryReplaced, this, [this] {
        if (m_isospace->isVisible()) {
            m_isospace->setEntry(m_main->entry());
        }
    });
    connect(m_isospace, &frmIsospace::helpRequested, this, &Application::showHelp);
    connect(main, &frmMain::studyRequested, this, [this] { m_study->showWindow(); });
    connect(m_study, &frmStudy::helpRequested, this, &Application::showHelp);
    connect(main, &frmMain::helpRequested, this, &Application::showHelp);
    connect(main, &frmMain::closing, this, &Application::closeAllWindows);
}

Application::~Application() = default;

frmDataFile* Application::dataFileDialog() const {
    return m_dataFile;
}

void Application::start() {
    m_main->show();
}

void Application::loadDataFile(const QString& path) {
    if (m_dataFile == nullptr) {
        createDataFileDialog(m_main->startFolder());
    }
    m_dataFile->openFile(path);
}

void Application::createDataFileDialog(const QString& folder) {
    m_dataFile = new frmDataFile(m_main.get(), folder);
    m_windows.emplace_back(m_dataFile.data());
    connect(m_dataFile, &frmDataFile::helpRequested, this, &Application::showHelp);
    frmDataFile* dialog = m_dataFile;
    connect(dialog, &frmDataFile::discarded, this, [this, dialog] {
        if (m_dataFile == dialog) {
            m_dataFile = nullptr;
        }
        dialog->deleteLater();
    });
}

void Application::openDataFile() {
    if (m_dataFile == nullptr) {
        // Recreated after its close box: it starts at StartFolder, not the data folder.
        createDataFileDialog(m_main->startFolder());
    }
    m_dataFile->showFromMenu();
}

void Application::showHelp(const QString& topicFile) {
    m_help->showTopic(topicFile);
}

void Application::showWindow(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

void Application::closeAllWindows() {
    if (m_ending) {
        return;
    }
    m_ending = true;
    // A running search stops and leaves no files; its windows close with the others.
    m_calculation->cancel();
    if (frmProgress* progress = m_calculation->progressWindow()) {
        progress->close();
    }
    if (frmBrowser* browser = m_help->browser()) {
        browser->close();
    }
    // Most recently created first; the main window is closing already and goes last.
    for (auto window = m_windows.rbegin(); window != m_windows.rend(); ++window) {
        if (*window != nullptr && window->data() != m_main.get()) {
            (*window)->close();
        }
    }
    QCoreApplication::processEvents();
    emit ended();
    QCoreApplication::quit();
}

} // namespace fenlowick
