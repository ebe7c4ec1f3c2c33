#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QWidget;

namespace fenlowick {

/// The controls every file dialog of the program shares, and their coupling: a drive list
/// (`Drive1`), a folder list (`Dir1`), a file list with a name pattern (`File1`), and the
/// name box `FileNameText` under the label "FILENAME:". Choosing a drive moves the folder
/// list there; changing the folder moves the file list; clicking a file copies its name into
/// the name box and reports the click. Each dialog places the controls itself and gives
/// them its own buttons.
///
/// Without drive letters the drive list holds the file-system root and the user's home
/// folder. The folder list shows the open folders from the root down to the current one,
/// then the current folder's subfolders; activating an entry (double click or Enter) opens
/// it.
class FileBrowserControls : public QObject {
    Q_OBJECT

public:
    /// Creates the controls as children of `dialog`.
    explicit FileBrowserControls(QWidget* dialog);

    QComboBox* driveList() const { return m_drives; }
    QListWidget* folderList() const { return m_folders; }
    QListWidget* fileList() const { return m_files; }
    QLabel* nameLabel() const { return m_nameLabel; }
    QLineEdit* nameBox() const { return m_name; }

    /// Name patterns of the file list, such as "*.dat"; empty for every file.
    void setPatterns(const QStringList& patterns);

    /// The chosen folder (the path of the folder list), without a trailing "/" except at
    /// the root.
    QString folder() const { return m_folder; }
    void setFolder(const QString& folder);

    QString fileName() const;
    void setFileName(const QString& name);

    /// The folder and the typed name joined by "/" (none added after the root).
    QString fullPath() const;

    /// Re-reads the drives, the folder list and the file list from the file system.
    void refresh();

    /// The drive entries offered (for tests and for the dialogs' reset).
    QStringList drives() const;

signals:
    void folderChanged(const QString& folder);
    void fileClicked(const QString& name);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void chooseDrive(int index);
    void openFolderItem(QListWidgetItem* item);
    void clickFile(QListWidgetItem* item);
    void fillDrives();
    void fillFolders();
    void fillFiles();

    QWidget* m_dialog;
    QComboBox* m_drives;
    QListWidget* m_folders;
    QListWidget* m_files;
    QLabel* m_nameLabel;
    QLineEdit* m_name;
    QString m_folder;
    QStringList m_patterns;
    /// The file list has just taken the focus, and no key has been pressed in it since.
    bool m_focusArriving = false;
};

} // namespace fenlowick
