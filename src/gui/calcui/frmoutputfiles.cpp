#include "gui/calcui/frmoutputfiles.h"

#include "gui/widgets/filebrowsercontrols.h"
#include "gui/widgets/twips.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>

namespace fenlowick {

namespace {

QFont arialBold(double points) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

QPushButton* makeButton(const QString& caption, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

} // namespace

frmOutputFiles::frmOutputFiles(QWidget* parent)
    : QDialog(parent), m_browser(new FileBrowserControls(this)),
      m_heading(new QLabel(QStringLiteral("Enter the filename to save the results to."), this)),
      m_save(makeButton(QStringLiteral("&Save"), QStringLiteral("FileSave"), this)),
      m_help(makeButton(QStringLiteral("&Help"), QStringLiteral("help"), this)),
      m_cancel(makeButton(QStringLiteral("&Cancel"), QStringLiteral("FileCancel"), this)) {
    setObjectName(QStringLiteral("frmOutputFiles"));
    setWindowTitle(QStringLiteral("Fenlowick - Calculation Output Files"));
    // While the name is asked for, the entry cannot change under the run it starts: the
    // main window takes no input until the dialog closes.
    setWindowModality(Qt::WindowModal);
    setFont(arialBold(12));
    m_heading->setObjectName(QStringLiteral("Label2"));
    m_heading->setFont(arialBold(15.75));
    // The labels' grey is the dialog's own, so that they do not stand out as patches.
    for (QWidget* widget :
         std::initializer_list<QWidget*>{this, m_heading, m_browser->nameLabel()}) {
        widget->setAutoFillBackground(true);
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, QColor(224, 224, 224));
        widget->setPalette(palette);
    }

    resizeClientInTwips(this, 9465, 4935);
    placeInTwips(m_heading, 2280, 120, 6495, 495);
    placeInTwips(m_browser->driveList(), 0, 360, 1575, 405);
    placeInTwips(m_browser->folderList(), 0, 840, 3855, 2925);
    placeInTwips(m_browser->fileList(), 4080, 840, 3015, 2940);
    placeInTwips(m_save, 7320, 840, 1935, 735);
    placeInTwips(m_help, 7320, 1920, 1935, 735);
    placeInTwips(m_cancel, 7320, 3000, 1935, 735);
    placeInTwips(m_browser->nameLabel(), 0, 4320, 1455, 375);
    placeInTwips(m_browser->nameBox(), 1680, 4320, 5415, 375);
    setFixedSize(size());
    centreOnScreen(this);

    connect(m_save, &QPushButton::clicked, this, &frmOutputFiles::FileSave_Click);
    connect(m_cancel, &QPushButton::clicked, this, &frmOutputFiles::FileCancel_Click);
    connect(m_help, &QPushButton::clicked, this,
            [this] { emit helpRequested(QStringLiteral("calc.htm")); });
    // Enter in the name box saves, as the Save button does.
    connect(m_browser->nameBox(), &QLineEdit::returnPressed, this, &frmOutputFiles::FileSave_Click);
}

void frmOutputFiles::refreshLists() {
    m_browser->refresh();
}

void frmOutputFiles::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_browser->nameBox()->setFocus(Qt::OtherFocusReason);
}

QString frmOutputFiles::folder() const {
    return m_browser->folder();
}

void frmOutputFiles::setFolder(const QString& folder) {
    m_browser->setFolder(folder);
}

QString frmOutputFiles::typedName() const {
    return m_browser->fileName();
}

void frmOutputFiles::setTypedName(const QString& name) {
    m_browser->setFileName(name);
}

void frmOutputFiles::FileSave_Click() {
    m_saved = true;
    hide();
    emit outcome(true);
}

void frmOutputFiles::FileCancel_Click() {
    m_saved = false;
    hide();
    emit outcome(false);
}

void frmOutputFiles::reject() {
    FileCancel_Click();
}

void frmOutputFiles::closeEvent(QCloseEvent* event) {
    // Closing by the close box ends the run as Cancel does and discards the dialog's state:
    // its next showing starts with an empty name at the process's current folder.
    event->accept();
    m_saved = false;
    m_browser->setFileName(QString());
    m_browser->setFolder(QDir::currentPath());
    centreOnScreen(this);
    emit outcome(false);
}

} // namespace fenlowick
