#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

namespace fenlowick {

class frmDataFile;
class frmMain;

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

    frmMain* mainWindow() const { return m_main.get(); }
    /// The data-file dialog as it is now; null after its close box until the next File
    /// command creates it again.
    frmDataFile* dataFileDialog() const;

    /// Asks for the path of the result files of a calculation, starting in `folder`; an
    /// empty answer cancels the run. A plain save-file prompt unless replaced (tests).
    using OutputNamePrompt = std::function<QString(QWidget* parent, const QString& folder)>;
    void setOutputNamePrompt(OutputNamePrompt prompt);

signals:
    /// Every window has been closed; the event loop is asked to end.
    void ended();

private:
    void createDataFileDialog(const QString& folder);
    void openDataFile();
    void calculate();
    void showHelp(const QString& topicFile);
    void showNotBuiltYet(const QString& window);
    void closeAllWindows();

    std::unique_ptr<frmMain> m_main;
    QPointer<frmDataFile> m_dataFile;
    /// The windows in the order they were created; closed in reverse at the end.
    std::vector<QPointer<QWidget>> m_windows;
    OutputNamePrompt m_outputNamePrompt;
    bool m_ending = false;
};

} // namespace fenlowick
