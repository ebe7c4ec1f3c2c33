#include "gui/entry/frmdatafile.h"

#include "core/entry/datafile.h"
#include "core/entry/outputnaming.h"
#include "gui/entry/frmmain.h"
#include "gui/widgets/filebrowsercontrols.h"
#include "gui/widgets/notifier.h"
#include "gui/widgets/twips.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace fenlowick {

namespace {

const QColor kWindowBackground(224, 224, 224);

QString noNameOnOpen() {
    return QStringLiteral("Please select a file, or type in it's name");
}

QString noNameOnSave() {
    return QStringLiteral("Please select a file, or type in it's name!");
}

QString accessError() {
    return QStringLiteral(
        "ERROR: Accessing the file name you entered. Make sure that you typed it in correctly!");
}

/// The reason of a write error without the "Could not ... <path>: " that the core puts
/// before it, so that the message names the file once.
QString reasonOf(const Error& error, const std::string& path) {
    const std::string marker = path + ": ";
    const std::size_t at = error.message.find(marker);
    if (at == std::string::npos) {
        return QString::fromStdString(error.message);
    }
    return QString::fromStdString(error.message.substr(at + marker.size()));
}

QPushButton* makeButton(QWidget* dialog, const char* objectName, const char* text, int top) {
    auto* button = new QPushButton(QString::fromLatin1(text), dialog);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setAutoDefault(false);
    placeInTwips(button, 7560, top, 1935, 735);
    return button;
}

} // namespace

frmDataFile::frmDataFile(frmMain* mainWindow, const QString& folder)
    : QWidget(mainWindow, Qt::Dialog), m_main(mainWindow),
      m_controls(new FileBrowserControls(this)) {
    setObjectName(QStringLiteral("frmDataFile"));
    setWindowTitle(QStringLiteral("Fenlowick - Open / Save data"));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kWindowBackground);
    setPalette(palette);
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(12);
    font.setBold(true);
    setFont(font);

    m_controls->setPatterns({QStringLiteral("*.dat")});
    m_controls->setFolder(folder);
    placeInTwips(m_controls->driveList(), 240, 240, 1575, 405);
    placeInTwips(m_controls->folderList(), 240, 720, 3855, 2925);
    placeInTwips(m_controls->fileList(), 4320, 720, 3015, 2940);
    placeInTwips(m_controls->nameLabel(), 240, 4200, 1455, 375);
    placeInTwips(m_controls->nameBox(), 1920, 4200, 5415, 375);

    m_FileOpen = makeButton(this, "FileOpen", "&Open", 720);
    m_FileSave = makeButton(this, "FileSave", "&Save", 1560);
    m_FileCancel = makeButton(this, "FileCancel", "&Cancel", 3360);
    m_help = makeButton(this, "help", "&Help", 2520);

    QWidget* const tabOrder[] = {m_controls->driveList(),
                                 m_controls->folderList(),
                                 m_controls->fileList(),
                                 m_controls->nameBox(),
                                 m_FileOpen,
                                 m_FileSave,
                                 m_FileCancel,
                                 m_help};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i) {
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    }

    connect(m_FileOpen, &QPushButton::clicked, this, &frmDataFile::FileOpen_Click);
    connect(m_FileSave, &QPushButton::clicked, this, &frmDataFile::FileSave_Click);
    connect(m_FileCancel, &QPushButton::clicked, this, &frmDataFile::FileCancel_Click);
    connect(m_help, &QPushButton::clicked, this, &frmDataFile::help_Click);
    // A click in the file list loads that file at once.
    connect(m_controls, &FileBrowserControls::fileClicked, this, &frmDataFile::FileOpen_Click);

    resizeClientInTwips(this, 9735, 4815);
    setFixedSize(size());
    centreOnScreen(this);
}

frmDataFile::~frmDataFile() = default;

void frmDataFile::showFromMenu() {
    m_controls->refresh();
    // The name last opened or saved, whatever the list showed since.
    if (!m_lastName.isEmpty()) {
        m_controls->setFileName(m_lastName);
    }
    show();
    raise();
    activateWindow();
    // A name typed at once goes into the name box, not the drive list.
    m_controls->nameBox()->setFocus(Qt::OtherFocusReason);
}

QString frmDataFile::savePath() const {
    return QString::fromStdString(resultFilePath(m_controls->folder().toStdString(),
                                                 m_controls->fileName().toStdString(), "dat"));
}

void frmDataFile::openFile(const QString& path) {
    const QFileInfo file(path);
    m_controls->setFolder(file.absolutePath());
    m_controls->setFileName(file.fileName());
    FileOpen_Click();
}

void frmDataFile::FileOpen_Click() {
    if (m_controls->fileName().isEmpty()) {
        notifier().inform(this, noNameOnOpen());
        return;
    }
    // Nothing reaches the main window before all 73 fields have been read.
    const Expected<Entry> entry = readDataFile(m_controls->fullPath().toStdString());
    if (!entry) {
        notifier().inform(this, accessError());
        m_controls->setFileName(QString());
        return;
    }
    m_main->setEntry(*entry);
    m_lastPath = QFileInfo(m_controls->fullPath()).absoluteFilePath();
    m_lastName = m_controls->fileName();
    hide();
}

void frmDataFile::FileSave_Click() {
    if (m_controls->fileName().isEmpty()) {
        notifier().inform(this, noNameOnSave());
        hide();
        return;
    }
    const std::string path = savePath().toStdString();
    // Another data file than the one last opened or saved here is replaced only when the
    // user says so.
    const QFileInfo target(QString::fromStdString(path));
    if (target.exists() && target.absoluteFilePath() != m_lastPath &&
        !notifier().confirm(this, QStringLiteral("%1 already exists. Replace it with this entry?")
                                      .arg(target.fileName()))) {
        return;
    }
    const Status saved = writeDataFile(path, m_main->entry());
    if (!saved && saved.error().kind == Error::Kind::Refused) {
        // A text the file cannot hold: the message names the box to correct.
        notifier().inform(this, QString::fromStdString(saved.error().message));
        return;
    }
    if (!saved) {
        notifier().inform(this,
                          QStringLiteral("The data file %1 could not be saved: %2")
                              .arg(QString::fromStdString(path), reasonOf(saved.error(), path)));
        return;
    }
    m_lastPath = target.absoluteFilePath();
    m_lastName = m_controls->fileName();
    hide();
}

void frmDataFile::FileCancel_Click() {
    hide();
}

void frmDataFile::help_Click() {
    emit helpRequested(QStringLiteral("file_open_save.htm"));
}

void frmDataFile::keyPressEvent(QKeyEvent* event) {
    // Escape is Cancel: the dialog keeps its folder and name. Only the close box discards
    // it (the next File then starts at the start folder).
    if (event->key() == Qt::Key_Escape) {
        FileCancel_Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmDataFile::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    emit discarded();
}

} // namespace fenlowick
