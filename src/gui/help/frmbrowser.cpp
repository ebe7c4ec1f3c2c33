#include "gui/help/frmbrowser.h"

#include "gui/help/findinpagebar.h"
#include "gui/help/helppane.h"
#include "gui/widgets/twips.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

#include <algorithm>

namespace fenlowick {

namespace {

constexpr int kIconSize = 24;
constexpr int kExitWidth = 1335;
constexpr int kExitHeight = 495;
constexpr int kExitRightMargin = 285;
constexpr int kLabelLeft = 45;
constexpr int kLabelTop = 60;
constexpr int kLabelWidth = 3075;
constexpr int kLabelHeight = 255;

QPixmap blankIcon() {
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A magnifying glass, for Search when the desktop theme offers none.
QIcon drawnSearchIcon(const QColor& ink) {
    QPixmap pixmap = blankIcon();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(ink, 2.5));
    painter.drawEllipse(QRectF(3.5, 3.5, 12, 12));
    painter.setPen(QPen(ink, 4, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(14.5, 14.5), QPointF(20.5, 20.5));
    return QIcon(pixmap);
}

// A house, for Home when the desktop theme offers none.
QIcon drawnHomeIcon(const QColor& ink) {
    QPixmap pixmap = blankIcon();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath roof;
    roof.moveTo(2.5, 12);
    roof.lineTo(12, 3);
    roof.lineTo(21.5, 12);
    painter.drawPath(roof);
    painter.drawRect(QRectF(5.5, 11, 13, 10));
    painter.fillRect(QRectF(10, 14.5, 4, 6.5), ink);
    return QIcon(pixmap);
}

QIcon themedIcon(const char* name, const QIcon& fallback) {
    return QIcon::fromTheme(QString::fromLatin1(name), fallback);
}

} // namespace

frmBrowser::frmBrowser(HelpTopicLocator locator, const QString& homeAddress, QWidget* parent)
    : QWidget(parent, Qt::Window), m_homeAddress(homeAddress), m_tbToolBar(new QToolBar(this)),
      m_picAddress(new QWidget(this)), m_lblAddress(new QLabel(tr("A&ddress:"), m_picAddress)),
      m_cboAddress(new QComboBox(m_picAddress)), m_Command1(new QPushButton(tr("E&xit"), this)),
      m_brwWebBrowser(new HelpPane(std::move(locator), this)), m_timTimer(new QTimer(this)),
      m_findBox(nullptr) {
    setObjectName(QStringLiteral("frmBrowser"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_tbToolBar->setObjectName(QStringLiteral("tbToolBar"));
    m_picAddress->setObjectName(QStringLiteral("picAddress"));
    m_lblAddress->setObjectName(QStringLiteral("lblAddress"));
    m_cboAddress->setObjectName(QStringLiteral("cboAddress"));
    m_Command1->setObjectName(QStringLiteral("Command1"));
    m_brwWebBrowser->setObjectName(QStringLiteral("brwWebBrowser"));
    m_timTimer->setObjectName(QStringLiteral("timTimer"));

    m_tbToolBar->setIconSize(QSize(kIconSize, kIconSize));
    m_tbToolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_tbToolBar->setMovable(false);
    const QColor ink = palette().color(QPalette::ButtonText);
    addToolbarButton(QStringLiteral("Back"), tr("Back"),
                     themedIcon("go-previous", style()->standardIcon(QStyle::SP_ArrowBack)),
                     QKeySequence::Back);
    addToolbarButton(QStringLiteral("Forward"), tr("Forward"),
                     themedIcon("go-next", style()->standardIcon(QStyle::SP_ArrowForward)),
                     QKeySequence::Forward);
    addToolbarButton(QStringLiteral("Stop"), tr("Stop"),
                     themedIcon("process-stop", style()->standardIcon(QStyle::SP_BrowserStop)),
                     QKeySequence());
    addToolbarButton(QStringLiteral("Refresh"), tr("Refresh"),
                     themedIcon("view-refresh", style()->standardIcon(QStyle::SP_BrowserReload)),
                     QKeySequence::Refresh);
    addToolbarButton(QStringLiteral("Home"), tr("Home"), themedIcon("go-home", drawnHomeIcon(ink)),
                     QKeySequence(Qt::ALT | Qt::Key_Home));
    addToolbarButton(QStringLiteral("Search"), tr("Search"),
                     themedIcon("edit-find", drawnSearchIcon(ink)), QKeySequence::Find);
    toolbarButton(QStringLiteral("Back"))->setEnabled(false);
    toolbarButton(QStringLiteral("Forward"))->setEnabled(false);

    m_lblAddress->setBuddy(m_cboAddress);
    m_cboAddress->setEditable(true);
    // The list stays empty: Enter goes to the address without adding it.
    m_cboAddress->setInsertPolicy(QComboBox::NoInsert);
    m_cboAddress->setEditText(
        HelpPane::displayAddress(m_brwWebBrowser->addressFromText(m_homeAddress)));
    m_Command1->setAutoDefault(false);
    m_findBox = new FindInPageBar(m_brwWebBrowser, this);

    m_timTimer->setInterval(5);
    connect(m_timTimer, &QTimer::timeout, this, &frmBrowser::timTimer_Timer);
    connect(m_cboAddress->lineEdit(), &QLineEdit::returnPressed, this,
            &frmBrowser::cboAddress_Enter);
    connect(m_Command1, &QPushButton::clicked, this, &frmBrowser::Command1_Click);
    connect(m_brwWebBrowser, &HelpPane::documentComplete, this,
            &frmBrowser::brwWebBrowser_DownloadComplete);
    connect(m_brwWebBrowser, &QTextBrowser::backwardAvailable,
            toolbarButton(QStringLiteral("Back")), &QAction::setEnabled);
    connect(m_brwWebBrowser, &QTextBrowser::forwardAvailable,
            toolbarButton(QStringLiteral("Forward")), &QAction::setEnabled);

    Form_Load();
}

void frmBrowser::addToolbarButton(const QString& key, const QString& text, const QIcon& icon,
                                  const QKeySequence& shortcut) {
    auto* action = new QAction(icon, text, this);
    action->setObjectName(key);
    action->setData(key);
    if (!shortcut.isEmpty()) {
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
        action->setToolTip(
            QStringLiteral("%1 (%2)").arg(text, shortcut.toString(QKeySequence::NativeText)));
    }
    connect(action, &QAction::triggered, this, [this, key] { tbToolBar_ButtonClick(key); });
    m_tbToolBar->addAction(action);
}

QAction* frmBrowser::toolbarButton(const QString& key) const {
    for (QAction* action : m_tbToolBar->actions()) {
        if (action->data().toString() == key) {
            return action;
        }
    }
    return nullptr;
}

bool frmBrowser::isBusy() const {
    return m_brwWebBrowser->isBusy();
}

void frmBrowser::Form_Load() {
    resizeClientInTwips(this, kClientWidth, kClientHeight);
    placeInTwips(m_tbToolBar, 0, 0, kClientWidth, kToolbarHeight);
    placeInTwips(m_picAddress, 0, kAddressBarTop, kClientWidth, kAddressBarHeight);
    placeInTwips(m_lblAddress, kLabelLeft, kLabelTop, kLabelWidth, kLabelHeight);
    m_sizes = {12480, 12480, 6960};
    Form_Resize();
    centreOnScreen(this);
}

void frmBrowser::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmBrowser::Form_Resize() {
    const int width = pixelsToTwips(this->width(), this);
    const int height = pixelsToTwips(this->height(), this);
    m_sizes = followWindowSize(m_sizes, width, height, kAddressBarTop + kAddressBarHeight);

    // Exit keeps its place at the right end of the toolbar row, so that the address box and
    // the pane can use the whole width; the toolbar ends before it (and offers its hidden
    // buttons in an overflow menu when the window is narrow).
    const int exitLeft = std::max(0, width - kExitRightMargin - kExitWidth);
    placeInTwips(m_Command1, exitLeft, (kToolbarHeight - kExitHeight) / 2, kExitWidth, kExitHeight);
    m_tbToolBar->resize(twipsToPixels(exitLeft, this), m_tbToolBar->height());
    m_picAddress->resize(this->width(), m_picAddress->height());
    const int addressHeight = m_cboAddress->sizeHint().height();
    m_cboAddress->setGeometry(twipsToPixels(kAddressLeft, this), twipsToPixels(kAddressTop, this),
                              twipsToPixels(m_sizes.addressWidth, this), addressHeight);
    placeInTwips(m_brwWebBrowser, kPaneLeft, kPaneTop, m_sizes.paneWidth, m_sizes.paneHeight);
    placeFindBox();
}

void frmBrowser::placeFindBox() {
    // Over the top right corner of the page, as browsers place their find box.
    const QRect pane = m_brwWebBrowser->geometry();
    m_findBox->adjustSize();
    const int margin = 4;
    const int scrollBar = m_brwWebBrowser->verticalScrollBar()->isVisible()
                              ? m_brwWebBrowser->verticalScrollBar()->width()
                              : 0;
    const int left = std::max(pane.left(), pane.right() - scrollBar - margin - m_findBox->width());
    m_findBox->move(left, pane.top() + margin);
    m_findBox->raise();
}

void frmBrowser::showTopic(const QString& topicFile) {
    m_brwWebBrowser->navigate(m_brwWebBrowser->topicAddress(topicFile));
    if (isMinimized()) {
        showNormal();
    } else {
        show();
    }
    raise();
    activateWindow();
}

void frmBrowser::tbToolBar_ButtonClick(const QString& key) {
    if (key == QLatin1String("Back")) {
        m_brwWebBrowser->goBack();
    } else if (key == QLatin1String("Forward")) {
        m_brwWebBrowser->goForward();
    } else if (key == QLatin1String("Refresh")) {
        m_brwWebBrowser->refresh();
    } else if (key == QLatin1String("Home")) {
        m_brwWebBrowser->navigate(m_brwWebBrowser->addressFromText(m_homeAddress));
    } else if (key == QLatin1String("Search")) {
        placeFindBox();
        m_findBox->open();
    } else if (key == QLatin1String("Stop")) {
        m_timTimer->stop();
        m_brwWebBrowser->stop();
        setWindowTitle(m_brwWebBrowser->locationName());
        return;
    }
    startBusyIndicator();
}

void frmBrowser::cboAddress_Enter() {
    m_brwWebBrowser->navigate(m_brwWebBrowser->addressFromText(m_cboAddress->currentText()));
    startBusyIndicator();
}

void frmBrowser::Command1_Click() {
    hide();
}

void frmBrowser::startBusyIndicator() {
    m_timTimer->start();
    timTimer_Timer();
}

void frmBrowser::timTimer_Timer() {
    if (m_brwWebBrowser->isBusy()) {
        setWindowTitle(tr("Working..."));
        return;
    }
    m_timTimer->stop();
    setWindowTitle(m_brwWebBrowser->locationName());
}

void frmBrowser::brwWebBrowser_DownloadComplete() {
    setWindowTitle(m_brwWebBrowser->locationName());
    m_cboAddress->setEditText(m_brwWebBrowser->locationAddress());
}

void frmBrowser::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted()) {
        emit discarded();
    }
}

} // namespace fenlowick
