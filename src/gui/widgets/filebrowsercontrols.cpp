#include "gui/widgets/filebrowsercontrols.h"

#include "core/entry/outputnaming.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <QStyle>

namespace fenlowick {

namespace {

constexpr int kPathRole = Qt::UserRole;

QString cleanFolder(const QString& folder) {
    QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    return clean.isEmpty() ? QStringLiteral("/") : clean;
}

} // namespace

FileBrowserControls::FileBrowserControls(QWidget* dialog)
    : QObject(dialog), m_dialog(dialog), m_drives(new QComboBox(dialog)),
      m_folders(new QListWidget(dialog)), m_files(new QListWidget(dialog)),
      m_nameLabel(new QLabel(QStringLiteral("FILENAME:"), dialog)), m_name(new QLineEdit(dialog)) {
    m_drives->setObjectName(QStringLiteral("Drive1"));
    m_folders->setObjectName(QStringLiteral("Dir1"));
    m_files->setObjectName(QStringLiteral("File1"));
    m_nameLabel->setObjectName(QStringLiteral("label1"));
    m_name->setObjectName(QStringLiteral("FileNameText"));
    m_nameLabel->setBuddy(m_name);

    connect(m_drives, &QComboBox::activated, this, &FileBrowserControls::chooseDrive);
    connect(m_folders, &QListWidget::itemActivated, this, &FileBrowserControls::openFolderItem);
    connect(m_files, &QListWidget::itemClicked, this, &FileBrowserControls::clickFile);
    // From the keyboard: the arrow keys put the highlighted name in the name box, and Enter
    // takes it as a click does.
    // The focus arriving from Tab makes the first file current without a key: that must not
    // replace a name the box holds.
    connect(m_files, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* current) {
        if (current != nullptr && !m_focusArriving) {
            setFileName(current->text());
        }
        m_focusArriving = false;
    });
    m_files->installEventFilter(this);

    m_folder = cleanFolder(QDir::currentPath());
    refresh();
}

QStringList FileBrowserControls::drives() const {
    QStringList drives;
    for (const QFileInfo& drive : QDir::drives()) {
        drives << cleanFolder(drive.absoluteFilePath());
    }
    const QString home = cleanFolder(QDir::homePath());
    if (!drives.contains(home)) {
        drives << home;
    }
    return drives;
}

void FileBrowserControls::setPatterns(const QStringList& patterns) {
    m_patterns = patterns;
    fillFiles();
}

void FileBrowserControls::setFolder(const QString& folder) {
    const QString clean = cleanFolder(folder);
    const bool changed = clean != m_folder;
    m_folder = clean;
    fillDrives();
    fillFolders();
    fillFiles();
    if (changed) {
        emit folderChanged(m_folder);
    }
}

QString FileBrowserControls::fileName() const {
    return m_name->text();
}

void FileBrowserControls::setFileName(const QString& name) {
    m_name->setText(name);
    m_name->repaint();
}

QString FileBrowserControls::fullPath() const {
    return QString::fromStdString(joinFolder(m_folder.toStdString(), fileName().toStdString()));
}

void FileBrowserControls::refresh() {
    fillDrives();
    fillFolders();
    fillFiles();
}

void FileBrowserControls::chooseDrive(int index) {
    setFolder(m_drives->itemData(index, kPathRole).toString());
}

void FileBrowserControls::openFolderItem(QListWidgetItem* item) {
    if (item != nullptr) {
        setFolder(item->data(kPathRole).toString());
    }
}

void FileBrowserControls::clickFile(QListWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    setFileName(item->text());
    emit fileClicked(item->text());
}

void FileBrowserControls::fillDrives() {
    const QSignalBlocker block(m_drives);
    m_drives->clear();
    int current = 0;
    int longest = -1;
    for (const QString& drive : drives()) {
        m_drives->addItem(drive, drive);
        // The drive of the folder is the longest entry that contains it.
        const bool contains = m_folder == drive || drive == QStringLiteral("/") ||
                              m_folder.startsWith(drive + QLatin1Char('/'));
        if (contains && drive.size() > longest) {
            longest = static_cast<int>(drive.size());
            current = m_drives->count() - 1;
        }
    }
    m_drives->setCurrentIndex(current);
}

void FileBrowserControls::fillFolders() {
    const QSignalBlocker block(m_folders);
    m_folders->clear();
    const QIcon openIcon = QApplication::style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = QApplication::style()->standardIcon(QStyle::SP_DirClosedIcon);

    QStringList chain;
    for (QDir dir(m_folder);;) {
        chain.prepend(cleanFolder(dir.absolutePath()));
        if (dir.isRoot() || !dir.cdUp()) {
            break;
        }
    }
    int depth = 0;
    QListWidgetItem* currentItem = nullptr;
    for (const QString& path : chain) {
        const QString name = path == QStringLiteral("/") ? path : QFileInfo(path).fileName();
        auto* item =
            new QListWidgetItem(openIcon, QString(depth * 2, QLatin1Char(' ')) + name, m_folders);
        item->setData(kPathRole, path);
        currentItem = item;
        ++depth;
    }
    const QDir current(m_folder);
    const QStringList children =
        current.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& child : children) {
        auto* item = new QListWidgetItem(closedIcon, QString(depth * 2, QLatin1Char(' ')) + child,
                                         m_folders);
        item->setData(kPathRole, cleanFolder(current.absoluteFilePath(child)));
    }
    m_folders->setCurrentItem(currentItem);
}

void FileBrowserControls::fillFiles() {
    const QSignalBlocker block(m_files);
    m_files->clear();
    const QDir dir(m_folder);
    const QStringList names = dir.entryList(m_patterns, QDir::Files, QDir::Name | QDir::IgnoreCase);
    m_files->addItems(names);
}

bool FileBrowserControls::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_files && event->type() == QEvent::FocusIn) {
        m_focusArriving = true;
    }
    if (watched == m_files && event->type() == QEvent::KeyPress) {
        m_focusArriving = false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_files->currentItem() != nullptr) {
            clickFile(m_files->currentItem());
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace fenlowick
