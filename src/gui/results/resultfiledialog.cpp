#include "gui/results/resultfiledialog.h"

#include "gui/widgets/filebrowsercontrols.h"
#include "gui/widgets/twips.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace fenlowick {

ResultFileDialog::ResultFileDialog(const QString& title, const QString& helpTopic,
                                   const QStringList& patterns, QWidget* parent)
    : QDialog(parent), m_browser(new FileBrowserControls(this)),
      m_open(new QPushButton(QStringLiteral("&Open"), this)),
      m_cancel(new QPushButton(QStringLiteral("&Cancel"), this)),
      m_help(new QPushButton(QStringLiteral("&Help"), this)), m_helpTopic(helpTopic) {
    setWindowTitle(title);
    m_open->setObjectName(QStringLiteral("FileOpen"));
    m_cancel->setObjectName(QStringLiteral("FileCancel"));
    m_help->setObjectName(QStringLiteral("help"));
    m_open->setDefault(true);

    // Positions in twips: the name box on top, the drive and folder lists on the left,
    // the file list on the right with the buttons under it.
    placeInTwips(m_browser->nameLabel(), 120, 165, 1335, 300);
    placeInTwips(m_browser->nameBox(), 1455, 120, 5400, 375);
    placeInTwips(m_browser->driveList(), 120, 660, 3255, 375);
    placeInTwips(m_browser->folderList(), 120, 1140, 3255, 3255);
    placeInTwips(m_browser->fileList(), 3600, 660, 3255, 3000);
    placeInTwips(m_open, 3600, 3900, 1005, 495);
    placeInTwips(m_cancel, 4725, 3900, 1005, 495);
    placeInTwips(m_help, 5850, 3900, 1005, 495);
    resizeClientInTwips(this, 6975, 4515);
    setTabOrder(m_browser->nameBox(), m_open);
    setTabOrder(m_open, m_cancel);
    setTabOrder(m_cancel, m_help);
    setTabOrder(m_help, m_browser->driveList());
    setTabOrder(m_browser->driveList(), m_browser->folderList());
    setTabOrder(m_browser->folderList(), m_browser->fileList());

    m_browser->setPatterns(patterns);
    connect(m_open, &QPushButton::clicked, this, &ResultFileDialog::FileOpen_Click);
    connect(m_cancel, &QPushButton::clicked, this, &ResultFileDialog::FileCancel_Click);
    connect(m_help, &QPushButton::clicked, this, &ResultFileDialog::help_Click);
    connect(m_browser, &FileBrowserControls::fileClicked, this, &ResultFileDialog::FileOpen_Click);

    m_browser->refresh();
    centreOnScreen(this);
}

QString ResultFileDialog::folder() const {
    return m_browser->folder();
}

void ResultFileDialog::setFolder(const QString& folder) {
    m_browser->setFolder(folder);
}

QString ResultFileDialog::fileName() const {
    return m_browser->fileName();
}

void ResultFileDialog::setFileName(const QString& name) {
    m_browser->setFileName(name);
}

QString ResultFileDialog::fullPath() const {
    return m_browser->fullPath();
}

void ResultFileDialog::showDialog() {
    if (m_discarded) {
        m_discarded = false;
        m_browser->setFileName(QString());
        m_browser->setFolder(QDir::currentPath());
        centreOnScreen(this);
    }
    m_browser->refresh();
    show();
    raise();
    activateWindow();
}

void ResultFileDialog::openFailed() {
    m_browser->setFileName(QString());
    m_browser->nameBox()->setFocus();
}

void ResultFileDialog::FileOpen_Click() {
    emit openRequested();
}

void ResultFileDialog::FileCancel_Click() {
    hide();
}

void ResultFileDialog::help_Click() {
    emit helpRequested(m_helpTopic);
}

void ResultFileDialog::closeEvent(QCloseEvent* event) {
    m_discarded = true;
    QDialog::closeEvent(event);
}

} // namespace fenlowick
