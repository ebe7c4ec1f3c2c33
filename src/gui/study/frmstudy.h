#pragma once

#include "core/study/studyfile.h"
#include "core/tables/studytables.h"
#include "gui/study/studyrunner.h"
#include "gui/study/studytablepanel.h"

#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace fenlowick {

class FigureView;
class frmProgress;
class StudyResultsPanel;
class StudySettingsPanel;
class StudyTablePanel;

/// "Fenlowick - Study": a whole study with the mouse. Data: the sources, consumers and
/// (optional) discrimination tables, each shown as read with its columns' roles, or the
/// reader's message. Settings: every option of `fenlowick-cli study`, checked as the boxes
/// are left. Preview: the isotope space of the tables before a run, coloured by a factor,
/// on a chosen pair of tracers. Run: on a worker thread with the progress window (its close
/// box cancels); Results: the tables and figures; Save all writes the folder the command
/// line writes, byte for byte. The equivalent command line is shown with a copy button, and
/// the study is saved to and opened from a study file.
class frmStudy : public QMainWindow {
    Q_OBJECT

public:
    /// Asks for a path: `folder` to start in; returns an empty text when cancelled. Tests
    /// replace the dialogs with one.
    using PathChooser = std::function<QString(const QString& folder)>;

    explicit frmStudy(QWidget* parent = nullptr);
    ~frmStudy() override;

    /// The folder the choosers start in until one is used (the program's output folder's
    /// parent, normally StartFolder).
    void setStartFolder(const QString& folder);

    /// Shows and raises the window, centred on the screen the first time.
    void showWindow();

    /// Loads a table as its Choose button does; false when it was refused.
    bool loadTable(StudyTableKind kind, const QString& path);
    StudyTablePanel* tablePanel(StudyTableKind kind) const;
    StudySettingsPanel* settings() const { return m_settings; }
    StudyResultsPanel* results() const { return m_results; }

    /// The study as the three tables give it; empty while they do not make one.
    const std::optional<Study>& study() const { return m_study; }
    /// The message of the last reading of the three tables together; empty when they read.
    QString studyMessage() const;
    /// The study file's content as the window holds it.
    StudyFile studyFile() const;
    /// The equivalent command lines, one per line.
    QString commandLineText() const;

    bool isRunning() const { return m_runner->isRunning(); }
    frmProgress* progressWindow() const { return m_progress; }

    /// Opens a study file: its tables and settings; false (with the program's message) when
    /// it cannot be read.
    bool openStudy(const QString& path);
    /// Saves the study file; false (with a message) when it could not be written.
    bool saveStudy(const QString& path);
    /// Writes the last results into `folder`; false (with a message) when they could not be.
    bool saveAll(const QString& folder);

    /// Replaces the dialogs: the table choosers', Save all's folder chooser, and the study
    /// file's open and save dialogs.
    void setTableChooser(PathChooser chooser);
    void setFolderChooser(PathChooser chooser) { m_chooseFolder = std::move(chooser); }
    void setStudyFileChoosers(PathChooser open, PathChooser save);

    QPushButton* runButton() const { return m_run; }
    QPushButton* saveAllButton() const { return m_saveAll; }
    QPushButton* copyCommandButton() const { return m_copyCommand; }
    QTabWidget* pages() const { return m_pages; }
    QComboBox* colourList() const { return m_colourBy; }
    QComboBox* xAxisList() const { return m_xAxis; }
    QComboBox* yAxisList() const { return m_yAxis; }
    FigureView* preview() const { return m_preview; }

    void Run_Click();
    void SaveAll_Click();
    void OpenStudy_Click();
    void SaveStudy_Click();
    void CopyCommand_Click();
    void help_Click();

signals:
    void helpRequested(const QString& topicFile);
    /// A run ended (with results, an error or cancelled), after its messages.
    void runFinished();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* createDataPage();
    QWidget* createPreviewPage();
    void createButtons(QWidget* central);
    void readStudy();
    void updatePreviewChoices();
    void updatePreview();
    void settingsChanged();
    void runFinishedWith(const std::shared_ptr<const Expected<StudyResults>>& outcome);
    void folderUsed(const QString& folder);
    QString outputFolder() const;
    std::vector<std::string> inputPaths() const;

    StudyTablePanel* m_sources;
    StudyTablePanel* m_consumers;
    StudyTablePanel* m_discrimination;
    StudySettingsPanel* m_settings;
    StudyResultsPanel* m_results;
    QTabWidget* m_pages;
    QLabel* m_studyMessage;
    QComboBox* m_colourBy;
    QComboBox* m_xAxis;
    QComboBox* m_yAxis;
    FigureView* m_preview;
    QPlainTextEdit* m_commandLine;
    QPushButton* m_copyCommand;
    QPushButton* m_run;
    QPushButton* m_saveAll;
    QPushButton* m_openStudy;
    QPushButton* m_saveStudy;
    QPushButton* m_help;
    QPushButton* m_close;
    frmProgress* m_progress = nullptr;
    StudyRunner* m_runner;

    std::optional<Study> m_study;
    std::optional<StudyResults> m_lastResults;
    /// The study file the last results were run with: Save all writes only results of the
    /// study as the window now holds it.
    std::optional<StudyFile> m_resultsOf;
    QString m_folder;
    QString m_saveFolder;
    bool m_placed = false;
    PathChooser m_chooseFolder;
    PathChooser m_chooseOpen;
    PathChooser m_chooseSave;
};

} // namespace fenlowick
