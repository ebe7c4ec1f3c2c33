#pragma once

#include "core/workflows/timeleft.h"

#include <QElapsedTimer>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace fenlowick {

/// The progress window of a run: the bar shows the first source's share reached (0..100),
/// beside it an estimate of the time left and a Cancel button. Its close box cancels the run
/// as Cancel does (a run going on unseen, writing gigabytes, could not be stopped).
class frmProgress : public QWidget {
    Q_OBJECT

public:
    explicit frmProgress(QWidget* parent = nullptr);

    /// Bar to 0, "counting solutions..." in place of the estimate, Cancel enabled; the clock
    /// for the estimate starts.
    void reset();

    /// The first source's share reached, in percent.
    void setFirstShare(float share);

    /// The fraction of the run's work done (0..1), for the time-left estimate, which then
    /// counts down every second until the next report.
    void setFractionDone(double fraction);

    /// The time-left text as shown.
    QString timeLeftText() const;

    QProgressBar* bar() const { return m_bar; }
    QPushButton* cancelButton() const { return m_cancel; }

signals:
    void cancelRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QLabel* m_label;
    QProgressBar* m_bar;
    QLabel* m_timeLeft;
    QPushButton* m_cancel;
    QElapsedTimer m_clock;
    QTimer* m_tick;
    TimeLeftEstimate m_estimate;

    void showTimeLeft();
};

} // namespace fenlowick
