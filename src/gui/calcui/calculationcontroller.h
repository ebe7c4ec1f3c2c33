#pragma once

#include "core/entry/entry.h"
#include "core/workflows/calculationrun.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <memory>

class QThread;
class QWidget;

namespace fenlowick {

class frmOutputFiles;
class frmProgress;

/// Runs the Calc command: the entry's checks with the program's messages, the output-file
/// dialog, then the search on a worker thread with the progress window shown, and the
/// messages at the end. Only one run at a time: `runningChanged` tells the main window to
/// disable Calc meanwhile (a second run would share the one output name).
class CalculationController : public QObject {
    Q_OBJECT

public:
    /// `parent` parents the dialog and the progress window (normally the main window).
    explicit CalculationController(QWidget* parent);
    ~CalculationController() override;

    /// Calculate_Click: checks `entry`; when it passes, shows the output-file dialog and
    /// runs once the user saves with a name. A snapshot of the entry is taken here, so
    /// editing the boxes during a run does not change it.
    void calculate(const Entry& entry);

    bool isRunning() const { return m_thread != nullptr; }

    frmOutputFiles* outputDialog() const { return m_dialog; }
    /// Created at the first run.
    frmProgress* progressWindow() const { return m_progress; }

    /// Stops a running search; the run then ends as cancelled and writes nothing.
    void cancel();

signals:
    void runningChanged(bool running);
    /// Every run that got past the dialog ends here, after its messages were shown.
    void runFinished(const fenlowick::RunOutcome& outcome);
    void helpRequested(const QString& topicFile);

private:
    void dialogClosed(bool saved);
    void start();
    /// `explanation`: why nothing was kept, for a run without feasible solutions.
    void finish(const RunOutcome& outcome, const QString& explanation);

    QWidget* m_parent;
    frmOutputFiles* m_dialog;
    frmProgress* m_progress = nullptr;
    Entry m_entry;
    bool m_awaitingName = false;
    QThread* m_thread = nullptr;
    std::atomic<bool> m_cancel{false};
};

} // namespace fenlowick
