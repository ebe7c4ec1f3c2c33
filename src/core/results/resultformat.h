#pragma once

#include "core/base/fieldreader.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace fenlowick {

// The records of the result files. A feasible-output (".out") file and a totals (".tot")
// file are both a sequence of records of kRecordFields fields in the field rule of
// FieldReader; a record may span lines. RecordWriter writes them, RecordReader reads them,
// and every writer and reader of the two files takes the width, the titles and the field
// texts from here, so that a change to the files is made once.

/// Fields per record.
inline constexpr int kRecordFields = 12;

/// One record as read back.
using Record = std::array<Field, kRecordFields>;

/// Titles: the text field that opens a record. The header records come first in both files.
inline constexpr std::string_view kDateTitle = "Date: ";
inline constexpr std::string_view kTimeTitle = "Time: ";
inline constexpr std::string_view kTitleTitle = "Title: ";
inline constexpr std::string_view kIncrementTitle = "Increment: ";
inline constexpr std::string_view kToleranceTitle = "Tolerance:";
inline constexpr std::string_view kIsotopesTitle = "Isotopes:";
inline constexpr std::string_view kMixturesTitle = "Mixtures:";
inline constexpr std::string_view kSourcesTitle = "Sources:";
/// Ends the header of a feasible-output file; the source labels and a rule follow.
inline constexpr std::string_view kFeasibleTitle = "FEASIBLE OUTPUT:";
/// The histogram table of a totals file: this record, then kLevelTitle with the source
/// labels, a rule, and one record per level.
inline constexpr std::string_view kHistogramTitle = "HISTOGRAM DATA";
inline constexpr std::string_view kLevelTitle = "INC";
/// The statistics of a totals file: kCountTitle with the number of feasible solutions,
/// then one block per statistic (title, labels, rule, one value per source).
inline constexpr std::string_view kCountTitle = "N";
inline constexpr std::string_view kMeanTitle = "MEAN";
inline constexpr std::string_view kMinimumTitle = "MINIMUM";
inline constexpr std::string_view kMaximumTitle = "MAXIMUM";
inline constexpr std::string_view kPercentile1Title = "1 %ile";
inline constexpr std::string_view kPercentile50Title = "50 %ile";
inline constexpr std::string_view kPercentile99Title = "99 %ile";
inline constexpr std::string_view kStdDevTitle = "STD DEV";

/// The field of a rule under labels: one per labelled column.
inline constexpr std::string_view kRuleField = "---------------";
/// The field of the row that ends the sources of the header: one per isotope, after an
/// empty field.
inline constexpr std::string_view kAsteriskField = "***************";
/// A level statistic the histograms do not reach.
inline constexpr std::string_view kMissingStatistic = "???";

/// The record that takes the place of the statistics of a run without feasible solutions.
inline constexpr std::array<std::string_view, 7> kNoObservationsNote = {
    "Total", "Observations", "= 0", "so no", "statistics", "could be", "generated."};
/// The record that takes the place of the standard deviations of a single solution.
inline constexpr std::array<std::string_view, 8> kSingleObservationNote = {
    kStdDevTitle, "could", "not be", "computed", "because", "there", "is only 1", "observation."};

/// True when `record` opens with the first two fields of `note` (a note may be cut short).
template <std::size_t N>
bool opensNote(const Record& record, const std::array<std::string_view, N>& note) {
    return record[0].text == note[0] && record[1].text == note[1];
}

/// `fields` empty text fields divided by commas, then the line end: what completes a
/// record after its last written field and its comma. Empty for fields <= 0.
std::string paddingText(int fields);

/// A share as a feasible record holds it, with the comma after it: the share's fraction of
/// one (shareFraction) as a single-precision bare number. 35 gives ".35,", 12.5 ".13,",
/// 100 "1,". Searches build tables of these once and copy them per record.
std::string shareFieldText(float percent);

/// What follows the share fields of a feasible record of `sources` shares (3..10): the
/// padding to the record width and the line end.
std::string feasibleRecordEnd(int sources);

/// The mean of a statistics block as a bare number, rounded to thousandths.
std::string meanFieldText(double mean);

/// A standard deviation as a bare number: rounded to thousandths, in single precision.
std::string stdDevFieldText(float stdDev);

/// A level statistic as the text of its field: the share in the "###.00" format, or
/// kMissingStatistic when there is none.
std::string levelStatisticText(std::optional<float> share);

} // namespace fenlowick
