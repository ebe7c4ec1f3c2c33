#include "gui/study/studyrunner.h"

#include "core/entry/outputnaming.h"
#include "core/study/posterior.h"
#include "core/study/studyfolder.h"
#include "core/study/studyreport.h"
#include "core/study/studyrun.h"

#include <QThread>

#include <cstdint>
#include <optional>

namespace fenlowick {

namespace {

/// The core's progress (done of total) as the share done.
std::function<void(std::uint64_t, std::uint64_t)>
shareDone(const std::function<void(double)>& progress) {
    return [&progress](std::uint64_t done, std::uint64_t total) {
        if (progress && total > 0) {
            progress(static_cast<double>(done) / static_cast<double>(total));
        }
    };
}

Error cancelled() {
    return Error{Error::Kind::Cancelled, "The study was cancelled; nothing was written."};
}

Expected<StudyResults::Output> feasibleSets(const StudyJob& job, const std::atomic<bool>* cancel,
                                            const std::function<void(double)>& progress,
                                            StudyResults& results) {
    StudySettings settings;
    settings.options = job.options;
    settings.options.posterior = false;
    settings.cancel = cancel;
    settings.progress = shareDone(progress);
    Expected<StudyOutcome> outcome = runStudy(job.study, settings);
    if (!outcome) {
        return outcome.error();
    }
    if (outcome->cancelled) {
        return cancelled();
    }
    const StudySummary summary = summariseStudy(job.study, *outcome, job.byFactors);
    const std::size_t unsolved = unsolvedRows(summary).size();
    if (const std::optional<std::string> note = drawsWithoutSolutionNote(*outcome, summary)) {
        QString text = QString::fromStdString(*note);
        text[0] = text[0].toUpper();
        results.notes << text + QStringLiteral(".");
    } else if (unsolved > 0) {
        results.notes << QStringLiteral("%1 of %2 consumers found no solution%3 and add nothing "
                                        "to their groups.")
                             .arg(unsolved)
                             .arg(job.study.consumers.size())
                             .arg(outcome->draws > 0 ? QStringLiteral(" in any draw") : QString());
    }
    for (StudyFigure& figure : studyFigures(job.study, *outcome, summary)) {
        results.figures.push_back(std::move(figure));
    }
    return StudyResults::Output{{}, studyOutputFiles(job.study, *outcome, summary, "", true)};
}

Expected<StudyResults::Output> posterior(const StudyJob& job, const std::atomic<bool>* cancel,
                                         const std::function<void(double)>& progress,
                                         StudyResults& results) {
    PosteriorSettings settings{job.options, job.byFactors};
    settings.options.posterior = true;
    settings.options.tolerance.clear();
    settings.cancel = cancel;
    settings.progress = shareDone(progress);
    Expected<PosteriorOutcome> outcome = runPosterior(job.study, settings);
    if (!outcome) {
        return outcome.error();
    }
    if (outcome->cancelled || (cancel != nullptr && cancel->load())) {
        return cancelled();
    }
    for (StudyFigure& figure : posteriorFigures(job.study, *outcome, job.byFactors)) {
        results.figures.push_back(std::move(figure));
    }
    return StudyResults::Output{{},
                                posteriorOutputFiles(job.study, *outcome, job.byFactors, "", true)};
}

} // namespace

const std::string* StudyResults::table(const std::string& path) const {
    for (const Output& output : outputs) {
        for (const FileText& file : output.files) {
            if (joinFolder(output.subfolder, file.path) == path) {
                return &file.text;
            }
        }
    }
    return nullptr;
}

Expected<StudyResults> computeStudy(const StudyJob& job, const std::atomic<bool>* cancel,
                                    const std::function<void(double)>& progress) {
    StudyResults results;
    const bool both = job.computes == StudyComputes::Both;
    if (job.computes != StudyComputes::Posterior) {
        Expected<StudyResults::Output> output = feasibleSets(job, cancel, progress, results);
        if (!output) {
            return output.error();
        }
        output->subfolder = both ? kFeasibleSetsFolder : "";
        results.outputs.push_back(std::move(*output));
    }
    if (job.computes != StudyComputes::FeasibleSets) {
        if (progress) {
            progress(-1.0);
        }
        Expected<StudyResults::Output> output = posterior(job, cancel, progress, results);
        if (!output) {
            return output.error();
        }
        output->subfolder = both ? kPosteriorFolder : "";
        results.outputs.push_back(std::move(*output));
    }
    return results;
}

Expected<QStringList> saveStudyResults(const StudyResults& results, const std::string& folder,
                                       const std::vector<std::string>& inputs) {
    QStringList notes;
    for (const StudyResults::Output& output : results.outputs) {
        const std::string target = joinFolder(folder, output.subfolder);
        std::vector<FileText> files;
        for (const FileText& file : output.files) {
            files.push_back({joinFolder(target, file.path), file.text});
        }
        const Expected<StudyFolderNotes> written =
            writeStudyFolder(files, target, inputs, "choose another folder");
        if (!written) {
            return written.error();
        }
        for (const std::string& path : written->removed) {
            notes << QStringLiteral("Removed %1, which an earlier study wrote and this one does "
                                    "not.")
                         .arg(QString::fromStdString(path));
        }
        for (const std::string& path : written->notOurs) {
            notes << QStringLiteral("%1 is not this study's (no study's record names it); it was "
                                    "left as it is.")
                         .arg(QString::fromStdString(path));
        }
    }
    return notes;
}

StudyRunner::StudyRunner(QObject* parent) : QObject(parent) {
    qRegisterMetaType<std::shared_ptr<const fenlowick::Expected<fenlowick::StudyResults>>>();
}

StudyRunner::~StudyRunner() {
    // A study still running stops; its results, queued for this object, are dropped with it.
    if (m_thread != nullptr) {
        m_cancel.store(true);
        m_thread->wait();
        delete m_thread;
    }
}

void StudyRunner::cancel() {
    m_cancel.store(true);
}

bool StudyRunner::start(StudyJob job) {
    if (m_thread != nullptr) {
        return false;
    }
    m_cancel.store(false);
    m_thread = QThread::create([this, job = std::move(job)] {
        // A study reports every search; the window needs a few hundred steps at most.
        double reported = 0.0;
        auto outcome = std::make_shared<const Expected<StudyResults>>(
            computeStudy(job, &m_cancel, [this, &reported](double fraction) {
                if (fraction >= 0.0 && fraction < 1.0 && fraction - reported < 0.002) {
                    return;
                }
                reported = fraction;
                QMetaObject::invokeMethod(
                    this, [this, fraction] { emit progressed(fraction); }, Qt::QueuedConnection);
            }));
        QMetaObject::invokeMethod(
            this,
            [this, outcome] {
                m_thread->wait();
                delete m_thread;
                m_thread = nullptr;
                emit finished(outcome);
            },
            Qt::QueuedConnection);
    });
    m_thread->start();
    return true;
}

} // namespace fenlowick
