#include "application.h"

#include "calculationrun.h"
#include "checks.h"
#include "entry/frmdatafile.h"
#include "entry/frmmain.h"
#include "widgets/notifier.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>

namespace fenlowick {

Application::Application(const QString& startFolder, QObject* parent)
    : QObject(parent), m_main(std::make_unique<frmMain>(startFolder)) {
    m_windows.emplace_back(m_main.get());
    createDataFileDialog(m_main->dataFolder());

    m_outputNamePrompt = [](QWidget* window, const QString& folder) {
        return QFileDialog::getSaveFileName(window, QStringLiteral("Fenlowick - Output file"),
                                            folder);
    };

    frmMain* main = m_main.get();
    connect(main, &frmMain::fileOpenRequested, this, &Application::openDataFile);
    connect(main, &frmMain::calculateRequested, this, &Application::calculate);
    connect(main, &frmMain::viewOutputRequested, this,
            [this] { showNotBuiltYet(QStringLiteral("statistics viewer")); });
    connect(main, &frmMain::graphRequested, this,
            [this] { showNotBuiltYet(QStringLiteral("graph window")); });
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

void Application::setOutputNamePrompt(OutputNamePrompt prompt) {
    m_outputNamePrompt = std::move(prompt);
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

void Application::calculate() {
    frmMain* main = m_main.get();
    const Entry entry = main->entry();
    if (const Expected<CalculationInput> checked = checkEntry(entry); !checked) {
        notifier().inform(main, QString::fromStdString(checked.error().message));
        return;
    }
    const QString path = m_outputNamePrompt(main, main->outputFolder());
    if (path.isEmpty()) {
        return;
    }
    const QFileInfo chosen(path);
    RunRequest request;
    request.entry = entry;
    request.folder = chosen.absolutePath().toStdString();
    request.typedName = chosen.fileName().toStdString();

    QApplication::setOverrideCursor(Qt::WaitCursor);
    const RunOutcome outcome = runCalculation(request);
    QApplication::restoreOverrideCursor();

    switch (outcome.status) {
    case RunOutcome::Status::Completed:
        if (outcome.notice) {
            notifier().inform(main, QString::fromStdString(*outcome.notice));
        }
        notifier().inform(main, QString::fromStdString(outcome.message));
        break;
    case RunOutcome::Status::Refused:
    case RunOutcome::Status::FileError:
        notifier().inform(main, QString::fromStdString(outcome.message));
        break;
    case RunOutcome::Status::NoName:
    case RunOutcome::Status::Cancelled:
        break;
    }
}

void Application::showHelp(const QString& topicFile) {
    Q_UNUSED(topicFile)
    showNotBuiltYet(QStringLiteral("help browser"));
}

void Application::showNotBuiltYet(const QString& window) {
    // The windows of later work; each call is replaced when its window exists.
    notifier().inform(
        m_main.get(),
        QStringLiteral("The %1 is not built yet in this version of Fenlowick.").arg(window));
}

void Application::closeAllWindows() {
    if (m_ending) {
        return;
    }
    m_ending = true;
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
