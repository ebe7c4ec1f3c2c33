#include "core/tables/spreadsheetimport.h"

#include "core/base/exactdecimal.h"
#include "core/base/numerictext.h"
#include "core/base/textencoding.h"
#include "core/entry/checks.h"
#include "core/entry/messages.h"
#include "core/tables/isotopename.h"
#include "core/tables/labelledtable.h"

#include <algorithm>
#include <filesystem>

namespace fenlowick {

namespace {

/// The longest text a signature or mixture box of the window takes.
constexpr std::size_t kBoxCharacters = 8;

const std::vector<std::string> kSourceNames = {"source", "sources"};
const std::vector<std::string> kMixtureNames = {"mixture", "mixtures"};

Error fileError(std::string message) {
    return Error{Error::Kind::FileRead, std::move(message)};
}

Error refusal(std::string message) {
    return Error{Error::Kind::Refused, std::move(message)};
}

std::string ordinal(int n) {
    const int lastTwo = n % 100;
    const char* suffix = "th";
    if (lastTwo < 11 || lastTwo > 13) {
        suffix = n % 10 == 1 ? "st" : n % 10 == 2 ? "nd" : n % 10 == 3 ? "rd" : "th";
    }
    return std::to_string(n) + suffix;
}

std::string baseName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

/// Ignored columns and changed labels of a table, as notes.
void addNotes(const LabelledTable& table, std::vector<std::string>& notes) {
    if (!table.ignoredColumns.empty()) {
        std::string list;
        for (const std::string& column : table.ignoredColumns) {
            list += (list.empty() ? "" : ", ") + column;
        }
        notes.push_back(table.fileName + ": columns ignored: " + list);
    }
    notes.insert(notes.end(), table.warnings.begin(), table.warnings.end());
}

/// Refuses a table whose isotopes differ from the sources' isotopes.
Status sameIsotopes(const CsvTable& csv, const LabelledTable& table, const CsvTable& sourcesCsv,
                    const LabelledTable& sources) {
    for (std::size_t k = 0; k < sources.isotopeKeys.size(); ++k) {
        if (table.isotopeIndex(sources.isotopeKeys[k]) < 0) {
            return fileError(csv.fileName() + ", line " + std::to_string(csv.headerLine()) +
                             ": no column for the isotope " + sources.isotopes[k] + " (" +
                             sourcesCsv.whereHeader(sources.isotopeColumns[k]) + ")");
        }
    }
    for (std::size_t k = 0; k < table.isotopeKeys.size(); ++k) {
        if (sources.isotopeIndex(table.isotopeKeys[k]) < 0) {
            return fileError(csv.whereHeader(table.isotopeColumns[k]) + ": " +
                             sourcesCsv.fileName() + " has no column for this isotope");
        }
    }
    return ok();
}

/// Why an entry has more than 6 decimal places, naming the text that counts most.
std::string decimalPlacesReason(const Entry& entry, int sources, int isotopes,
                                const std::vector<std::vector<std::string>>& originals,
                                const std::vector<std::vector<std::string>>& corrections) {
    const int incrementDecimals = numberOfDecimals(entry.increment);
    int best = -1;
    int bestRow = 0;
    int bestColumn = 0;
    for (int i = 0; i < sources; ++i) {
        for (int k = 0; k < isotopes; ++k) {
            const int decimals = numberOfDecimals(entry.col[k][i]);
            if (decimals > best) {
                best = decimals;
                bestRow = i;
                bestColumn = k;
            }
        }
    }
    if (incrementDecimals + best > 6) {
        std::string reason = "The increment " + entry.increment + " has " +
                             std::to_string(incrementDecimals) + " decimal places and the " +
                             "signature " + entry.col[bestColumn][bestRow] + " of " +
                             entry.sources[bestRow] + " (" + entry.isotope[bestColumn] + ")";
        const std::string& correction = corrections[bestRow][bestColumn];
        if (!correction.empty()) {
            reason +=
                ", corrected from " + originals[bestRow][bestColumn] + " by " + correction + ",";
        }
        reason += " has " + std::to_string(best) +
                  ": together more than 6. Give the corrections or the signatures fewer "
                  "decimals, or use a whole-number increment.";
        return reason;
    }
    for (int k = 0; k < isotopes; ++k) {
        if (numberOfDecimals(entry.mixture[k]) > 6) {
            return "The mixture " + entry.mixture[k] + " (" + entry.isotope[k] +
                   ") has more than 6 decimal places.";
        }
    }
    return "The tolerance " + entry.threshold + " has more than 6 decimal places.";
}

} // namespace

Expected<std::vector<std::string>> parseCorrectionList(std::string_view text) {
    std::vector<std::string> values;
    const char divider = text.find(';') != std::string_view::npos ? ';' : ',';
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(divider, start);
        std::string item(trimBlanks(text.substr(start, end - start)));
        // Divided by semicolons, a list may use decimal commas: "1,63;3,54".
        if (divider == ';' && std::count(item.begin(), item.end(), ',') == 1 &&
            item.find('.') == std::string::npos) {
            item[item.find(',')] = '.';
        }
        if (!isNumeric(item)) {
            return refusal("the correction \"" + item + "\" in \"" + std::string(text) +
                           "\" is not a number (write them as 1.63,3.54)");
        }
        values.push_back(item);
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return values;
}

namespace {

/// "(TEF corrected: d13C +0.4, d15N +3.4)" for corrections that every source shares.
std::string commonCorrectionNote(const std::vector<std::string>& values,
                                 const std::vector<std::string>& labels) {
    std::string note;
    for (std::size_t k = 0; k < values.size(); ++k) {
        const std::string& value = values[k];
        note += (note.empty() ? "" : ", ") + labels[k] + " " +
                (value.front() == '-' || value.front() == '+' ? value : "+" + value);
    }
    return "(TEF corrected: " + note + ")";
}

/// One import: the tables read in turn, then an entry per mixture.
class Importer {
public:
    explicit Importer(const ImportRequest& request)
        : m_request(request), m_sourcesCsv(*request.sources) {}

    Expected<ImportResult> run() {
        for (const auto& step : {&Importer::readSources, &Importer::readMixtures,
                                 &Importer::readCorrections, &Importer::makeBase}) {
            if (Status s = (this->*step)(); !s) {
                return s.error();
            }
        }
        if (!m_mixtures) {
            if (Status s = addEntry(m_base, {}, 0); !s) {
                return s.error();
            }
            return std::move(m_result);
        }
        for (std::size_t r = 0; r < m_mixtures->labels.size(); ++r) {
            if (Status s = addEntry(mixtureEntry(r), m_mixtures->labels[r], m_mixtures->lines[r]);
                !s) {
                return s.error();
            }
        }
        return std::move(m_result);
    }

private:
    int sourceCount() const { return static_cast<int>(m_sources.labels.size()); }
    int isotopeCount() const { return static_cast<int>(m_sources.isotopes.size()); }

    Status readSources() {
        IsotopeColumns sourceColumns;
        sourceColumns.recognise = m_request.isotopeNames.empty();
        for (const std::string& name : m_request.isotopeNames) {
            sourceColumns.known.push_back(isotopeKey(name));
        }
        Expected<LabelledTable> read =
            readLabelledTable(m_sourcesCsv, kSourceNames, true, sourceColumns);
        if (!read) {
            return read.error();
        }
        m_sources = std::move(*read);
        for (const std::string& name : m_request.isotopeNames) {
            if (m_sources.isotopeIndex(isotopeKey(name)) < 0) {
                return fileError(m_sourcesCsv.fileName() + ", line " +
                                 std::to_string(m_sourcesCsv.headerLine()) +
                                 ": no column named \"" + name + "\", which --isotopes asks for");
            }
        }
        addNotes(m_sources, m_result.notes);
        if (m_sources.isotopes.size() > kIsotopeColumns) {
            return fileError(m_sourcesCsv.whereHeader(m_sources.isotopeColumns[kIsotopeColumns]) +
                             ": the " + ordinal(kIsotopeColumns + 1) +
                             " isotope; a run takes at most " + std::to_string(kIsotopeColumns) +
                             " isotopes");
        }
        if (m_sources.labels.size() > kSourceRows) {
            return fileError(m_sourcesCsv.where(kSourceRows, m_sources.labelColumn) + ": \"" +
                             m_sources.labels[kSourceRows] + "\" is the " +
                             ordinal(kSourceRows + 1) + " source; a run takes at most " +
                             std::to_string(kSourceRows) + " sources");
        }
        // The other tables recognise their isotope columns the way the sources table did.
        m_otherColumns.known = m_sources.isotopeKeys;
        m_otherColumns.recognise = m_request.isotopeNames.empty();
        m_corrections.assign(static_cast<std::size_t>(sourceCount()),
                             std::vector<std::string>(static_cast<std::size_t>(isotopeCount())));
        return ok();
    }

    Status readMixtures() {
        if (m_request.mixtures == nullptr) {
            return ok();
        }
        Expected<LabelledTable> mixtures =
            readLabelledTable(*m_request.mixtures, kMixtureNames, true, m_otherColumns);
        if (!mixtures) {
            return mixtures.error();
        }
        if (Status s = sameIsotopes(*m_request.mixtures, *mixtures, m_sourcesCsv, m_sources); !s) {
            return s;
        }
        if (mixtures->labels.empty()) {
            return fileError(m_request.mixtures->fileName() + ": no mixture rows below the header");
        }
        addNotes(*mixtures, m_result.notes);
        m_mixtures = std::move(*mixtures);
        return ok();
    }

    Status readCorrections() {
        if (!m_request.correctionValues.empty()) {
            if (m_request.correctionValues.size() != m_sources.isotopes.size()) {
                std::string list;
                for (const std::string& isotope : m_sources.isotopes) {
                    list += (list.empty() ? "" : ", ") + isotope;
                }
                return refusal("--tef gives " + std::to_string(m_request.correctionValues.size()) +
                               " corrections, but " + m_sourcesCsv.fileName() + " has " +
                               std::to_string(isotopeCount()) + " isotopes (" + list +
                               "); give one per isotope in that order");
            }
            correctEverySource(m_request.correctionValues);
            return ok();
        }
        if (m_request.corrections == nullptr) {
            return ok();
        }
        const CsvTable& csv = *m_request.corrections;
        Expected<LabelledTable> table = readLabelledTable(csv, kSourceNames, false, m_otherColumns);
        if (!table) {
            return table.error();
        }
        if (Status s = sameIsotopes(csv, *table, m_sourcesCsv, m_sources); !s) {
            return s;
        }
        addNotes(*table, m_result.notes);
        if (table->hasLabels) {
            return correctBySource(csv, *table);
        }
        if (table->labels.size() != 1) {
            return fileError(csv.fileName() + ": " + std::to_string(table->labels.size()) +
                             " rows of corrections but no \"source\" column saying which " +
                             "source each is for (one row applies to every source)");
        }
        // Corrections in the sources' isotope order.
        std::vector<std::string> values;
        for (const std::string& key : m_sources.isotopeKeys) {
            values.push_back(table->values[0][static_cast<std::size_t>(table->isotopeIndex(key))]);
        }
        correctEverySource(values);
        return ok();
    }

    void correctEverySource(const std::vector<std::string>& values) {
        for (auto& row : m_corrections) {
            row = values;
        }
        m_correctionNote = commonCorrectionNote(values, m_sources.isotopes);
    }

    /// Corrections from a table with a row per source, named in its label column.
    Status correctBySource(const CsvTable& csv, const LabelledTable& table) {
        for (std::size_t r = 0; r < table.labels.size(); ++r) {
            const int i = m_sources.rowIndex(table.labels[r]);
            if (i < 0) {
                return fileError(csv.where(static_cast<int>(r), table.labelColumn) + ": \"" +
                                 table.labels[r] + "\" is not a source of " +
                                 m_sourcesCsv.fileName());
            }
            for (int k = 0; k < isotopeCount(); ++k) {
                m_corrections[static_cast<std::size_t>(i)][static_cast<std::size_t>(k)] =
                    table.values[r][static_cast<std::size_t>(
                        table.isotopeIndex(m_sources.isotopeKeys[static_cast<std::size_t>(k)]))];
            }
        }
        for (std::size_t i = 0; i < m_sources.labels.size(); ++i) {
            if (table.rowIndex(m_sources.labels[i]) < 0) {
                return fileError(csv.fileName() + ": no correction for the source \"" +
                                 m_sources.labels[i] + "\" (" + m_sourcesCsv.fileName() +
                                 ", line " + std::to_string(m_sources.lines[i]) + ")");
            }
        }
        m_correctionNote = "(TEF corrected per source: " + baseName(csv.fileName()) + ")";
        return ok();
    }

    /// The entry every mixture shares: the increment, the tolerance, the isotopes and the
    /// sources with their corrections added exactly.
    Status makeBase() {
        m_base.increment = m_request.increment;
        m_base.threshold = m_request.tolerance;
        if (auto negative = negativeToleranceMessage(m_base)) {
            return refusal(*negative);
        }
        for (int k = 0; k < isotopeCount(); ++k) {
            m_base.isotope[k] = m_sources.isotopes[static_cast<std::size_t>(k)];
        }
        for (int i = 0; i < sourceCount(); ++i) {
            m_base.sources[i] = m_sources.labels[static_cast<std::size_t>(i)];
            for (int k = 0; k < isotopeCount(); ++k) {
                if (Status s = correctedSignature(i, k); !s) {
                    return s;
                }
            }
        }
        return ok();
    }

    Status correctedSignature(int i, int k) {
        const auto row = static_cast<std::size_t>(i);
        const auto column = static_cast<std::size_t>(k);
        const std::string& value = m_sources.values[row][column];
        const std::string& correction = m_corrections[row][column];
        if (correction.empty()) {
            m_base.col[k][i] = value;
        } else {
            Expected<ExactDecimal> a = ExactDecimal::fromText(value);
            Expected<ExactDecimal> b = ExactDecimal::fromText(correction);
            Expected<ExactDecimal> sum =
                a && b ? a->plus(*b) : Expected<ExactDecimal>(a ? b.error() : a.error());
            if (!sum) {
                return fileError(m_sourcesCsv.where(i, m_sources.isotopeColumns[column]) + ": " +
                                 sum.error().message);
            }
            m_base.col[k][i] = sum->text();
        }
        if (utf8Length(m_base.col[k][i]) > kBoxCharacters) {
            m_result.notes.push_back("The signature " + m_base.col[k][i] + " of " +
                                     m_base.sources[i] + " (" + m_base.isotope[k] +
                                     ") is longer than the 8 characters a box of the window " +
                                     "shows");
        }
        return ok();
    }

    Entry mixtureEntry(std::size_t r) {
        Entry entry = m_base;
        for (int k = 0; k < isotopeCount(); ++k) {
            const int column =
                m_mixtures->isotopeIndex(m_sources.isotopeKeys[static_cast<std::size_t>(k)]);
            entry.mixture[k] = m_mixtures->values[r][static_cast<std::size_t>(column)];
            if (utf8Length(entry.mixture[k]) > kBoxCharacters) {
                m_result.notes.push_back("The mixture " + entry.mixture[k] + " of \"" +
                                         m_mixtures->labels[r] + "\" (" + entry.isotope[k] +
                                         ") is longer than the 8 characters a box of the " +
                                         "window shows");
            }
        }
        return entry;
    }

    /// Titles the entry and keeps it when the run's checks pass it.
    Status addEntry(Entry entry, std::string label, int line) {
        std::string title = m_request.title;
        if (!label.empty()) {
            title = title.empty() ? label : title + ": " + label;
        }
        if (title.empty()) {
            title = std::filesystem::path(m_sourcesCsv.fileName()).stem().string();
        }
        if (!m_correctionNote.empty()) {
            title += " " + m_correctionNote;
        }
        entry.title = title;
        Expected<CalculationInput> checked = checkEntry(entry);
        if (!checked) {
            std::string message = checked.error().message;
            if (message == messages::kTooManyDecimals) {
                message += "\n" + decimalPlacesReason(entry, sourceCount(), isotopeCount(),
                                                      m_sources.values, m_corrections);
            }
            if (!label.empty()) {
                message += "\n(mixture \"" + label + "\", " + m_request.mixtures->fileName() +
                           ", line " + std::to_string(line) + ")";
            }
            return refusal(message);
        }
        m_result.entries.push_back(ImportedEntry{std::move(label), line, std::move(entry)});
        return ok();
    }

    const ImportRequest& m_request;
    const CsvTable& m_sourcesCsv;
    ImportResult m_result;
    LabelledTable m_sources;
    IsotopeColumns m_otherColumns;
    std::optional<LabelledTable> m_mixtures;
    /// [i][k]: the correction of source i for isotope k; empty for none.
    std::vector<std::vector<std::string>> m_corrections;
    std::string m_correctionNote;
    Entry m_base;
};

} // namespace

Expected<ImportResult> importEntries(const ImportRequest& request) {
    return Importer(request).run();
}

} // namespace fenlowick
