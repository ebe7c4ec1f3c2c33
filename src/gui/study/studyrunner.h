#pragma once

#include "core/base/atomicfile.h"
#include "core/base/expected.h"
#include "core/study/studyfile.h"
#include "core/tables/studytables.h"
#include "figures/studyfigures.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QThread;

namespace fenlowick {

/// A study to run: its tables as read, what it computes and its options, checked.
struct StudyJob {
    Study study;
    StudyComputes computes = StudyComputes::FeasibleSets;
    StudyOptions options;
    std::vector<int> byFactors; ///< indexes into Study::factors, from options.by
};

/// What a run found, ready to show and to save.
struct StudyResults {
    /// The files of one output folder, their paths relative to it ("groups.csv",
    /// "figures/shares.png"), as `fenlowick-cli study` writes them.
    struct Output {
        std::string subfolder; ///< "" for the folder itself, or feasible-sets / posterior
        std::vector<FileText> files;
    };
    std::vector<Output> outputs;
    /// The figures, in the order of the files.
    std::vector<StudyFigure> figures;
    /// What the run noted besides its tables (draws without a solution ...).
    QStringList notes;

    /// The text of a table by its path relative to the folder ("posterior/posterior.csv"
    /// for a study of both); null when the run wrote none.
    const std::string* table(const std::string& path) const;
};

/// Runs the study: the feasible sets and/or the posterior, then their tables and figures
/// exactly as the command line composes them. `progress` gets the fraction done of the
/// feasible sets' runs, then -1 as the posterior begins and the fraction of its grid sums
/// done (from the calling thread, one call at a time). Refused with the core's message;
/// Error::Kind::Cancelled once `cancel` is set.
Expected<StudyResults> computeStudy(const StudyJob& job, const std::atomic<bool>* cancel,
                                    const std::function<void(double)>& progress);

/// Writes the results into `folder` as `fenlowick-cli study` writes its output folder
/// (two subfolders for a study of both), never over one of `inputs`. Returns the notes of
/// the writing (files of an earlier study removed ...) or the first error.
Expected<QStringList> saveStudyResults(const StudyResults& results, const std::string& folder,
                                       const std::vector<std::string>& inputs);

/// Runs `computeStudy` on a worker thread, one run at a time; the results come back on the
/// thread the runner lives in.
class StudyRunner : public QObject {
    Q_OBJECT

public:
    explicit StudyRunner(QObject* parent = nullptr);
    ~StudyRunner() override;

    /// False (and nothing started) while a run is going on.
    bool start(StudyJob job);
    bool isRunning() const { return m_thread != nullptr; }
    /// Asks the running study to stop; it then finishes as cancelled.
    void cancel();

signals:
    /// The fraction done of the feasible sets' runs, or of the posterior's grid sums; -1 as
    /// the posterior begins.
    void progressed(double fraction);
    /// Every run ends here: with results, or the core's error (Cancelled when stopped).
    void finished(std::shared_ptr<const fenlowick::Expected<fenlowick::StudyResults>> outcome);

private:
    QThread* m_thread = nullptr;
    std::atomic<bool> m_cancel{false};
};

} // namespace fenlowick
