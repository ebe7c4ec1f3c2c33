#include "core/tables/labelledtable.h"

#include "core/entry/checks.h"
#include "core/tables/isotopename.h"

#include <algorithm>

namespace fenlowick {

namespace {

Error fileError(std::string message) {
    return Error{Error::Kind::FileRead, std::move(message)};
}

} // namespace

std::string commaList(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) {
        out += (out.empty() ? "" : ", ") + item;
    }
    return out;
}

int LabelledTable::isotopeIndex(const std::string& key) const {
    const auto it = std::find(isotopeKeys.begin(), isotopeKeys.end(), key);
    return it == isotopeKeys.end() ? -1 : static_cast<int>(it - isotopeKeys.begin());
}

int LabelledTable::rowIndex(const std::string& label) const {
    const std::string folded = foldCase(label);
    for (std::size_t r = 0; r < labels.size(); ++r) {
        if (foldCase(labels[r]) == folded) {
            return static_cast<int>(r);
        }
    }
    return -1;
}

Expected<LabelledTable> readLabelledTable(const CsvTable& table,
                                          const std::vector<std::string>& labelNames,
                                          bool labelRequired, const IsotopeColumns& isotopes) {
    LabelledTable result;
    result.fileName = table.fileName();
    int labelColumn = -1;
    for (int c = 0; c < table.columnCount(); ++c) {
        const std::string name = foldCase(table.header(c));
        if (std::find(labelNames.begin(), labelNames.end(), name) != labelNames.end()) {
            if (labelColumn >= 0) {
                return fileError(table.whereHeader(c) + ": a second label column (the first is " +
                                 "column " + std::to_string(labelColumn + 1) + ")");
            }
            labelColumn = c;
            continue;
        }
        const std::string key = isotopeKey(table.header(c));
        const bool known =
            std::find(isotopes.known.begin(), isotopes.known.end(), key) != isotopes.known.end();
        if (!key.empty() && (known || (isotopes.recognise && looksLikeIsotope(table.header(c))))) {
            const int earlier = result.isotopeIndex(key);
            if (earlier >= 0) {
                return fileError(table.whereHeader(c) + ": the isotope " +
                                 result.isotopes[earlier] + " has a column already (column " +
                                 std::to_string(result.isotopeColumns[earlier] + 1) + ")");
            }
            result.isotopes.push_back(isotopeLabel(table.header(c)));
            result.isotopeKeys.push_back(key);
            result.isotopeColumns.push_back(c);
        } else {
            result.ignoredColumns.push_back(
                table.header(c).empty() ? "column " + std::to_string(c + 1) : table.header(c));
        }
    }
    std::vector<std::string> headers;
    for (int c = 0; c < table.columnCount(); ++c) {
        headers.push_back(table.header(c));
    }
    if (labelColumn < 0 && labelRequired) {
        return fileError(table.fileName() + ", line " + std::to_string(table.headerLine()) +
                         ": no \"" + labelNames.front() + "\" column naming the rows (the " +
                         "header names " + commaList(headers) + ")");
    }
    if (result.isotopes.empty()) {
        return fileError(table.fileName() + ", line " + std::to_string(table.headerLine()) +
                         ": no isotope column (the header names " + commaList(headers) +
                         "); isotope columns are named like d13C or δ15N");
    }
    result.hasLabels = labelColumn >= 0;
    result.labelColumn = labelColumn;

    for (int r = 0; r < table.rowCount(); ++r) {
        if (result.hasLabels) {
            const std::string& raw = table.cell(r, labelColumn);
            const std::string label(trimBlanks(raw));
            const std::string place = table.where(r, labelColumn);
            if (label.empty()) {
                return fileError(place + ": the label is missing");
            }
            if (label.find('"') != std::string::npos) {
                return fileError(place + ": the label " + label +
                                 " holds a double quote, which a data file cannot keep");
            }
            if (label.find_first_of("\r\n") != std::string::npos) {
                return fileError(place + ": the label holds a line break");
            }
            if (isMissingLabel(label)) {
                return fileError(place + ": the label begins with a control character, which " +
                                 "the runs would take for a missing label");
            }
            const int earlier = result.rowIndex(label);
            if (earlier >= 0) {
                return fileError(place + ": the label \"" + label + "\" appears twice (also on " +
                                 "line " + std::to_string(result.lines[earlier]) + ")");
            }
            if (label != raw) {
                result.warnings.push_back(place + ": blanks around the label \"" + label +
                                          "\" removed");
            }
            result.labels.push_back(label);
        } else {
            result.labels.emplace_back();
        }
        result.lines.push_back(table.lineOf(r));
        std::vector<std::string> values;
        for (int column : result.isotopeColumns) {
            Expected<std::string> value = table.numberText(r, column);
            if (!value) {
                return value.error();
            }
            values.push_back(std::move(*value));
        }
        result.values.push_back(std::move(values));
    }
    return result;
}

} // namespace fenlowick
