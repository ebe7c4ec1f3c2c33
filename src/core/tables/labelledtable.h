#pragma once

#include "core/base/csvtable.h"
#include "core/base/expected.h"

#include <string>
#include <vector>

namespace fenlowick {

/// Which columns of a CSV table hold isotope values.
struct IsotopeColumns {
    /// Isotope keys (isotopeKey) that are isotope columns whatever their look.
    std::vector<std::string> known;
    /// Also take every column whose header looks like a delta value (d13C, δ15N).
    bool recognise = true;
};

/// A CSV table read as labelled rows of isotope values: sources, mixtures or corrections.
struct LabelledTable {
    std::string fileName;
    bool hasLabels = false;
    int labelColumn = -1; ///< the column of the labels in the CSV table, or -1
    /// Isotope labels as the header writes them ("Mean" dropped), their keys and columns,
    /// in file order.
    std::vector<std::string> isotopes;
    std::vector<std::string> isotopeKeys;
    std::vector<int> isotopeColumns;
    /// Per row: its label (blanks at either end removed), its line, its values as number
    /// texts (decimal commas read as points), one per isotope.
    std::vector<std::string> labels;
    std::vector<int> lines;
    std::vector<std::vector<std::string>> values;
    /// Headers of the columns that are neither the label nor an isotope.
    std::vector<std::string> ignoredColumns;
    /// Things changed on the way in (a label's blanks removed), one sentence each.
    std::vector<std::string> warnings;

    /// The index of an isotope key, or -1.
    int isotopeIndex(const std::string& key) const;
    /// The index of a row by its label, ignoring case, or -1.
    int rowIndex(const std::string& label) const;
};

/// Items in a sentence: "d13C, d15N, d34S".
std::string commaList(const std::vector<std::string>& items);

/// Reads the label column (the first header among `labelNames`, ignoring case) and the
/// isotope columns of a table. Refused, naming file, line and column: a missing label
/// column when `labelRequired`, two label columns, an isotope named twice, a table
/// without isotope columns, a missing or doubled label, a label holding a double quote or
/// a line break (a data file cannot keep it), a value that is missing or not a number.
Expected<LabelledTable> readLabelledTable(const CsvTable& table,
                                          const std::vector<std::string>& labelNames,
                                          bool labelRequired, const IsotopeColumns& isotopes);

} // namespace fenlowick
