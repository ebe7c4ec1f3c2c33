#pragma once

#include "core/base/expected.h"
#include "core/results/totalsstatistics.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fenlowick {

/// What a totals (".tot") file holds, read back: the entry's title, increment and
/// tolerance as written, the histogram table and the statistics as numbers.
struct TotalsFile {
    std::string title;
    std::string increment; ///< as written, with its "%"
    std::string tolerance;
    std::vector<std::string> isotopes;
    std::vector<std::string> sources;
    /// The histogram table: per level its share and the count of every source.
    std::vector<double> levels;
    std::vector<std::vector<std::uint64_t>> counts;
    std::uint64_t observations = 0;
    /// Per source, the figures of the statistics blocks; all empty without observations.
    std::vector<SourceFigures> figures;
};

/// Reads the text of a totals file record by record (RecordReader). Refused, saying why, when
/// the text is not a totals file (another of the program's files, a missing part, a figure
/// that is not a number).
Expected<TotalsFile> parseTotalsFile(std::string_view text);

/// Reads a totals file from disk; the message names the file.
Expected<TotalsFile> readTotalsFile(const std::string& path);

} // namespace fenlowick
