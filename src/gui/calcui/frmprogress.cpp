#include "gui/calcui/frmprogress.h"

#include "gui/widgets/twips.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <cmath>

namespace fenlowick {

frmProgress::frmProgress(QWidget* parent)
    // A dialog window, transient for the main window: window managers keep it above that
    // window, so that a click there does not bury the progress and its Cancel.
    : QWidget(parent, Qt::Dialog), m_label(new QLabel(QStringLiteral("Progress:"), this)),
      m_bar(new QProgressBar(this)), m_timeLeft(new QLabel(this)),
      m_cancel(new QPushButton(QStringLiteral("&Cancel"), this)), m_tick(new QTimer(this)) {
    setObjectName(QStringLiteral("frmProgress"));
    setWindowTitle(QStringLiteral("Fenlowick - Calculation Progress"));
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(12);
    font.setBold(true);
    m_label->setObjectName(QStringLiteral("label1"));
    m_label->setFont(font);
    m_bar->setObjectName(QStringLiteral("ProgressBar1"));
    m_bar->setRange(0, 100);
    m_bar->setTextVisible(false);
    m_timeLeft->setObjectName(QStringLiteral("TimeLeft"));
    m_cancel->setObjectName(QStringLiteral("CancelRun"));

    // The bar keeps its place; the estimate and Cancel sit to its right.
    resizeClientInTwips(this, 11760, 630);
    placeInTwips(m_label, 0, 120, 1215, 375);
    placeInTwips(m_bar, 1320, 120, 6255, 255);
    placeInTwips(m_timeLeft, 7680, 60, 2640, 375);
    placeInTwips(m_cancel, 10400, 40, 1240, 420);
    setFixedSize(size());
    centreOnScreen(this);

    connect(m_cancel, &QPushButton::clicked, this, [this] {
        m_cancel->setEnabled(false);
        m_tick->stop();
        m_timeLeft->setText(QStringLiteral("cancelling..."));
        emit cancelRequested();
    });
    m_tick->setInterval(1000);
    connect(m_tick, &QTimer::timeout, this, &frmProgress::showTimeLeft);
}

void frmProgress::closeEvent(QCloseEvent* event) {
    if (isVisible() && m_cancel->isEnabled()) {
        m_cancel->click();
    }
    QWidget::closeEvent(event);
}

void frmProgress::hideEvent(QHideEvent* event) {
    m_tick->stop();
    QWidget::hideEvent(event);
}

void frmProgress::reset() {
    m_bar->setValue(0);
    m_timeLeft->setText(QStringLiteral("counting solutions..."));
    m_cancel->setEnabled(true);
    m_estimate = TimeLeftEstimate();
    m_clock.start();
    m_tick->stop();
}

void frmProgress::setFirstShare(float share) {
    m_bar->setValue(static_cast<int>(std::clamp(share, 0.0f, 100.0f)));
}

void frmProgress::setFractionDone(double fraction) {
    if (!m_cancel->isEnabled()) {
        return;
    }
    m_estimate.observe(fraction, static_cast<double>(m_clock.elapsed()) / 1000.0);
    showTimeLeft();
    if (!m_tick->isActive()) {
        m_tick->start();
    }
}

QString frmProgress::timeLeftText() const {
    return m_timeLeft->text();
}

void frmProgress::showTimeLeft() {
    if (m_cancel->isEnabled()) {
        const std::string text = m_estimate.text(static_cast<double>(m_clock.elapsed()) / 1000.0);
        m_timeLeft->setText(text.empty() ? QStringLiteral("writing records...")
                                         : QString::fromStdString(text));
    }
}

} // namespace fenlowick
