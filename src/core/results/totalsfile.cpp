#include "core/results/totalsfile.h"

#include "core/base/atomicfile.h"
#include "core/base/numerictext.h"
#include "core/base/textencoding.h"
#include "core/results/recordreader.h"
#include "core/results/resultformat.h"

#include <algorithm>
#include <utility>

namespace fenlowick {

namespace {

/// A ten-source run at increment 1 gives a totals file of a few kilobytes.
constexpr std::size_t kMaxTotalsBytes = 4u << 20;

Error notTotals(const std::string& reason) {
    return Error{Error::Kind::FileRead, "it is not a totals file: " + reason};
}

bool isEmptyRecord(const Record& record) {
    for (const Field& field : record) {
        if (!field.text.empty()) {
            return false;
        }
    }
    return true;
}

class RecordCursor {
public:
    explicit RecordCursor(std::vector<Record> records) : m_records(std::move(records)) {}
    bool atEnd() const { return m_next >= m_records.size(); }
    const Record& peek() const { return m_records[m_next]; }
    const Record& take() { return m_records[m_next++]; }
    std::size_t number() const { return m_next + 1; }

private:
    std::vector<Record> m_records;
    std::size_t m_next = 0;
};

/// The whole records of a totals file; refused for binary data, a feasible-output file and
/// a file cut off in the middle of a record.
Expected<RecordCursor> totalsRecords(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) {
        return notTotals("it holds binary data");
    }
    RecordReader reader(text);
    std::vector<Record> records;
    Record current;
    int filled = 0;
    bool feasibleOutput = false;
    while ((filled = reader.read(current)) > 0) {
        feasibleOutput =
            feasibleOutput || std::any_of(current.begin(), current.end(), [](const Field& field) {
                return field.text == kFeasibleTitle;
            });
        if (filled < kRecordFields) {
            break;
        }
        records.push_back(std::move(current));
    }
    if (feasibleOutput) {
        return notTotals("it is a feasible-output (.out) file; its totals are in the .tot "
                         "file of the same name");
    }
    RecordCursor in(std::move(records));
    if (filled > 0 && !in.atEnd() && in.peek()[0].text == kDateTitle) {
        return notTotals("it ends in the middle of a record; the file is cut off");
    }
    return in;
}

/// Reads a totals file's parts in order from its records.
class TotalsParser {
public:
    explicit TotalsParser(RecordCursor in) : m_in(std::move(in)) {}

    Expected<TotalsFile> parse() {
        for (const auto& part : {&TotalsParser::header, &TotalsParser::histogram}) {
            if (Status s = (this->*part)(); !s) {
                return s.error();
            }
        }
        skipEmptyRecords();
        m_file.figures.resize(static_cast<std::size_t>(m_sources));
        if (m_in.atEnd()) {
            return notTotals("the statistics after the histogram table are missing");
        }
        if (opensNote(m_in.peek(), kNoObservationsNote)) {
            m_file.observations = 0;
            return m_file;
        }
        const auto n = expectTitled(kCountTitle);
        const auto observations = n ? wholeNumber<std::uint64_t>((*n)[1].text) : std::nullopt;
        if (!observations || *observations == 0) {
            return notTotals("the \"" + std::string(kCountTitle) +
                             "\" record with the number of feasible solutions is missing");
        }
        m_file.observations = *observations;
        if (Status s = statistics(); !s) {
            return s.error();
        }
        return m_file;
    }

private:
    std::optional<Record> expectTitled(std::string_view title) {
        if (m_in.atEnd() || m_in.peek()[0].text != title) {
            return std::nullopt;
        }
        return m_in.take();
    }

    void skipEmptyRecords() {
        while (!m_in.atEnd() && isEmptyRecord(m_in.peek())) {
            m_in.take();
        }
    }

    /// The run's header, up to the row of asterisks that ends the sources.
    Status header() {
        if (!expectTitled(kDateTitle)) {
            return notTotals("it does not begin with the \"" + std::string(kDateTitle) +
                             "\" record of a result file");
        }
        const auto title = expectTitled(kTitleTitle);
        const auto increment = expectTitled(kIncrementTitle);
        const auto tolerance = expectTitled(kToleranceTitle);
        const auto isotopes = expectTitled(kIsotopesTitle);
        const auto mixtures = expectTitled(kMixturesTitle);
        const auto sourcesHeading = expectTitled(kSourcesTitle);
        if (!title || !increment || !tolerance || !isotopes || !mixtures || !sourcesHeading) {
            return notTotals("the header (Title, Increment, Tolerance, Isotopes, Mixtures, "
                             "Sources) is incomplete at record " +
                             std::to_string(m_in.number()));
        }
        m_file.title = (*title)[1].text;
        m_file.increment = (*increment)[1].text;
        m_file.tolerance = (*tolerance)[1].text;
        for (std::size_t k = 1; k < kRecordFields && !(*isotopes)[k].text.empty(); ++k) {
            m_file.isotopes.push_back((*isotopes)[k].text);
        }
        while (!m_in.atEnd() &&
               !(m_in.peek()[0].text.empty() && m_in.peek()[1].text == kAsteriskField)) {
            m_in.take();
        }
        if (m_in.atEnd()) {
            return notTotals("the row of asterisks that ends the sources is missing");
        }
        m_in.take();
        return ok();
    }

    /// The histogram table: its title, the sources' labels, the rule and a row per level.
    Status histogram() {
        skipEmptyRecords();
        if (!expectTitled(kHistogramTitle)) {
            return notTotals("the \"" + std::string(kHistogramTitle) + "\" table is missing");
        }
        const auto labels = expectTitled(kLevelTitle);
        if (!labels || m_in.atEnd()) {
            return notTotals("the \"" + std::string(kLevelTitle) +
                             "\" record of the histogram table is missing");
        }
        const Record& rule = m_in.take();
        while (m_sources + 1 < kRecordFields &&
               rule[static_cast<std::size_t>(m_sources + 1)].text == kRuleField) {
            ++m_sources;
        }
        if (rule[0].text != kRuleField || m_sources < 1) {
            return notTotals("the rule under the histogram table's labels is missing");
        }
        for (int s = 1; s <= m_sources; ++s) {
            m_file.sources.push_back((*labels)[static_cast<std::size_t>(s)].text);
        }
        while (!m_in.atEnd() && !isEmptyRecord(m_in.peek())) {
            const std::size_t number = m_in.number();
            const Record& row = m_in.take();
            const std::optional<double> level = toDouble(row[0].text);
            std::vector<std::uint64_t> counts;
            for (int s = 1; s <= m_sources; ++s) {
                const std::string& field = row[static_cast<std::size_t>(s)].text;
                const auto count = wholeNumber<std::uint64_t>(field);
                if (!count) {
                    return notTotals("record " + std::to_string(number) +
                                     " of the histogram table holds \"" + field +
                                     "\" where a count belongs");
                }
                counts.push_back(*count);
            }
            if (!level) {
                return notTotals("record " + std::to_string(number) +
                                 " of the histogram table does not begin with a share");
            }
            m_file.levels.push_back(*level);
            m_file.counts.push_back(std::move(counts));
        }
        return ok();
    }

    /// The statistics blocks; a single solution's file ends before the SD.
    Status statistics() {
        for (const auto& [blockTitle, member] :
             {std::pair{kMeanTitle, &SourceFigures::mean},
              std::pair{kMinimumTitle, &SourceFigures::minimum},
              std::pair{kMaximumTitle, &SourceFigures::maximum},
              std::pair{kPercentile1Title, &SourceFigures::p1},
              std::pair{kPercentile50Title, &SourceFigures::p50},
              std::pair{kPercentile99Title, &SourceFigures::p99}}) {
            if (Status s = block(blockTitle, member); !s) {
                return s;
            }
        }
        skipEmptyRecords();
        if (!m_in.atEnd() && opensNote(m_in.peek(), kSingleObservationNote)) {
            return ok();
        }
        return block(kStdDevTitle, &SourceFigures::stdDev);
    }

    /// A statistics block: title, labels, rule, one value per source.
    Status block(std::string_view blockTitle, std::optional<double> SourceFigures::*member) {
        const std::string quoted = "the \"" + std::string(blockTitle) + "\" block";
        skipEmptyRecords();
        if (!expectTitled(blockTitle)) {
            return notTotals(quoted + " is missing");
        }
        if (m_in.atEnd()) {
            return notTotals(quoted + " is cut short");
        }
        m_in.take(); // labels
        if (m_in.atEnd() || m_in.take()[0].text != kRuleField || m_in.atEnd()) {
            return notTotals(quoted + " is cut short");
        }
        const Record& values = m_in.take();
        for (int s = 0; s < m_sources; ++s) {
            const std::string& value = values[static_cast<std::size_t>(s)].text;
            if (value == kMissingStatistic) {
                continue;
            }
            const std::optional<double> number = toDouble(value);
            if (!number) {
                return notTotals(quoted + " holds \"" + value + "\" where a number belongs");
            }
            m_file.figures[static_cast<std::size_t>(s)].*member = number;
        }
        return ok();
    }

    RecordCursor m_in;
    TotalsFile m_file;
    int m_sources = 0;
};

} // namespace

Expected<TotalsFile> parseTotalsFile(std::string_view text) {
    Expected<RecordCursor> records = totalsRecords(text);
    if (!records) {
        return records.error();
    }
    return TotalsParser(std::move(*records)).parse();
}

Expected<TotalsFile> readTotalsFile(const std::string& path) {
    Expected<std::string> bytes = readWholeFile(path, kMaxTotalsBytes);
    if (!bytes) {
        return bytes.error();
    }
    Expected<TotalsFile> file = parseTotalsFile(decodeToUtf8(*bytes));
    if (!file) {
        return Error{Error::Kind::FileRead, "Could not read " + path + ": " + file.error().message};
    }
    return file;
}

} // namespace fenlowick
