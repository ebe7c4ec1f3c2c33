#include "core/analysis/combinedtotals.h"

#include "core/base/fieldreader.h"
#include "core/base/numberformat.h"
#include "core/base/numerictext.h"
#include "core/base/safefilename.h"
#include "core/base/textencoding.h"
#include "core/entry/calculationinput.h"
#include "core/entry/checks.h"
#include "core/results/resultfiles.h"
#include "core/results/resultformat.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

namespace fenlowick {

namespace {

Error notFeasibleOutput(int line, const std::string& what) {
    return Error{Error::Kind::FileRead, "This is not a feasible-output (.out) file of Fenlowick: "
                                        "line " +
                                            std::to_string(line) + " " + what + "."};
}

Error refused(std::string message) {
    return Error{Error::Kind::Refused, std::move(message)};
}

/// The fields of one line, trailing empty text fields (the padding) removed.
std::vector<Field> fieldsOf(const std::string& line) {
    FieldReader reader(line);
    std::vector<Field> fields;
    while (auto field = reader.next()) {
        fields.push_back(std::move(*field));
    }
    while (!fields.empty() && fields.back().quoted && fields.back().text.empty()) {
        fields.pop_back();
    }
    return fields;
}

/// A share field as written by the search (0, .05, .5, 1) in hundredths, or nothing.
std::optional<int> hundredthsOf(std::string_view text) {
    if (text.empty() || text.size() > 4) {
        return std::nullopt;
    }
    int whole = 0;
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        whole = whole * 10 + (text[pos] - '0');
        ++pos;
    }
    int fraction = 0;
    if (pos < text.size()) {
        if (text[pos] != '.' || pos + 1 == text.size() || text.size() - pos > 3) {
            return std::nullopt;
        }
        for (std::size_t d = pos + 1; d < pos + 3; ++d) {
            const char c = d < text.size() ? text[d] : '0';
            if (c < '0' || c > '9') {
                return std::nullopt;
            }
            fraction = fraction * 10 + (c - '0');
        }
    } else if (pos == 0) {
        return std::nullopt;
    }
    const int value = whole * 100 + fraction;
    return value <= 100 ? std::optional<int>(value) : std::nullopt;
}

int hundredthsOfShare(float percent) {
    return static_cast<int>(std::lround(static_cast<double>(shareFraction(percent)) * 100.0));
}

/// The header of a feasible-output file, as far as combining needs it.
struct RunHeader {
    Entry entry;
    int sources = 0;
    int isotopes = 0;
};

/// The longest line read: a header record of 12 fields of the longest texts the run takes,
/// with room to spare. A longer one (or an endless stream such as /dev/zero) is no
/// feasible-output file, and is refused without being held in memory.
constexpr std::size_t kMaxLineBytes = 64 * 1024;

class LineSource {
public:
    explicit LineSource(std::istream& in) : m_in(in), m_buffer(kMaxLineBytes + 1) {}

    /// The next line without its line end; false at the end of the text or, with tooLong()
    /// set, at a line longer than kMaxLineBytes.
    bool next(std::string& line) {
        m_in.getline(m_buffer.data(), static_cast<std::streamsize>(m_buffer.size()));
        const auto count = static_cast<std::size_t>(m_in.gcount());
        if (m_in.fail() && count == m_buffer.size() - 1) {
            m_tooLong = true;
            ++m_line;
            return false;
        }
        if (count == 0 && !m_in) {
            m_ended = true;
            return false;
        }
        // gcount includes the line end taken out, except on the last line without one.
        line.assign(m_buffer.data(), m_in.eof() ? count : count - 1);
        m_in.clear(m_in.rdstate() & std::ios::eofbit);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        ++m_line;
        return true;
    }
    int line() const { return m_line; }
    bool ended() const { return m_ended; }
    bool tooLong() const { return m_tooLong; }

private:
    std::istream& m_in;
    std::vector<char> m_buffer;
    int m_line = 0;
    bool m_ended = false;
    bool m_tooLong = false;
};

/// Reads the header of a feasible-output file record by record.
class HeaderReader {
public:
    explicit HeaderReader(LineSource& lines) : m_lines(lines) {}

    Expected<RunHeader> read() {
        if (Status s = titles(); !s) {
            return s.error();
        }
        if (Status s = sourceRows(); !s) {
            return s.error();
        }
        if (Status s = feasibleHeading(); !s) {
            return s.error();
        }
        return std::move(m_header);
    }

private:
    std::optional<std::vector<Field>> expectRecord(std::string_view first) {
        if (!m_lines.next(m_line)) {
            return std::nullopt;
        }
        std::vector<Field> fields = fieldsOf(m_line);
        if (fields.empty() || fields[0].text != first) {
            return std::nullopt;
        }
        return fields;
    }

    Error missing(std::string_view first) const {
        if (m_lines.ended()) {
            return notFeasibleOutput(m_lines.line() + 1, "is missing (it should begin with \"" +
                                                             std::string(first) + "\")");
        }
        return notFeasibleOutput(m_lines.line(),
                                 "does not begin with \"" + std::string(first) + "\"");
    }

    /// The records from the date to the sources' heading.
    Status titles() {
        Entry& entry = m_header.entry;
        if (!expectRecord(kDateTitle)) {
            return missing(kDateTitle);
        }
        auto title = expectRecord(kTitleTitle);
        if (!title) {
            return missing(kTitleTitle);
        }
        entry.title = title->size() > 1 ? (*title)[1].text : std::string();
        auto increment = expectRecord(kIncrementTitle);
        if (!increment || increment->size() < 2 || (*increment)[1].text.empty() ||
            (*increment)[1].text.back() != '%') {
            return missing(kIncrementTitle);
        }
        entry.increment = (*increment)[1].text.substr(0, (*increment)[1].text.size() - 1);
        const std::optional<float> step = toFloat(entry.increment);
        if (!step || !(*step >= 1.0f && *step <= 100.0f)) {
            return notFeasibleOutput(m_lines.line(), "has an increment outside 1 to 100");
        }
        auto tolerance = expectRecord(kToleranceTitle);
        if (!tolerance) {
            return missing(kToleranceTitle);
        }
        entry.threshold = tolerance->size() > 1 ? (*tolerance)[1].text : std::string();
        m_isotopes = expectRecord(kIsotopesTitle);
        if (!m_isotopes) {
            return missing(kIsotopesTitle);
        }
        m_mixtures = expectRecord(kMixturesTitle);
        if (!m_mixtures) {
            return missing(kMixturesTitle);
        }
        if (!expectRecord(kSourcesTitle)) {
            return missing(kSourcesTitle);
        }
        return ok();
    }

    /// Source rows up to the row of asterisks, which also tells the number of isotopes.
    Status sourceRows() {
        std::vector<std::vector<Field>> rows;
        while (true) {
            if (!m_lines.next(m_line)) {
                return notFeasibleOutput(m_lines.line(), "ends before the row of asterisks");
            }
            std::vector<Field> fields = fieldsOf(m_line);
            if (fields.size() >= 2 && fields[0].text.empty() && fields[1].text == kAsteriskField) {
                m_header.isotopes = static_cast<int>(fields.size()) - 1;
                break;
            }
            if (rows.size() == static_cast<std::size_t>(kSourceRows)) {
                return notFeasibleOutput(m_lines.line(), "is an eleventh source row");
            }
            rows.push_back(std::move(fields));
        }
        m_header.sources = static_cast<int>(rows.size());
        if (m_header.sources < 3 || m_header.isotopes > kIsotopeColumns) {
            return notFeasibleOutput(m_lines.line(), "closes a header of " +
                                                         std::to_string(m_header.sources) +
                                                         " sources; a run has 3 to 10");
        }
        Entry& entry = m_header.entry;
        for (int k = 0; k < m_header.isotopes; ++k) {
            const std::size_t field = static_cast<std::size_t>(k) + 1;
            entry.isotope[k] = field < m_isotopes->size() ? (*m_isotopes)[field].text : "";
            entry.mixture[k] = field < m_mixtures->size() ? (*m_mixtures)[field].text : "";
        }
        for (int i = 0; i < m_header.sources; ++i) {
            const std::vector<Field>& row = rows[static_cast<std::size_t>(i)];
            entry.sources[i] = row.empty() ? std::string() : row[0].text;
            for (int k = 0; k < m_header.isotopes; ++k) {
                const std::size_t field = static_cast<std::size_t>(k) + 1;
                entry.col[k][i] = field < row.size() ? row[field].text : std::string();
            }
        }
        return ok();
    }

    /// The heading of the feasible solutions: its title, the source labels again and a rule.
    Status feasibleHeading() {
        if (!expectRecord(kFeasibleTitle)) {
            return missing(kFeasibleTitle);
        }
        if (!m_lines.next(m_line)) {
            return notFeasibleOutput(m_lines.line(), "is missing (the source labels)");
        }
        std::vector<Field> labels = fieldsOf(m_line);
        labels.resize(std::max(labels.size(), static_cast<std::size_t>(m_header.sources)));
        for (int i = 0; i < m_header.sources; ++i) {
            if (labels[static_cast<std::size_t>(i)].text != m_header.entry.sources[i]) {
                return notFeasibleOutput(m_lines.line(), "does not repeat the source labels");
            }
        }
        if (!m_lines.next(m_line) || fieldsOf(m_line).empty() ||
            fieldsOf(m_line)[0].text != kRuleField) {
            return notFeasibleOutput(m_lines.line(), "is not the rule under the source labels");
        }
        return ok();
    }

    LineSource& m_lines;
    std::string m_line;
    RunHeader m_header;
    std::optional<std::vector<Field>> m_isotopes;
    std::optional<std::vector<Field>> m_mixtures;
};

Expected<RunHeader> readHeader(LineSource& lines) {
    return HeaderReader(lines).read();
}

/// Where each source of the run goes: the index of its combined source. Fills the combined
/// sources' names and, for each, the run's source whose signatures it shows (-1: none).
Expected<std::vector<int>> assignSources(const RunHeader& header,
                                         const std::vector<SourceGroup>& groups,
                                         std::vector<std::string>& combinedNames,
                                         std::vector<int>& combinedFirstSource) {
    const Entry& entry = header.entry;
    std::map<std::string, int> byName;
    for (int i = 0; i < header.sources; ++i) {
        if (!byName.emplace(entry.sources[i], i).second) {
            bool named = false;
            for (const SourceGroup& group : groups) {
                named = named || std::find(group.members.begin(), group.members.end(),
                                           entry.sources[i]) != group.members.end();
            }
            if (named) {
                return refused("Two sources of the run are called \"" + entry.sources[i] +
                               "\"; a group cannot tell them apart.");
            }
        }
    }
    std::vector<int> groupOf(static_cast<std::size_t>(header.sources), -1);
    for (std::size_t g = 0; g < groups.size(); ++g) {
        for (std::size_t h = 0; h < g; ++h) {
            if (groups[h].name == groups[g].name) {
                return refused("Two groups are called \"" + groups[g].name + "\".");
            }
        }
        for (const std::string& member : groups[g].members) {
            const auto found = byName.find(member);
            if (found == byName.end()) {
                std::string known;
                for (int i = 0; i < header.sources; ++i) {
                    known += (i == 0 ? "\"" : ", \"") + entry.sources[i] + "\"";
                }
                return refused("There is no source called \"" + member +
                               "\" in the run; its sources are " + known + ".");
            }
            int& current = groupOf[static_cast<std::size_t>(found->second)];
            if (current >= 0) {
                return refused("The source \"" + member + "\" is in two groups, \"" +
                               groups[static_cast<std::size_t>(current)].name + "\" and \"" +
                               groups[g].name + "\"." +
                               (current == static_cast<int>(g) ? " (It is named twice.)" : ""));
            }
            current = static_cast<int>(g);
        }
    }
    // A group may take the name of one of its own members, not of a source left alone.
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const auto found = byName.find(groups[g].name);
        if (found != byName.end() && groupOf[static_cast<std::size_t>(found->second)] != int(g)) {
            return refused("The group name \"" + groups[g].name +
                           "\" is already the name of a source outside that group.");
        }
    }

    std::vector<int> target(static_cast<std::size_t>(header.sources), -1);
    std::vector<int> groupTarget(groups.size(), -1);
    for (int i = 0; i < header.sources; ++i) {
        const int g = groupOf[static_cast<std::size_t>(i)];
        if (g < 0) {
            target[static_cast<std::size_t>(i)] = static_cast<int>(combinedNames.size());
            combinedNames.push_back(entry.sources[i]);
            combinedFirstSource.push_back(i);
        } else if (groupTarget[static_cast<std::size_t>(g)] < 0) {
            groupTarget[static_cast<std::size_t>(g)] = static_cast<int>(combinedNames.size());
            target[static_cast<std::size_t>(i)] = groupTarget[static_cast<std::size_t>(g)];
            combinedNames.push_back(groups[static_cast<std::size_t>(g)].name);
            // A group of one source is that source renamed: it keeps its signatures.
            combinedFirstSource.push_back(
                groups[static_cast<std::size_t>(g)].members.size() == 1 ? i : -1);
        } else {
            target[static_cast<std::size_t>(i)] = groupTarget[static_cast<std::size_t>(g)];
        }
    }
    return target;
}

std::string groupsText(const std::vector<SourceGroup>& groups) {
    std::string text;
    for (const SourceGroup& group : groups) {
        text += (text.empty() ? "" : "; ") + group.name + " =";
        for (std::size_t m = 0; m < group.members.size(); ++m) {
            text += (m == 0 ? " " : " + ") + group.members[m];
        }
    }
    return text;
}

} // namespace

Expected<SourceGroup> parseSourceGroup(std::string_view text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
        return refused("A group is written NAME=SOURCE,SOURCE,...; \"" + std::string(text) +
                       "\" has no \"=\".");
    }
    SourceGroup group;
    group.name = std::string(text.substr(0, equals));
    if (isMissingLabel(group.name) || group.name.find('"') != std::string::npos) {
        return refused("The group \"" + std::string(text) +
                       "\" needs a name before the \"=\" (without double quotes).");
    }
    // The name becomes a source label of the totals file, which must be able to keep it.
    if (hasControlCharacter(group.name) || group.name.size() > kMaxResultText) {
        return refused("The name of the group \"" + cutToBytes(std::string(text), 80) +
                       "\" holds a line break or another control character, or is longer "
                       "than " +
                       std::to_string(kMaxResultText) + " bytes: the totals file cannot keep it.");
    }
    std::string_view rest = text.substr(equals + 1);
    while (true) {
        std::string member;
        if (!rest.empty() && rest.front() == '"') {
            const std::size_t close = rest.find('"', 1);
            if (close == std::string_view::npos) {
                return refused("The group \"" + std::string(text) + "\" has an unclosed quote.");
            }
            member = std::string(rest.substr(1, close - 1));
            rest.remove_prefix(close + 1);
            if (!rest.empty() && rest.front() != ',') {
                return refused("In the group \"" + std::string(text) +
                               "\" a quoted source must be followed by a comma or the end.");
            }
        } else {
            const std::size_t comma = rest.find(',');
            member = std::string(rest.substr(0, comma));
            rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma);
        }
        if (member.empty()) {
            return refused("The group \"" + std::string(text) + "\" names an empty source.");
        }
        group.members.push_back(std::move(member));
        if (rest.empty()) {
            break;
        }
        rest.remove_prefix(1); // the comma
    }
    return group;
}

Expected<CombinedTotals> combineFeasibleOutput(std::istream& in,
                                               const std::vector<SourceGroup>& groups,
                                               const DateTimeTexts& now) {
    LineSource lines(in);
    const auto tooLong = [&lines] {
        return notFeasibleOutput(lines.line(), "is longer than " +
                                                   std::to_string(kMaxLineBytes / 1024) +
                                                   " KiB, longer than any line of such a file");
    };
    Expected<RunHeader> header = readHeader(lines);
    if (!header) {
        return lines.tooLong() ? tooLong() : header.error();
    }
    const int sources = header->sources;
    std::vector<std::string> names;
    std::vector<int> firstSource;
    Expected<std::vector<int>> target = assignSources(*header, groups, names, firstSource);
    if (!target) {
        return target.error();
    }

    // The shares the search's loops visit, and which of them a record's field can be.
    const float increment = *toFloat(header->entry.increment);
    std::vector<float> shareValues;
    for (float share = 0.0f; share <= 100.0f; share += increment) {
        shareValues.push_back(share);
    }
    std::vector<int> indexOfHundredths(101, -1);
    for (std::size_t i = 0; i < shareValues.size(); ++i) {
        indexOfHundredths[static_cast<std::size_t>(hundredthsOfShare(shareValues[i]))] =
            static_cast<int>(i);
    }
    const auto levelOf = [&](float share) {
        return static_cast<std::size_t>(std::floor(share / increment));
    };

    ShareHistograms histograms{};
    std::uint64_t observations = 0;
    std::string line;
    std::vector<std::size_t> combinedLevel(names.size());
    while (lines.next(line)) {
        if (line.empty()) {
            return notFeasibleOutput(lines.line(), "is empty, which no record of shares is");
        }
        const std::vector<Field> fields = fieldsOf(line);
        if (fields.size() != static_cast<std::size_t>(sources)) {
            return notFeasibleOutput(lines.line(), "does not hold one share per source");
        }
        // Rebuild the search's shares: the looped ones from the sequence, the last one as
        // what the loops left, then check it against the record.
        std::fill(combinedLevel.begin(), combinedLevel.end(), 0);
        float budget = 100.0f;
        for (int j = 0; j < sources; ++j) {
            const Field& field = fields[static_cast<std::size_t>(j)];
            const std::optional<int> hundredths =
                field.quoted ? std::nullopt : hundredthsOf(field.text);
            if (!hundredths) {
                return notFeasibleOutput(lines.line(),
                                         "holds \"" + field.text + "\" where a share was expected");
            }
            float share = budget;
            if (j < sources - 1) {
                const int index = indexOfHundredths[static_cast<std::size_t>(*hundredths)];
                if (index < 0 || shareValues[static_cast<std::size_t>(index)] > budget) {
                    return notFeasibleOutput(lines.line(),
                                             "holds a share the increment cannot give");
                }
                share = shareValues[static_cast<std::size_t>(index)];
                budget = budget - share;
            } else if (hundredthsOfShare(share) != *hundredths) {
                return notFeasibleOutput(lines.line(), "holds shares that do not add up to 1");
            }
            combinedLevel[static_cast<std::size_t>((*target)[static_cast<std::size_t>(j)])] +=
                levelOf(share);
        }
        for (std::size_t c = 0; c < names.size(); ++c) {
            ++histograms[c][std::min(combinedLevel[c], std::size_t{kHistogramLevels - 1})];
        }
        ++observations;
    }
    if (lines.tooLong()) {
        return tooLong();
    }
    if (in.bad()) {
        return Error{Error::Kind::FileRead, "The feasible-output file could not be read."};
    }

    // The run's header with the combined sources in place of the run's.
    Entry combined = header->entry;
    combined.title += " [combined: " + groupsText(groups) + "]";
    for (int i = 0; i < kSourceRows; ++i) {
        combined.sources[i].clear();
        for (int k = 0; k < kIsotopeColumns; ++k) {
            combined.col[k][i].clear();
        }
    }
    for (std::size_t c = 0; c < names.size(); ++c) {
        const int row = static_cast<int>(c);
        combined.sources[row] = names[c];
        if (firstSource[c] >= 0) {
            for (int k = 0; k < header->isotopes; ++k) {
                combined.col[k][row] = header->entry.col[k][firstSource[c]];
            }
        }
    }
    CalculationInput input;
    input.lastSource = static_cast<std::int16_t>(names.size() - 1);
    input.lastIsotope = static_cast<std::int16_t>(header->isotopes - 1);
    input.incrementPercent = increment;

    CombinedTotals result;
    result.text = composeTotals(combined, input, histograms, now).text;
    result.observations = observations;
    result.sources = std::move(names);
    return result;
}

} // namespace fenlowick
