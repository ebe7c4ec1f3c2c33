#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace fenlowick {

class FileBrowserControls;

/// The output-file dialog: the folder and base name under which a run writes its ".out" and
/// ".tot" files. It keeps folder and typed name from one showing to the next; closing it by
/// its close box cancels and resets it (empty name, folder at the process's current folder).
/// Shown without blocking the main window; the outcome arrives through `outcome`.
class frmOutputFiles : public QDialog {
    Q_OBJECT

public:
    explicit frmOutputFiles(QWidget* parent = nullptr);

    /// Re-reads drives, folders and files, so that the files of the last run are listed.
    void refreshLists();

    QString folder() const;
    void setFolder(const QString& folder);
    QString typedName() const;
    void setTypedName(const QString& name);
    bool saved() const { return m_saved; }

    FileBrowserControls* browser() const { return m_browser; }
    QPushButton* saveButton() const { return m_save; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* helpButton() const { return m_help; }

signals:
    /// The dialog was hidden by Save (true) or by Cancel or its close box (false).
    void outcome(bool saved);
    void helpRequested(const QString& topicFile);

protected:
    /// Escape: the same as Cancel.
    void reject() override;
    void closeEvent(QCloseEvent* event) override;
    /// Puts the focus in the name box, so that a name typed at once goes there.
    void showEvent(QShowEvent* event) override;

private:
    void FileSave_Click();
    void FileCancel_Click();

    FileBrowserControls* m_browser;
    QLabel* m_heading;
    QPushButton* m_save;
    QPushButton* m_help;
    QPushButton* m_cancel;
    bool m_saved = false;
};

} // namespace fenlowick
