#pragma once

#include <QString>
#include <QWidget>

class QPushButton;

namespace fenlowick {

class FileBrowserControls;
class frmMain;

/// The Open / Save data dialog: saves the main window's entry as a data file and loads one
/// back into it. Modeless; Open (on success), Save and Cancel hide it, so it keeps its
/// folder and typed name between showings. Closing it by its close box emits `discarded`:
/// the owner then drops it and creates a fresh one (empty name, folder at StartFolder) for
/// the next File command.
class frmDataFile : public QWidget {
    Q_OBJECT

public:
    /// A hidden dialog, a window of its own owned by `mainWindow`, centred on the screen,
    /// with its folder list at `folder` and an empty name box.
    frmDataFile(frmMain* mainWindow, const QString& folder);
    ~frmDataFile() override;

    FileBrowserControls& controls() const { return *m_controls; }

    /// The File command: re-reads the drive, folder and file lists so that files saved
    /// since the last showing appear, then shows the dialog.
    void showFromMenu();

    /// The path Save writes for a typed name: the folder, and the name with everything from
    /// its first "." replaced by ".dat" (".dat" appended when it has none).
    QString savePath() const;

    /// Moves the dialog to the folder of `path` with its name in the name box, then opens
    /// it as FileOpen does.
    void openFile(const QString& path);

public slots:
    /// Loads the file named in the name box (as typed, no extension added) into the main
    /// window and hides the dialog. Without a name, or when the file cannot be read as a
    /// data file, the program's message is shown and the dialog stays; after a failed read
    /// the name box is emptied and the main window is unchanged.
    void FileOpen_Click();
    /// Writes the main window's entry under savePath() and hides the dialog. Without a name
    /// the program's message is shown and the dialog hides. The file is written under a
    /// temporary name and moved into place; when that fails the message names the file and
    /// the reason, an earlier file of that name is left as it was, and the dialog stays.
    void FileSave_Click();
    void FileCancel_Click();
    void help_Click();

signals:
    /// `topicFile` is a help page's file name, found in StartFolder.
    void helpRequested(const QString& topicFile);
    /// The dialog was closed by its close box (or by the program's end).
    void discarded();

protected:
    void closeEvent(QCloseEvent* event) override;
    /// Escape closes the dialog as its close box does.
    void keyPressEvent(QKeyEvent* event) override;

private:
    frmMain* m_main;
    FileBrowserControls* m_controls;
    QPushButton* m_FileOpen;
    QPushButton* m_FileSave;
    QPushButton* m_FileCancel;
    QPushButton* m_help;
    /// The data file last opened or saved here (its full path and its name), which Save may
    /// replace without asking and the dialog shows again when it opens.
    QString m_lastPath;
    QString m_lastName;
};

} // namespace fenlowick
