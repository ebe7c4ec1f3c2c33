#include "core/results/totalsfile.h"

#include "core/base/atomicfile.h"
#include "core/base/fieldreader.h"
#include "core/base/numerictext.h"
#include "core/base/textencoding.h"

#include <array>
#include <charconv>

namespace fenlowick {

namespace {

/// A ten-source run at increment 1 gives a totals file of a few kilobytes.
constexpr std::size_t kMaxTotalsBytes = 4u << 20;
constexpr int kFieldsPerRecord = 12;
const std::string kRule(15, '-');
const std::string kAsterisks(15, '*');

using Record = std::array<std::string, kFieldsPerRecord>;

Error notTotals(const std::string& reason) {
    return Error{Error::Kind::FileRead, "it is not a totals file: " + reason};
}

bool isEmptyRecord(const Record& record) {
    for (const std::string& field : record) {
        if (!field.empty()) {
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

std::optional<std::uint64_t> toCount(std::string_view text) {
    std::uint64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

Expected<TotalsFile> parseTotalsFile(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) {
        return notTotals("it holds binary data");
    }
    FieldReader reader(text);
    std::vector<Record> records;
    Record current;
    int filled = 0;
    bool feasibleOutput = false;
    while (std::optional<Field> field = reader.next()) {
        if (field->text == "FEASIBLE OUTPUT:") {
            feasibleOutput = true;
        }
        current[static_cast<std::size_t>(filled++)] = std::move(field->text);
        if (filled == kFieldsPerRecord) {
            records.push_back(current);
            current = Record{};
            filled = 0;
        }
    }
    if (feasibleOutput) {
        return notTotals("it is a feasible-output (.out) file; its totals are in the .tot "
                         "file of the same name");
    }
    RecordCursor in(std::move(records));
    if (filled > 0 && !in.atEnd() && in.peek()[0] == "Date: ") {
        return notTotals("it ends in the middle of a record; the file is cut off");
    }
    const auto expectTitled = [&](const char* title) -> std::optional<Record> {
        if (in.atEnd() || in.peek()[0] != title) {
            return std::nullopt;
        }
        return in.take();
    };

    TotalsFile file;
    const auto date = expectTitled("Date: ");
    if (!date) {
        return notTotals("it does not begin with the \"Date: \" record of a result file");
    }
    const auto title = expectTitled("Title: ");
    const auto increment = expectTitled("Increment: ");
    const auto tolerance = expectTitled("Tolerance:");
    const auto isotopes = expectTitled("Isotopes:");
    const auto mixtures = expectTitled("Mixtures:");
    const auto sourcesHeading = expectTitled("Sources:");
    if (!title || !increment || !tolerance || !isotopes || !mixtures || !sourcesHeading) {
        return notTotals("the header (Title, Increment, Tolerance, Isotopes, Mixtures, "
                         "Sources) is incomplete at record " +
                         std::to_string(in.number()));
    }
    file.title = (*title)[1];
    file.increment = (*increment)[1];
    file.tolerance = (*tolerance)[1];
    for (int k = 1; k < kFieldsPerRecord && !(*isotopes)[k].empty(); ++k) {
        file.isotopes.push_back((*isotopes)[k]);
    }
    while (!in.atEnd() && !(in.peek()[0].empty() && in.peek()[1] == kAsterisks)) {
        in.take();
    }
    if (in.atEnd()) {
        return notTotals("the row of asterisks that ends the sources is missing");
    }
    in.take();
    while (!in.atEnd() && isEmptyRecord(in.peek())) {
        in.take();
    }
    if (!expectTitled("HISTOGRAM DATA")) {
        return notTotals("the \"HISTOGRAM DATA\" table is missing");
    }
    const auto labels = expectTitled("INC");
    if (!labels || in.atEnd()) {
        return notTotals("the \"INC\" record of the histogram table is missing");
    }
    const Record& rule = in.take();
    int sources = 0;
    while (sources + 1 < kFieldsPerRecord && rule[static_cast<std::size_t>(sources + 1)] == kRule) {
        ++sources;
    }
    if (rule[0] != kRule || sources < 1) {
        return notTotals("the rule under the histogram table's labels is missing");
    }
    for (int s = 1; s <= sources; ++s) {
        file.sources.push_back((*labels)[static_cast<std::size_t>(s)]);
    }
    while (!in.atEnd() && !isEmptyRecord(in.peek())) {
        const std::size_t number = in.number();
        const Record& row = in.take();
        const std::optional<double> level = toDouble(row[0]);
        std::vector<std::uint64_t> counts;
        for (int s = 1; s <= sources; ++s) {
            const auto count = toCount(row[static_cast<std::size_t>(s)]);
            if (!count) {
                return notTotals("record " + std::to_string(number) +
                                 " of the histogram table holds \"" +
                                 row[static_cast<std::size_t>(s)] + "\" where a count belongs");
            }
            counts.push_back(*count);
        }
        if (!level) {
            return notTotals("record " + std::to_string(number) +
                             " of the histogram table does not begin with a share");
        }
        file.levels.push_back(*level);
        file.counts.push_back(std::move(counts));
    }
    while (!in.atEnd() && isEmptyRecord(in.peek())) {
        in.take();
    }
    file.figures.resize(static_cast<std::size_t>(sources));
    if (in.atEnd()) {
        return notTotals("the statistics after the histogram table are missing");
    }
    if (in.peek()[0] == "Total" && in.peek()[1] == "Observations") {
        file.observations = 0;
        return file;
    }
    const auto n = expectTitled("N");
    const auto observations = n ? toCount((*n)[1]) : std::nullopt;
    if (!observations || *observations == 0) {
        return notTotals("the \"N\" record with the number of feasible solutions is missing");
    }
    file.observations = *observations;

    // The statistics blocks: title, labels, rule, one value per source.
    const auto block = [&](const char* blockTitle,
                           std::optional<double> SourceFigures::*member) -> Status {
        while (!in.atEnd() && isEmptyRecord(in.peek())) {
            in.take();
        }
        if (!expectTitled(blockTitle)) {
            return notTotals(std::string("the \"") + blockTitle + "\" block is missing");
        }
        if (in.atEnd()) {
            return notTotals(std::string("the \"") + blockTitle + "\" block is cut short");
        }
        in.take(); // labels
        if (in.atEnd() || in.take()[0] != kRule || in.atEnd()) {
            return notTotals(std::string("the \"") + blockTitle + "\" block is cut short");
        }
        const Record& values = in.take();
        for (int s = 0; s < sources; ++s) {
            const std::string& value = values[static_cast<std::size_t>(s)];
            if (value == "???") {
                continue;
            }
            const std::optional<double> number = toDouble(value);
            if (!number) {
                return notTotals(std::string("the \"") + blockTitle + "\" block holds \"" + value +
                                 "\" where a number belongs");
            }
            file.figures[static_cast<std::size_t>(s)].*member = number;
        }
        return ok();
    };
    for (const auto& [blockTitle, member] :
         {std::pair{"MEAN", &SourceFigures::mean}, std::pair{"MINIMUM", &SourceFigures::minimum},
          std::pair{"MAXIMUM", &SourceFigures::maximum}, std::pair{"1 %ile", &SourceFigures::p1},
          std::pair{"50 %ile", &SourceFigures::p50}, std::pair{"99 %ile", &SourceFigures::p99}}) {
        if (Status s = block(blockTitle, member); !s) {
            return s.error();
        }
    }
    while (!in.atEnd() && isEmptyRecord(in.peek())) {
        in.take();
    }
    if (!in.atEnd() && in.peek()[0] == "STD DEV" && in.peek()[1] == "could") {
        return file;
    }
    if (Status s = block("STD DEV", &SourceFigures::stdDev); !s) {
        return s.error();
    }
    return file;
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
