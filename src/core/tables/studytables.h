#pragma once

#include "core/base/csvtable.h"
#include "core/base/exactdecimal.h"
#include "core/base/expected.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace fenlowick {

/// A source of a study: its label and, per tracer (in the consumer file's order), the mean
/// as an exact decimal (the exact runs add it to the discrimination without rounding) and
/// the standard deviation. For raw rows the mean is worked out exactly in decimal and the
/// SD is the sample SD.
struct StudySource {
    std::string label;
    std::vector<ExactDecimal> means;
    /// Empty for a tracer whose SD the table does not give.
    std::vector<std::optional<double>> sds;
    /// Per tracer, the element's concentration from a Conc<tracer> column (for raw rows the
    /// mean of the samples'); empty for a tracer without that column.
    std::vector<std::optional<double>> concentrations;
    int samples = 0; ///< the "n" column, or the rows of a raw source; 0 when unknown
    int line = 0;    ///< the source's first line in its file
};

/// The trophic discrimination of one source: exact means and SDs per tracer.
struct StudyDiscrimination {
    std::vector<ExactDecimal> means;
    std::vector<std::optional<double>> sds;
};

/// The sources one group of consumers is run with: all of them, or those of one level of
/// the factors that the source and consumer files share.
struct StudySourceSet {
    std::vector<std::string> levels; ///< per shared factor
    std::vector<StudySource> sources;
    /// Per source; empty without a discrimination file.
    std::vector<StudyDiscrimination> discrimination;
};

/// One consumer: a data row of the consumer file.
struct StudyConsumer {
    int row = 0;  ///< 1-based data row
    int line = 0; ///< its line in the file
    /// Per tracer, the number text as the table writes it (decimal commas read as points):
    /// the exact run's entry takes it as it stands.
    std::vector<std::string> values;
    std::vector<double> numbers;     ///< the same values as numbers
    std::vector<std::string> levels; ///< per factor column of the consumer file
    int sourceSet = 0;
};

/// The most consumer rows a study takes: it holds every consumer's results in memory until
/// its report is written, about 1 GB at this many.
inline constexpr std::size_t kStudyMaxConsumers = 50'000;

/// A study as its three tables give it.
struct Study {
    std::string consumerFile;         ///< the consumer file's name, for messages
    std::vector<std::string> tracers; ///< as the consumer file heads them, in its order
    /// The consumer file's columns that are not tracers, in file order.
    std::vector<std::string> factors;
    /// Indexes into `factors` of those the source file has too.
    std::vector<int> sharedFactors;
    std::vector<StudyConsumer> consumers;
    std::vector<StudySourceSet> sourceSets;
    bool rawSources = false;
    bool hasDiscrimination = false;
    /// The source file has a Conc<tracer> column for at least one tracer.
    bool hasConcentrations = false;
    /// What was ignored or assumed on the way in, one sentence each.
    std::vector<std::string> notes;

    /// The index of a factor by its header, ignoring case; -1 when there is none.
    int factorIndex(const std::string& header) const;
};

/// The most tracers and sources a study runs (those of one run).
inline constexpr std::size_t kStudyMaxTracers = 5;
/// The most tracers the posterior takes (its grid is over the sources only).
inline constexpr std::size_t kPosteriorMaxTracers = 100;
inline constexpr int kStudyMaxSources = 10;

/// Reads a study. The consumer file has one row per individual, one column per tracer and
/// factor columns. The source file has a label column ("Source", "Sources" or an empty
/// header) and either summary rows (Mean<tracer>, SD<tracer>, optional Conc<tracer> and n;
/// one row per source and level of any factor it shares with the consumer file) or raw rows
/// (one column per tracer, one row per sample). The discrimination file, optional, has a
/// label column, Mean<tracer> and SD<tracer>, a row per source. Columns are found by header
/// in any order and any case. A consumer column is a tracer when the source file has it
/// (as Mean<tracer> or, for raw rows, by its own name), and a factor otherwise.
///
/// Refused (Error::Kind::FileRead), naming file, line and column: anything a table cannot
/// give (a value that is missing or not a number, a mean of more than 18 digits, a source listed
/// twice, no label column, a consumer whose factor level has no sources, a tracer without a mean in
/// the source or discrimination file, a source without discrimination or a discrimination row for
/// an unknown source, a concentration that is not a number above zero), fewer than two sources or
/// more than ten in a set, no tracer or more than `maxTracers`, more than kStudyMaxConsumers
/// consumer rows.
Expected<Study> readStudy(const CsvTable& sources, const CsvTable& consumers,
                          const CsvTable* discrimination,
                          std::size_t maxTracers = kStudyMaxTracers);

/// The consumers of one level of a study's grouping factors.
struct ConsumerGroup {
    std::vector<std::string> levels; ///< per grouping factor; empty for the whole study
    std::vector<std::size_t> consumers;
};

/// The consumers grouped by the levels of the factors `byFactors` (indexes into
/// Study::factors), the groups in the order their levels first appear and the consumers in
/// theirs; without factors, one group of every consumer.
std::vector<ConsumerGroup> groupConsumers(const Study& study, const std::vector<int>& byFactors);

/// The exact mean of number texts as a number text: the decimal sum divided by their count,
/// exact when it has at most 12 decimals and rounded half away from zero to 12 otherwise.
/// Refused when the sum needs more than 18 digits.
Expected<std::string> exactMeanText(const std::vector<std::string>& texts);

} // namespace fenlowick
