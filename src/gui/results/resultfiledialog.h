#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QPushButton;

namespace fenlowick {

class FileBrowserControls;

/// The file dialog of a result window: the shared drive, folder and file lists with the
/// name box, and the buttons "&Open", "&Cancel" and "&Help". A click on a file copies its
/// name into the name box and opens it at once. The dialog only asks: the window that owns
/// it reads the file on `openRequested`, then hides the dialog or calls `openFailed`.
///
/// Created hidden and centred. Cancel (or Escape) hides it and changes nothing. Closing it
/// by its close box discards it: at its next showing it comes back centred, with an empty
/// name box and its folder lists at the process's current folder.
class ResultFileDialog : public QDialog {
    Q_OBJECT

public:
    FileBrowserControls* browser() const { return m_browser; }

    /// The folder of the folder list (the open-totals and open-graph-file dialogs start at
    /// StartFolder + "/output", set by the main window).
    QString folder() const;
    void setFolder(const QString& folder);

    QString fileName() const;
    void setFileName(const QString& name);

    /// The folder and the typed name joined by "/".
    QString fullPath() const;

    /// The owner's File command: refreshes the three lists and shows the dialog.
    void showDialog();

    /// After a failed Open: empties the name box and gives it the focus.
    void openFailed();

    // Handlers of the buttons.
    void FileOpen_Click();
    void FileCancel_Click();
    void help_Click();

signals:
    /// Open was chosen (the button, Enter, or a click on a file).
    void openRequested();
    /// The Help button: the topic file to show, relative to the start-up folder.
    void helpRequested(const QString& topicFile);

protected:
    ResultFileDialog(const QString& title, const QString& helpTopic, const QStringList& patterns,
                     QWidget* parent);

    void closeEvent(QCloseEvent* event) override;

private:
    FileBrowserControls* m_browser;
    QPushButton* m_open;
    QPushButton* m_cancel;
    QPushButton* m_help;
    QString m_helpTopic;
    bool m_discarded = false;
};

} // namespace fenlowick
