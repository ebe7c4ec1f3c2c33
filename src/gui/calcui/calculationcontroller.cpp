#include "gui/calcui/calculationcontroller.h"

#include "core/analysis/diagnosis.h"
#include "core/entry/checks.h"
#include "gui/calcui/frmoutputfiles.h"
#include "gui/calcui/frmprogress.h"
#include "gui/widgets/notifier.h"

#include <QThread>
#include <QWidget>

namespace fenlowick {

CalculationController::CalculationController(QWidget* parent)
    : QObject(parent), m_parent(parent), m_dialog(new frmOutputFiles(parent)) {
    qRegisterMetaType<fenlowick::RunOutcome>("fenlowick::RunOutcome");
    connect(m_dialog, &frmOutputFiles::outcome, this, &CalculationController::dialogClosed);
    connect(m_dialog, &frmOutputFiles::helpRequested, this, &CalculationController::helpRequested);
}

CalculationController::~CalculationController() {
    if (m_thread != nullptr) {
        m_cancel.store(true);
        m_thread->wait();
    }
}

void CalculationController::calculate(const Entry& entry) {
    if (isRunning()) {
        return;
    }
    Expected<CalculationInput> checked = checkEntry(entry);
    if (!checked) {
        notifier().inform(m_parent, QString::fromStdString(checked.error().message));
        return;
    }
    m_entry = entry;
    m_awaitingName = true;
    m_dialog->refreshLists();
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
}

void CalculationController::dialogClosed(bool saved) {
    if (!m_awaitingName) {
        return;
    }
    m_awaitingName = false;
    if (!saved || m_dialog->typedName().isEmpty()) {
        return;
    }
    start();
}

void CalculationController::cancel() {
    m_cancel.store(true);
}

void CalculationController::start() {
    if (m_progress == nullptr) {
        m_progress = new frmProgress(m_parent);
        connect(m_progress, &frmProgress::cancelRequested, this, &CalculationController::cancel);
    }
    m_progress->reset();
    m_progress->show();
    m_progress->repaint();

    RunRequest request;
    request.entry = m_entry;
    request.folder = m_dialog->folder().toStdString();
    request.typedName = m_dialog->typedName().toStdString();
    request.cancel = &m_cancel;
    m_cancel.store(false);
    // Progress crosses to this thread by queued calls; the window is updated only here.
    request.progress = [this](float share) {
        QMetaObject::invokeMethod(
            this,
            [this, share] {
                if (m_progress != nullptr) {
                    m_progress->setFirstShare(share);
                }
            },
            Qt::QueuedConnection);
    };
    request.fractionDone = [this](double fraction) {
        QMetaObject::invokeMethod(
            this,
            [this, fraction] {
                if (m_progress != nullptr) {
                    m_progress->setFractionDone(fraction);
                }
            },
            Qt::QueuedConnection);
    };

    m_thread = QThread::create([this, request] {
        const RunOutcome outcome = runCalculation(request);
        // A search that keeps nothing is explained: where the mixture lies against the
        // sources, and the smallest tolerance that would keep something.
        QString explanation;
        if (outcome.status == RunOutcome::Status::Completed && outcome.feasibleCount == 0) {
            DiagnosisLimits limits;
            limits.approach.cancel = &m_cancel;
            if (const Expected<Diagnosis> diagnosis = diagnoseEntry(request.entry, limits)) {
                explanation = QString::fromStdString(diagnosis->message);
            }
        }
        QMetaObject::invokeMethod(
            this, [this, outcome, explanation] { finish(outcome, explanation); },
            Qt::QueuedConnection);
    });
    m_thread->start();
    emit runningChanged(true);
}

void CalculationController::finish(const RunOutcome& outcome, const QString& explanation) {
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    if (m_progress != nullptr) {
        m_progress->hide();
    }
    emit runningChanged(false);

    using RunStatus = RunOutcome::Status;
    switch (outcome.status) {
    case RunStatus::Completed:
        if (outcome.notice) {
            notifier().inform(m_parent, QString::fromStdString(*outcome.notice));
        }
        if (!explanation.isEmpty()) {
            notifier().inform(m_parent, explanation);
        }
        notifier().inform(m_parent, QString::fromStdString(outcome.message));
        break;
    case RunStatus::Cancelled:
        notifier().inform(m_parent,
                          QStringLiteral("The calculation was cancelled. No result files were "
                                         "written; earlier files of that name are unchanged."));
        break;
    case RunStatus::Refused:
    case RunStatus::FileError:
        notifier().inform(m_parent, QString::fromStdString(outcome.message));
        break;
    case RunStatus::NoName:
        break;
    }
    emit runFinished(outcome);
}

} // namespace fenlowick
