#include "core/base/csvtable.h"
#include "core/base/numerictext.h"
#include "core/base/textencoding.h"
#include "core/entry/checks.h"
#include "core/entry/datafile.h"
#include "core/tables/spreadsheetimport.h"
#include "core/tables/studytables.h"
#include "fuzzcheck.h"
#include "fuzztargets.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fenlowick::fuzz {

namespace {

std::string_view bytesOf(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

/// The input cut at its NUL bytes into the texts of several files; a NUL never belongs to a
/// CSV file, which refuses binary data.
std::vector<std::string_view> filesOf(std::string_view bytes) {
    std::vector<std::string_view> files;
    for (std::size_t start = 0;;) {
        const std::size_t end = bytes.find('\0', start);
        files.push_back(bytes.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) {
            return files;
        }
        start = end + 1;
    }
}

bool isBlank(std::string_view text) {
    return trimBlanks(text).empty();
}

/// A table as a plain reader sees a text without double quotes: lines split at CR LF, CR or
/// LF, fields at the separator the first line holding more than blanks uses most (on a tie
/// tab, then semicolon, then comma; comma when it holds none).
struct PlainTable {
    char separator = ',';
    std::vector<std::vector<std::string>> records; ///< the lines that are not blank
    std::vector<int> lines;                        ///< their 1-based line numbers
};

PlainTable readPlain(std::string_view text) {
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    PlainTable table;
    for (std::string_view line : lines) {
        if (isBlank(line)) {
            continue;
        }
        std::array<std::size_t, 3> counts{}; // tab, semicolon, comma
        for (const char c : line) {
            counts[0] += c == '\t' ? 1 : 0;
            counts[1] += c == ';' ? 1 : 0;
            counts[2] += c == ',' ? 1 : 0;
        }
        const std::size_t most = std::max({counts[0], counts[1], counts[2]});
        if (most > 0 && counts[0] == most) {
            table.separator = '\t';
        } else if (most > 0 && counts[1] == most) {
            table.separator = ';';
        }
        break;
    }
    for (std::size_t l = 0; l < lines.size(); ++l) {
        std::vector<std::string> fields;
        for (std::size_t start = 0;;) {
            const std::size_t end = lines[l].find(table.separator, start);
            fields.emplace_back(
                lines[l].substr(start, end == std::string_view::npos ? end : end - start));
            if (end == std::string_view::npos) {
                break;
            }
            start = end + 1;
        }
        bool blank = true;
        for (const std::string& field : fields) {
            blank = blank && isBlank(field);
        }
        if (!blank) {
            table.records.push_back(std::move(fields));
            table.lines.push_back(static_cast<int>(l) + 1);
        }
    }
    return table;
}

/// The table read from quote-free text agrees with the plain reading: refused exactly when
/// a row has a value beyond the header's columns, otherwise the same header, rows and cells.
void checkAgainstPlainReading(const Expected<CsvTable>& table, std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    const PlainTable plain = readPlain(text);
    if (plain.records.empty()) {
        FUZZ_CHECK(!table);
        return;
    }
    std::vector<std::string> header;
    for (const std::string& name : plain.records.front()) {
        header.emplace_back(trimBlanks(name));
    }
    while (!header.empty() && header.back().empty()) {
        header.pop_back();
    }
    bool beyond = false;
    for (std::size_t r = 1; r < plain.records.size(); ++r) {
        for (std::size_t c = header.size(); c < plain.records[r].size(); ++c) {
            beyond = beyond || !isBlank(plain.records[r][c]);
        }
    }
    FUZZ_CHECK(table.hasValue() == !beyond);
    if (!table) {
        return;
    }
    FUZZ_CHECK(table->separator() == plain.separator);
    FUZZ_CHECK(table->headerLine() == plain.lines.front());
    FUZZ_CHECK(table->columnCount() == static_cast<int>(header.size()));
    for (int c = 0; c < table->columnCount(); ++c) {
        FUZZ_CHECK(table->header(c) == header[static_cast<std::size_t>(c)]);
    }
    FUZZ_CHECK(table->rowCount() + 1 == static_cast<int>(plain.records.size()));
    for (int r = 0; r < table->rowCount(); ++r) {
        const auto& record = plain.records[static_cast<std::size_t>(r) + 1];
        FUZZ_CHECK(table->lineOf(r) == plain.lines[static_cast<std::size_t>(r) + 1]);
        for (int c = 0; c < table->columnCount(); ++c) {
            const auto u = static_cast<std::size_t>(c);
            FUZZ_CHECK(table->cell(r, c) == (u < record.size() ? record[u] : std::string()));
        }
    }
}

/// Written by csvField as a cell of a comma-separated table, the text reads back unchanged.
void checkFieldReadsBack(const std::string& text) {
    const Expected<CsvTable> table =
        CsvTable::parse("value,note\r\n" + csvField(text) + ",x\r\n", "field.csv");
    FUZZ_CHECK(table.hasValue());
    FUZZ_CHECK(table->rowCount() == 1 && table->columnCount() == 2);
    FUZZ_CHECK(table->cell(0, 0) == text);
    FUZZ_CHECK(table->cell(0, 1) == "x");
}

std::optional<CsvTable> tableOf(std::string_view bytes, const char* name) {
    Expected<CsvTable> table = CsvTable::fromBytes(bytes, name);
    if (!table) {
        FUZZ_CHECK(table.error().message.starts_with(std::string(name) + ": "));
        return std::nullopt;
    }
    return std::move(*table);
}

void checkEntrySavesAndRuns(const Entry& entry) {
    FUZZ_CHECK(checkEntry(entry).hasValue());
    if (firstFieldWithQuote(entry)) {
        return;
    }
    const Expected<Entry> again = parseDataFile(serializeDataFile(entry));
    FUZZ_CHECK(again.hasValue());
    FUZZ_CHECK(*again == entry);
}

} // namespace

int fuzzCsvTable(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = bytesOf(data, size);
    const Expected<CsvTable> table = CsvTable::fromBytes(bytes, "t.csv");
    const std::string text = decodeToUtf8(bytes);
    if (!table) {
        FUZZ_CHECK(table.error().message.starts_with("t.csv: "));
    } else {
        FUZZ_CHECK(table->columnCount() >= 1);
        FUZZ_CHECK(!table->header(table->columnCount() - 1).empty());
        for (int c = 0; c < table->columnCount(); ++c) {
            checkFieldReadsBack(table->header(c));
        }
        for (int r = 0; r < table->rowCount(); ++r) {
            FUZZ_CHECK(table->lineOf(r) > (r == 0 ? table->headerLine() : table->lineOf(r - 1)));
            bool blank = true;
            for (int c = 0; c < table->columnCount(); ++c) {
                const std::string& cell = table->cell(r, c);
                blank = blank && isBlank(cell);
                FUZZ_CHECK(isValidUtf8(cell));
                checkFieldReadsBack(cell);
                const Expected<std::string> number = table->numberText(r, c);
                FUZZ_CHECK(!number || isNumeric(*number));
                FUZZ_CHECK(number || number.error().message.starts_with(table->where(r, c)));
            }
            FUZZ_CHECK(!blank);
        }
    }
    if (text.find('\0') != std::string::npos) {
        FUZZ_CHECK(!table);
    } else if (text.find('"') == std::string::npos) {
        checkAgainstPlainReading(table, text);
    }
    return 0;
}

int fuzzStudyTables(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string_view> files = filesOf(bytesOf(data, size));
    if (files.size() < 2) {
        return 0;
    }
    const std::optional<CsvTable> sources = tableOf(files[0], "sources.csv");
    const std::optional<CsvTable> consumers = tableOf(files[1], "consumers.csv");
    const std::optional<CsvTable> discrimination =
        files.size() > 2 ? tableOf(files[2], "tdf.csv") : std::nullopt;
    if (!sources || !consumers || (files.size() > 2 && !discrimination)) {
        return 0;
    }
    const Expected<Study> study =
        readStudy(*sources, *consumers, discrimination ? &*discrimination : nullptr);
    if (!study) {
        FUZZ_CHECK(study.error().kind == Error::Kind::FileRead);
        FUZZ_CHECK(!study.error().message.empty());
        return 0;
    }
    const std::size_t tracers = study->tracers.size();
    FUZZ_CHECK(tracers >= 1 && tracers <= static_cast<std::size_t>(kStudyMaxTracers));
    FUZZ_CHECK(!study->sourceSets.empty());
    FUZZ_CHECK(study->hasDiscrimination == discrimination.has_value());
    for (const int f : study->sharedFactors) {
        FUZZ_CHECK(f >= 0 && f < static_cast<int>(study->factors.size()));
    }
    for (const StudySourceSet& set : study->sourceSets) {
        FUZZ_CHECK(set.sources.size() >= 2 &&
                   set.sources.size() <= static_cast<std::size_t>(kStudyMaxSources));
        FUZZ_CHECK(set.levels.size() == study->sharedFactors.size());
        FUZZ_CHECK(set.discrimination.size() ==
                   (study->hasDiscrimination ? set.sources.size() : std::size_t{0}));
        for (const StudySource& source : set.sources) {
            FUZZ_CHECK(!trimBlanks(source.label).empty());
            FUZZ_CHECK(source.means.size() == tracers && source.sds.size() == tracers);
            for (const std::optional<double>& sd : source.sds) {
                FUZZ_CHECK(!sd || (std::isfinite(*sd) && *sd >= 0.0));
            }
            for (const std::optional<double>& concentration : source.concentrations) {
                FUZZ_CHECK(!concentration || (std::isfinite(*concentration) && *concentration > 0));
            }
        }
        for (const StudyDiscrimination& tdf : set.discrimination) {
            FUZZ_CHECK(tdf.means.size() == tracers && tdf.sds.size() == tracers);
        }
    }
    for (const StudyConsumer& consumer : study->consumers) {
        FUZZ_CHECK(consumer.values.size() == tracers);
        for (const std::string& value : consumer.values) {
            FUZZ_CHECK(isNumeric(value));
        }
        FUZZ_CHECK(consumer.levels.size() == study->factors.size());
        FUZZ_CHECK(consumer.sourceSet >= 0 &&
                   consumer.sourceSet < static_cast<int>(study->sourceSets.size()));
    }
    return 0;
}

int fuzzImport(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte chooses the increment and tolerance and how corrections are given; the
    // rest holds the sources, the mixtures and the corrections, cut at NUL bytes.
    constexpr std::array<std::array<const char*, 2>, 4> kSettings = {
        {{"1", ".15"}, {"5", "0.5"}, {"10", "2"}, {"0.5", "-1"}}};
    const std::uint8_t choice = data[0];
    const std::vector<std::string_view> files = filesOf(bytesOf(data + 1, size - 1));
    const std::optional<CsvTable> sources = tableOf(files[0], "sources.csv");
    const std::optional<CsvTable> mixtures =
        files.size() > 1 ? tableOf(files[1], "mixtures.csv") : std::nullopt;
    const bool correctionList = (choice & 4) != 0;
    const std::optional<CsvTable> corrections =
        files.size() > 2 && !correctionList ? tableOf(files[2], "tef.csv") : std::nullopt;
    if (!sources || (files.size() > 1 && !mixtures) ||
        (files.size() > 2 && !correctionList && !corrections)) {
        return 0;
    }
    ImportRequest request;
    request.sources = &*sources;
    request.mixtures = mixtures ? &*mixtures : nullptr;
    request.corrections = corrections ? &*corrections : nullptr;
    request.increment = kSettings[choice & 3][0];
    request.tolerance = kSettings[choice & 3][1];
    if (files.size() > 2 && correctionList) {
        Expected<std::vector<std::string>> values = parseCorrectionList(files[2]);
        if (!values) {
            FUZZ_CHECK(!values.error().message.empty());
            return 0;
        }
        for (const std::string& value : *values) {
            FUZZ_CHECK(isNumeric(value));
        }
        request.correctionValues = std::move(*values);
    }
    const Expected<ImportResult> result = importEntries(request);
    if (!result) {
        FUZZ_CHECK(result.error().kind == Error::Kind::FileRead ||
                   result.error().kind == Error::Kind::Refused);
        FUZZ_CHECK(!result.error().message.empty());
        return 0;
    }
    FUZZ_CHECK(!result->entries.empty());
    FUZZ_CHECK(mixtures || result->entries.size() == 1);
    for (const ImportedEntry& imported : result->entries) {
        FUZZ_CHECK(imported.mixtureLabel.empty() == !mixtures);
        checkEntrySavesAndRuns(imported.entry);
    }
    return 0;
}

} // namespace fenlowick::fuzz
