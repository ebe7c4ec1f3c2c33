#include "core/tables/studytables.h"

#include "core/base/exactdecimal.h"
#include "core/base/numerictext.h"
#include "core/entry/checks.h"
#include "core/entry/mixingconstraints.h"
#include "core/tables/isotopename.h"
#include "core/tables/labelledtable.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <unordered_map>

namespace fenlowick {

namespace {

Error fileError(std::string message) {
    return Error{Error::Kind::FileRead, std::move(message)};
}

/// A mean of a table, a number text already, as the exact decimal the runs add; refused at
/// its place when it has more digits than an exact sum can hold.
Expected<ExactDecimal> exactValue(const CsvTable& table, int row, int column,
                                  const std::string& text) {
    Expected<ExactDecimal> value = ExactDecimal::fromText(text);
    if (!value) {
        return fileError(table.where(row, column) + ": " + value.error().message);
    }
    return value;
}

std::string headerLineOf(const CsvTable& table) {
    return table.fileName() + ", line " + std::to_string(table.headerLine());
}

bool isLabelHeader(const std::string& header) {
    const std::string folded = foldCase(trimBlanks(header));
    return folded.empty() || folded == "source" || folded == "sources";
}

/// What a column of the source or discrimination file holds.
struct SourceColumns {
    int label = -1;
    std::vector<int> mean;   ///< per tracer, -1 when missing
    std::vector<int> sd;     ///< per tracer, -1 when missing
    std::vector<int> raw;    ///< per tracer, -1 when missing
    int count = -1;          ///< the "n" column
    std::vector<int> shared; ///< per shared factor: its column
    std::vector<std::string> ignored;
    std::vector<int> conc; ///< per tracer, -1 when missing
};

/// The tracer key behind a header that starts with `prefix` (ignoring case and blanks), or
/// an empty text.
std::string keyAfter(const std::string& header, std::string_view prefix) {
    const std::string trimmed(trimBlanks(header));
    if (trimmed.size() <= prefix.size() || foldCase(trimmed.substr(0, prefix.size())) != prefix) {
        return {};
    }
    return isotopeKey(trimmed.substr(prefix.size()));
}

/// The first place of every text of a list, so that a table of many columns is matched
/// against another in linear time.
class FirstIndex {
public:
    explicit FirstIndex(const std::vector<std::string>& texts) {
        for (std::size_t i = 0; i < texts.size(); ++i) {
            m_index.emplace(texts[i], static_cast<int>(i));
        }
    }
    /// The first place of `text`, or -1 (always for an empty text).
    int operator()(const std::string& text) const {
        const auto it = m_index.find(text);
        return text.empty() || it == m_index.end() ? -1 : it->second;
    }

private:
    std::unordered_map<std::string, int> m_index;
};

/// Sorts the columns of a source or discrimination table by what they hold, against the
/// consumer file's candidate tracer keys and factor headers.
Expected<SourceColumns> sortColumns(const CsvTable& table, const std::vector<std::string>& keys,
                                    const std::vector<std::string>& factorFolded) {
    SourceColumns columns;
    columns.mean.assign(keys.size(), -1);
    columns.sd.assign(keys.size(), -1);
    columns.raw.assign(keys.size(), -1);
    columns.conc.assign(keys.size(), -1);
    columns.shared.assign(factorFolded.size(), -1);
    const FirstIndex indexOf(keys);
    const FirstIndex factorOf(factorFolded);
    auto claim = [&](std::vector<int>& slots, int k, int c) -> Status {
        if (slots[static_cast<std::size_t>(k)] >= 0) {
            return fileError(table.whereHeader(c) + ": a second column for this tracer (the " +
                             "first is column " +
                             std::to_string(slots[static_cast<std::size_t>(k)] + 1) + ")");
        }
        slots[static_cast<std::size_t>(k)] = c;
        return ok();
    };
    for (int c = 0; c < table.columnCount(); ++c) {
        const std::string& header = table.header(c);
        const std::string folded = foldCase(trimBlanks(header));
        if (columns.label < 0 && isLabelHeader(header)) {
            columns.label = c;
            continue;
        }
        if (int k = indexOf(keyAfter(header, "mean")); k >= 0) {
            if (Status s = claim(columns.mean, k, c); !s) {
                return s.error();
            }
            continue;
        }
        if (int k = indexOf(keyAfter(header, "sd")); k >= 0) {
            if (Status s = claim(columns.sd, k, c); !s) {
                return s.error();
            }
            continue;
        }
        if (int k = indexOf(keyAfter(header, "conc")); k >= 0) {
            if (Status s = claim(columns.conc, k, c); !s) {
                return s.error();
            }
            continue;
        }
        if (folded == "n") {
            columns.count = c;
            continue;
        }
        // A column the consumer file has too: a tracer of raw rows or a shared factor, as
        // readStudy decides.
        int same = indexOf(isotopeKey(header));
        if (same < 0) {
            same = factorOf(folded);
        }
        if (same >= 0) {
            if (Status s = claim(columns.raw, same, c); !s) {
                return s.error();
            }
            continue;
        }
        columns.ignored.push_back(header.empty() ? "column " + std::to_string(c + 1) : header);
    }
    return columns;
}

Expected<double> sdValue(const CsvTable& table, int row, int column) {
    Expected<std::string> text = table.numberText(row, column);
    if (!text) {
        return text.error();
    }
    const double value = toDouble(*text).value_or(-1.0);
    if (!(value >= 0.0) || !std::isfinite(value)) {
        return fileError(table.where(row, column) + ": a standard deviation must be a number " +
                         "of 0 or more");
    }
    return value;
}

/// The sample standard deviation of number texts; 0 for a single one.
double sampleSd(const std::vector<std::string>& texts, double mean) {
    if (texts.size() < 2) {
        return 0.0;
    }
    double squares = 0.0;
    for (const std::string& text : texts) {
        const double d = toDouble(text).value_or(0.0) - mean;
        squares += d * d;
    }
    return std::sqrt(squares / static_cast<double>(texts.size() - 1));
}

std::string levelsText(const std::vector<std::string>& names,
                       const std::vector<std::string>& levels) {
    std::string text;
    for (std::size_t f = 0; f < levels.size(); ++f) {
        text += (text.empty() ? "" : ", ") + names[f] + " " + levels[f];
    }
    return text;
}

} // namespace

int Study::factorIndex(const std::string& header) const {
    const std::string folded = foldCase(trimBlanks(header));
    for (std::size_t f = 0; f < factors.size(); ++f) {
        if (foldCase(trimBlanks(factors[f])) == folded) {
            return static_cast<int>(f);
        }
    }
    return -1;
}

std::vector<ConsumerGroup> groupConsumers(const Study& study, const std::vector<int>& byFactors) {
    std::vector<ConsumerGroup> groups;
    std::map<std::vector<std::string>, std::size_t> groupOf;
    for (std::size_t c = 0; c < study.consumers.size(); ++c) {
        std::vector<std::string> levels;
        for (const int f : byFactors) {
            levels.push_back(study.consumers[c].levels[static_cast<std::size_t>(f)]);
        }
        auto [it, added] = groupOf.emplace(levels, groups.size());
        if (added) {
            groups.push_back(ConsumerGroup{std::move(levels), {}});
        }
        groups[it->second].consumers.push_back(c);
    }
    return groups;
}

Expected<std::string> exactMeanText(const std::vector<std::string>& texts) {
    Expected<ExactDecimal> sum = ExactDecimal::fromText("0");
    for (const std::string& text : texts) {
        Expected<ExactDecimal> value = ExactDecimal::fromText(text);
        if (!value) {
            return value.error();
        }
        sum = sum->plus(*value);
        if (!sum) {
            return sum.error();
        }
    }
    // The sum as an integer coefficient and a count of decimals, from its text.
    std::string digits = sum->text();
    const bool negative = !digits.empty() && digits.front() == '-';
    if (negative) {
        digits.erase(0, 1);
    }
    int scale = 0;
    if (const std::size_t point = digits.find('.'); point != std::string::npos) {
        scale = static_cast<int>(digits.size() - point - 1);
        digits.erase(point, 1);
    }
    std::uint64_t coefficient = 0; // at most 18 digits

    for (const char digit : digits) {
        coefficient = coefficient * 10 + static_cast<unsigned>(digit - '0');
    }
    const auto count = static_cast<std::uint64_t>(texts.size());
    constexpr int kMaxDecimals = 12;
    while (scale < kMaxDecimals && coefficient % count != 0 && coefficient <= UINT64_MAX / 10) {
        coefficient *= 10;
        ++scale;
    }
    std::uint64_t quotient = coefficient / count;
    if ((coefficient % count) * 2 >= count) {
        ++quotient; // half away from zero, the sign being applied afterwards
    }
    std::string text;
    do {
        text.insert(text.begin(), static_cast<char>('0' + static_cast<int>(quotient % 10)));
        quotient /= 10;
    } while (quotient != 0);
    if (scale > 0) {
        if (static_cast<int>(text.size()) <= scale) {
            text.insert(0, static_cast<std::size_t>(scale + 1) - text.size(), '0');
        }
        text.insert(text.size() - static_cast<std::size_t>(scale), ".");
    }
    Expected<ExactDecimal> mean = ExactDecimal::fromText((negative ? "-" : "") + text);
    if (!mean) {
        return mean.error();
    }
    return mean->text();
}

Expected<Study> readStudy(const CsvTable& sourcesCsv, const CsvTable& consumersCsv,
                          const CsvTable* discriminationCsv, std::size_t maxTracers) {
    Study study;
    study.consumerFile = consumersCsv.fileName();
    // Candidate tracers: every column of the consumer file; those the source file has are
    // tracers, the others factors.
    std::vector<std::string> keys;
    std::vector<std::string> factorFolded;
    for (int c = 0; c < consumersCsv.columnCount(); ++c) {
        keys.push_back(isotopeKey(consumersCsv.header(c)));
        factorFolded.push_back(foldCase(trimBlanks(consumersCsv.header(c))));
    }
    Expected<SourceColumns> sorted = sortColumns(sourcesCsv, keys, factorFolded);
    if (!sorted) {
        return sorted.error();
    }
    SourceColumns& columns = *sorted;
    if (columns.label < 0) {
        return fileError(headerLineOf(sourcesCsv) + ": no column naming the sources (a " +
                         "\"Source\" column, or one with an empty header)");
    }
    bool anyMean = false;
    for (std::size_t c = 0; c < keys.size(); ++c) {
        anyMean = anyMean || columns.mean[c] >= 0;
    }
    study.rawSources = !anyMean;
    // Columns both files have: with summary rows they are factors; with raw rows they are
    // tracers, except that beside tracers named like isotopes (d13C) the others are factors.
    bool isotopeNamed = false;
    for (std::size_t c = 0; c < keys.size(); ++c) {
        isotopeNamed = isotopeNamed || (columns.raw[c] >= 0 &&
                                        looksLikeIsotope(consumersCsv.header(static_cast<int>(c))));
    }
    for (std::size_t c = 0; c < keys.size(); ++c) {
        const bool tracer =
            study.rawSources &&
            (!isotopeNamed || looksLikeIsotope(consumersCsv.header(static_cast<int>(c))));
        if (columns.raw[c] >= 0 && !tracer) {
            columns.shared[c] = columns.raw[c];
            columns.raw[c] = -1;
        }
    }

    std::vector<int> tracerColumns; // consumer file columns of the tracers
    std::vector<int> factorColumns; // consumer file columns of the factors
    std::unordered_map<std::string, int> firstOfKey;
    for (int c = 0; c < consumersCsv.columnCount(); ++c) {
        const auto u = static_cast<std::size_t>(c);
        // A tracer named twice (d13C beside d13C) would have two values for one mixture.
        if (const auto [first, added] = firstOfKey.emplace(keys[u], c);
            !added && !keys[u].empty() && looksLikeIsotope(consumersCsv.header(c))) {
            return fileError(consumersCsv.whereHeader(c) + ": a second column for this tracer " +
                             "(the first is column " + std::to_string(first->second + 1) + ")");
        }
        const bool tracer = study.rawSources ? columns.raw[u] >= 0 : columns.mean[u] >= 0;
        if (tracer) {
            tracerColumns.push_back(c);
            study.tracers.push_back(std::string(trimBlanks(consumersCsv.header(c))));
            continue;
        }
        if (looksLikeIsotope(consumersCsv.header(c))) {
            return fileError(consumersCsv.whereHeader(c) + ": " + sourcesCsv.fileName() +
                             " has no " + (study.rawSources ? "" : "Mean") +
                             std::string(trimBlanks(consumersCsv.header(c))) + " column");
        }
        if (columns.shared[u] >= 0) {
            study.sharedFactors.push_back(static_cast<int>(study.factors.size()));
        }
        factorColumns.push_back(c);
        study.factors.push_back(consumersCsv.header(c).empty()
                                    ? "column " + std::to_string(c + 1)
                                    : std::string(trimBlanks(consumersCsv.header(c))));
    }
    if (study.tracers.empty()) {
        return fileError(headerLineOf(consumersCsv) + ": no tracer column that " +
                         sourcesCsv.fileName() + " has too (a tracer such as d13C in the " +
                         "consumers, and Meand13C or d13C in the sources)");
    }
    if (study.tracers.size() > maxTracers) {
        return fileError(headerLineOf(consumersCsv) + ": " + std::to_string(study.tracers.size()) +
                         " tracers (" + commaList(study.tracers) + "); a study runs at most " +
                         std::to_string(maxTracers) +
                         " at a time. Leave the others out of the consumer file" +
                         (maxTracers == kStudyMaxTracers ? ", or run its posterior (--posterior), "
                                                           "which takes any number."
                                                         : "."));
    }
    const std::size_t tracers = study.tracers.size();
    std::vector<std::string> sharedNames;
    for (const int f : study.sharedFactors) {
        sharedNames.push_back(study.factors[static_cast<std::size_t>(f)]);
    }
    for (std::size_t k = 0; k < tracers; ++k) {
        const auto c = static_cast<std::size_t>(tracerColumns[k]);
        if (study.rawSources && columns.raw[c] < 0) {
            return fileError(headerLineOf(sourcesCsv) + ": no column for the tracer " +
                             study.tracers[k]);
        }
    }
    if (!columns.ignored.empty()) {
        study.notes.push_back(sourcesCsv.fileName() +
                              ": columns ignored: " + commaList(columns.ignored));
    }
    for (std::size_t k = 0; k < tracers; ++k) {
        study.hasConcentrations = study.hasConcentrations ||
                                  columns.conc[static_cast<std::size_t>(tracerColumns[k])] >= 0;
    }

    // Sources, grouped by the levels of the shared factors in the order they first appear.
    std::map<std::vector<std::string>, int> setOf;
    std::vector<std::vector<std::vector<std::vector<std::string>>>> rawValues;
    // Per set, source and tracer: the sum of the concentrations read and their count.
    std::vector<std::vector<std::vector<std::pair<double, int>>>> concentrationSums;
    for (int r = 0; r < sourcesCsv.rowCount(); ++r) {
        const std::string label(trimBlanks(sourcesCsv.cell(r, columns.label)));
        if (label.empty()) {
            return fileError(sourcesCsv.where(r, columns.label) + ": the source has no label");
        }
        if (isMissingLabel(label)) {
            return fileError(sourcesCsv.where(r, columns.label) + ": the source label begins " +
                             "with a control character, which the exact runs would take for a " +
                             "missing label");
        }
        std::vector<std::string> levels;
        for (const int f : study.sharedFactors) {
            const int column =
                columns
                    .shared[static_cast<std::size_t>(factorColumns[static_cast<std::size_t>(f)])];
            levels.emplace_back(trimBlanks(sourcesCsv.cell(r, column)));
        }
        auto [it, added] = setOf.emplace(levels, static_cast<int>(study.sourceSets.size()));
        if (added) {
            study.sourceSets.push_back(StudySourceSet{levels, {}, {}});
            rawValues.emplace_back();
            concentrationSums.emplace_back();
        }
        StudySourceSet& set = study.sourceSets[static_cast<std::size_t>(it->second)];
        auto& setRaw = rawValues[static_cast<std::size_t>(it->second)];
        auto known = std::find_if(set.sources.begin(), set.sources.end(), [&](const auto& s) {
            return foldCase(s.label) == foldCase(label);
        });
        if (known != set.sources.end() && !study.rawSources) {
            return fileError(sourcesCsv.where(r, columns.label) + ": the source \"" + label +
                             "\" has a row already (line " + std::to_string(known->line) + ")" +
                             (levels.empty() ? "" : " for " + levelsText(sharedNames, levels)));
        }
        if (known == set.sources.end()) {
            StudySource source;
            source.label = label;
            source.line = sourcesCsv.lineOf(r);
            source.means.assign(tracers, ExactDecimal());
            source.sds.assign(tracers, std::nullopt);
            set.sources.push_back(std::move(source));
            setRaw.emplace_back(tracers);
            concentrationSums[static_cast<std::size_t>(it->second)].emplace_back(tracers);
            known = set.sources.end() - 1;
        }
        StudySource& source = *known;
        const auto index = static_cast<std::size_t>(known - set.sources.begin());
        for (std::size_t k = 0; k < tracers; ++k) {
            const auto c = static_cast<std::size_t>(tracerColumns[k]);
            const int column = study.rawSources ? columns.raw[c] : columns.mean[c];
            Expected<std::string> value = sourcesCsv.numberText(r, column);
            if (!value) {
                return value.error();
            }
            if (study.rawSources) {
                setRaw[index][k].push_back(*value);
                continue;
            }
            Expected<ExactDecimal> mean = exactValue(sourcesCsv, r, column, *value);
            if (!mean) {
                return mean.error();
            }
            source.means[k] = *mean;
            if (columns.sd[c] >= 0) {
                Expected<double> sd = sdValue(sourcesCsv, r, columns.sd[c]);
                if (!sd) {
                    return sd.error();
                }
                source.sds[k] = *sd;
            }
        }
        for (std::size_t k = 0; k < tracers; ++k) {
            const int column = columns.conc[static_cast<std::size_t>(tracerColumns[k])];
            if (column < 0) {
                continue;
            }
            const Expected<std::string> text = sourcesCsv.numberText(r, column);
            const std::optional<double> value = text ? toDouble(*text) : std::nullopt;
            if (!value || !std::isfinite(*value) || !(*value > 0.0)) {
                return fileError(sourcesCsv.where(r, column) + ": " +
                                 badConcentrationMessage(label,
                                                         trimBlanks(sourcesCsv.header(column)),
                                                         sourcesCsv.cell(r, column)));
            }
            auto& sum = concentrationSums[static_cast<std::size_t>(it->second)][index][k];
            sum.first += *value;
            ++sum.second;
        }
        if (study.rawSources) {
            ++source.samples;
        } else if (columns.count >= 0) {
            Expected<std::string> n = sourcesCsv.numberText(r, columns.count);
            if (!n) {
                return n.error();
            }
            // The number of samples: a whole number a table can mean (an n of 1e86 or -3 is
            // a mistake, and no int holds the first).
            const double count = toDouble(*n).value_or(-1.0);
            if (!(count >= 0.0 && count <= 1e9) || count != std::floor(count)) {
                return fileError(sourcesCsv.where(r, columns.count) + ": \"" + *n +
                                 "\" is not a number of samples (a whole number from 0 on)");
            }
            source.samples = static_cast<int>(count);
        }
    }
    if (study.sourceSets.empty()) {
        return fileError(sourcesCsv.fileName() + ": no source rows below the header");
    }
    for (std::size_t s = 0; s < study.sourceSets.size(); ++s) {
        StudySourceSet& set = study.sourceSets[s];
        for (std::size_t i = 0; i < set.sources.size(); ++i) {
            for (const auto& [sum, count] : concentrationSums[s][i]) {
                set.sources[i].concentrations.push_back(
                    count == 0 ? std::nullopt : std::optional<double>(sum / count));
            }
        }
        for (std::size_t i = 0; study.rawSources && i < set.sources.size(); ++i) {
            for (std::size_t k = 0; k < tracers; ++k) {
                const auto& samples = rawValues[s][i][k];
                Expected<std::string> meanText = exactMeanText(samples);
                Expected<ExactDecimal> mean =
                    meanText ? ExactDecimal::fromText(*meanText) : meanText.error();
                if (!mean) {
                    return fileError(sourcesCsv.fileName() + ", the source \"" +
                                     set.sources[i].label + "\": " + mean.error().message);
                }
                set.sources[i].means[k] = *mean;
                set.sources[i].sds[k] = sampleSd(samples, mean->toDouble());
            }
        }
        const std::string where =
            sourcesCsv.fileName() +
            (set.levels.empty() ? std::string() : " (" + levelsText(sharedNames, set.levels) + ")");
        if (set.sources.size() < 2) {
            return fileError(where + ": a study needs at least two sources");
        }
        if (set.sources.size() > kStudyMaxSources) {
            return fileError(where + ": " + std::to_string(set.sources.size()) +
                             " sources; a study runs at most " + std::to_string(kStudyMaxSources));
        }
    }
    if (study.rawSources) {
        bool single = false;
        for (const auto& set : study.sourceSets) {
            for (const auto& source : set.sources) {
                single = single || source.samples == 1;
            }
        }
        if (single) {
            study.notes.push_back(sourcesCsv.fileName() + ": a source with a single sample " +
                                  "is taken to have an SD of 0");
        }
    } else {
        std::vector<std::string> missing;
        for (std::size_t k = 0; k < tracers; ++k) {
            if (columns.sd[static_cast<std::size_t>(tracerColumns[k])] < 0) {
                missing.push_back("SD" + study.tracers[k]);
            }
        }
        if (!missing.empty()) {
            study.notes.push_back(sourcesCsv.fileName() + ": no " + commaList(missing) +
                                  " column; draws need the sources' SDs");
        }
    }

    // Discrimination: a row per source label.
    if (discriminationCsv != nullptr) {
        const CsvTable& csv = *discriminationCsv;
        study.hasDiscrimination = true;
        Expected<SourceColumns> found = sortColumns(csv, keys, {});
        if (!found) {
            return found.error();
        }
        if (found->label < 0) {
            return fileError(headerLineOf(csv) + ": no column naming the sources (a " +
                             "\"Source\" column, or one with an empty header)");
        }
        for (std::size_t k = 0; k < tracers; ++k) {
            if (found->mean[static_cast<std::size_t>(tracerColumns[k])] < 0) {
                return fileError(headerLineOf(csv) + ": no Mean" + study.tracers[k] + " column");
            }
        }
        if (!found->ignored.empty()) {
            study.notes.push_back(csv.fileName() +
                                  ": columns ignored: " + commaList(found->ignored));
        }
        std::vector<std::pair<std::string, StudyDiscrimination>> rows;
        for (int r = 0; r < csv.rowCount(); ++r) {
            const std::string label(trimBlanks(csv.cell(r, found->label)));
            for (const auto& [earlier, unused] : rows) {
                if (foldCase(earlier) == foldCase(label)) {
                    return fileError(csv.where(r, found->label) + ": the source \"" + label +
                                     "\" has a row already");
                }
            }
            StudyDiscrimination row;
            for (std::size_t k = 0; k < tracers; ++k) {
                const auto c = static_cast<std::size_t>(tracerColumns[k]);
                Expected<std::string> text = csv.numberText(r, found->mean[c]);
                Expected<ExactDecimal> mean =
                    text ? exactValue(csv, r, found->mean[c], *text) : text.error();
                if (!mean) {
                    return mean.error();
                }
                row.means.push_back(*mean);
                std::optional<double> sd;
                if (found->sd[c] >= 0) {
                    Expected<double> value = sdValue(csv, r, found->sd[c]);
                    if (!value) {
                        return value.error();
                    }
                    sd = *value;
                }
                row.sds.push_back(sd);
            }
            bool used = false;
            for (const auto& set : study.sourceSets) {
                for (const auto& source : set.sources) {
                    used = used || foldCase(source.label) == foldCase(label);
                }
            }
            if (!used) {
                return fileError(csv.where(r, found->label) + ": \"" + label + "\" is not a " +
                                 "source of " + sourcesCsv.fileName());
            }
            rows.emplace_back(label, std::move(row));
        }
        for (auto& set : study.sourceSets) {
            for (const auto& source : set.sources) {
                const auto row = std::find_if(rows.begin(), rows.end(), [&](const auto& entry) {
                    return foldCase(entry.first) == foldCase(source.label);
                });
                if (row == rows.end()) {
                    return fileError(csv.fileName() + ": no row for the source \"" + source.label +
                                     "\"");
                }
                set.discrimination.push_back(row->second);
            }
        }
    }

    // A study holds every consumer's histograms until its report is written (some 16 KB
    // each, and their rows of histograms.csv): refused before any is read.
    if (static_cast<std::size_t>(consumersCsv.rowCount()) > kStudyMaxConsumers) {
        return fileError(consumersCsv.fileName() + ": " + std::to_string(consumersCsv.rowCount()) +
                         " consumer rows; a study takes at most " +
                         std::to_string(kStudyMaxConsumers) +
                         " (it holds the results of every consumer in memory), so split the "
                         "consumers into several studies");
    }

    // Consumers: every tracer value a number, every level of a shared factor known.
    for (int r = 0; r < consumersCsv.rowCount(); ++r) {
        StudyConsumer consumer;
        consumer.row = r + 1;
        consumer.line = consumersCsv.lineOf(r);
        for (const int c : tracerColumns) {
            Expected<std::string> value = consumersCsv.numberText(r, c);
            if (!value) {
                return value.error();
            }
            consumer.values.push_back(*value);
            consumer.numbers.push_back(fenlowick::toDouble(*value).value_or(0.0));
        }
        for (const int c : factorColumns) {
            consumer.levels.emplace_back(trimBlanks(consumersCsv.cell(r, c)));
        }
        std::vector<std::string> levels;
        for (const int f : study.sharedFactors) {
            levels.push_back(consumer.levels[static_cast<std::size_t>(f)]);
        }
        const auto set = setOf.find(levels);
        if (set == setOf.end()) {
            const int f = study.sharedFactors.front();
            return fileError(consumersCsv.where(r, factorColumns[static_cast<std::size_t>(f)]) +
                             ": " + sourcesCsv.fileName() + " has no sources for " +
                             levelsText(sharedNames, levels));
        }
        consumer.sourceSet = set->second;
        study.consumers.push_back(std::move(consumer));
    }
    if (study.consumers.empty()) {
        return fileError(consumersCsv.fileName() + ": no consumer rows below the header");
    }
    return study;
}

} // namespace fenlowick
