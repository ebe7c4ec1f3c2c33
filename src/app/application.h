#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

namespace fenlowick {

class CalculationController;
class frmDataFile;
class frmGraph;
class frmIsospace;
class frmMain;
class frmStatsViewer;
class frmStudy;
class HelpBrowserHost;

/// The program: creates the main window and the windows it reaches, connects the main
/// window's commands to them, and ends the program when the main window closes.
class Application : public QObject {
    Q_OBJECT

public:
    /// Start-up with `startFolder` as StartFolder (the program passes the current folder).
    /// The windows are created hidden.
    explicit Application(const QString& startFolder, QObject* parent = nullptr);
    ~Application() override;

    /// Shows the main window.
    void start();

    /// Loads the data file `path` into the main window as the data-file dialog opens a typed
    /// name, the dialog moving to the file's folder; a file that cannot be read shows the
    /// program's message and leaves the entry as it was.
    void loadDataFile(const QString& path);

    frmMain* mainWindow() const { return m_main.get(); }
    /// The data-file dialog as it is now; null after its close box until the next File
    /// command creates it again.
    frmDataFile* dataFileDialog() const;

    /// The Calc command: output-file dialog, progress window, the run on a worker thread.
    CalculationController* calculation() const { return m_calculation; }

    frmStatsViewer* statsViewer() const { return m_statsViewer; }
    frmGraph* graph() const { return m_graph; }
    frmIsospace* isospace() const { return m_isospace; }
    frmStudy* study() const { return m_study; }

    /// The one help browser every Help command shows its topic in.
    HelpBrowserHost* help() const { return m_help; }

signals:
    /// Every window has been closed; the event loop is asked to end.
    void ended();

private:
    void createDataFileDialog(const QString& folder);
    void openDataFile();
    void showHelp(const QString& topicFile);
    void showWindow(QWidget* window);
    void closeAllWindows();

    std::unique_ptr<frmMain> m_main;
    QPointer<frmDataFile> m_dataFile;
    /// The windows in the order they were created; closed in reverse at the end.
    std::vector<QPointer<QWidget>> m_windows;
    CalculationController* m_calculation = nullptr;
    frmStatsViewer* m_statsViewer = nullptr;
    frmGraph* m_graph = nullptr;
    frmIsospace* m_isospace = nullptr;
    frmStudy* m_study = nullptr;
    HelpBrowserHost* m_help = nullptr;
    bool m_ending = false;
};

} // namespace fenlowick
