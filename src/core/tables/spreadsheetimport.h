#pragma once

#include "core/base/csvtable.h"
#include "core/base/expected.h"
#include "core/entry/entry.h"

#include <string>
#include <vector>

namespace fenlowick {

/// What `import` is asked to build: sources (and mixtures) from spreadsheet tables, with
/// trophic enrichment corrections added to the sources' signatures.
struct ImportRequest {
    const CsvTable* sources = nullptr;  ///< a "source" column and one column per isotope
    const CsvTable* mixtures = nullptr; ///< optional: a "mixture" column and the isotopes
    /// Headers naming the isotope columns of the sources table; empty: every column that
    /// looks like a delta value (d13C, δ15N).
    std::vector<std::string> isotopeNames;
    /// Corrections, either one per isotope in the sources' column order (number texts)...
    std::vector<std::string> correctionValues;
    /// ...or a table of them: isotope columns, and a "source" column for corrections per
    /// source (every source needs a row) or a single row for all sources.
    const CsvTable* corrections = nullptr;
    std::string increment;
    std::string tolerance;
    /// The title's beginning; empty: the mixture's label (or the sources file's name).
    std::string title;
};

/// One entry built by an import, for one mixture row (or none).
struct ImportedEntry {
    std::string mixtureLabel; ///< empty when no mixtures were given
    int line = 0;             ///< the mixture's line in its file
    Entry entry;
};

struct ImportResult {
    std::vector<ImportedEntry> entries;
    /// What was ignored or changed on the way in, one sentence each.
    std::vector<std::string> notes;
};

/// Builds one entry per mixture row (one entry without mixture when none are given):
/// title, increment and tolerance; the isotope labels of the sources table; the sources
/// with their signatures, corrections added exactly (-30.2 + 1.63 gives -28.57); the
/// mixture. A title records that corrections were applied.
///
/// Refused with Error::Kind::FileRead, naming file, line and column, for anything wrong in
/// a table: see readLabelledTable, and more than 10 sources or 5 isotopes, an isotope
/// missing from one of the tables, a correction row for an unknown source or a source
/// without one. Refused with Error::Kind::Refused when the entry would be refused by the
/// run's checks (the program's message, with the reason when the decimal places of the
/// corrected signatures exceed 6) or the corrections do not match the isotopes.
Expected<ImportResult> importEntries(const ImportRequest& request);

/// Corrections typed as a list, "1.63,3.54", or divided by semicolons, where decimal
/// commas are allowed ("1,63;3,54"); refused when an item is not a number.
Expected<std::vector<std::string>> parseCorrectionList(std::string_view text);

} // namespace fenlowick
