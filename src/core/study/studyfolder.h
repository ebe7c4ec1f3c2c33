#pragma once

#include "core/base/atomicfile.h"
#include "core/base/expected.h"
#include "core/study/posterior.h"
#include "core/study/studyreport.h"
#include "core/tables/studytables.h"

#include <string>
#include <vector>

namespace fenlowick {

/// The tables of a study's feasible sets as files of `folder`: consumers.csv,
/// histograms.csv, uncertainty.csv (with draws) and groups.csv.
std::vector<FileText> studyTableFiles(const Study& study, const StudyOutcome& outcome,
                                      const StudySummary& summary, const std::string& folder);

/// The tables of a study's posterior as files of `folder`: posterior.csv, residual.csv,
/// model.csv and posterior-histograms.csv.
std::vector<FileText> posteriorTableFiles(const Study& study, const PosteriorOutcome& outcome,
                                          const std::vector<int>& byFactors,
                                          const std::string& folder);

/// What writing a study's folder did besides writing its files, as paths: the files an
/// earlier study's record named that were removed, and the files named as a study names
/// them that no record names, which were left.
struct StudyFolderNotes {
    std::vector<std::string> removed;
    std::vector<std::string> notOurs;
};

/// The name of the record of the files a study wrote into its folder.
inline constexpr const char* kStudyRecordName = "study-files.txt";

/// Writes the files of a study's results (all inside `folder`, figures in its figures/) all
/// together or none, with the record of the files written (study-files.txt), and removes the
/// files an earlier study's record names that these do not replace, and no other file (no
/// symlink, nothing outside the folder, none of `inputs`). Refused (Error::Kind::FileWrite,
/// the message ending in `hint`, which says how to choose another folder) when a file would
/// replace one of `inputs` (the files the study reads) or a study shard's file that its merge
/// needs; a folder that cannot be made or a file that cannot be written leaves nothing new
/// behind. `cancel` stops the writing as writeFilesTogether does.
Expected<StudyFolderNotes> writeStudyFolder(const std::vector<FileText>& results,
                                            const std::string& folder,
                                            const std::vector<std::string>& inputs,
                                            const std::string& hint,
                                            const std::atomic<bool>* cancel = nullptr);

} // namespace fenlowick
