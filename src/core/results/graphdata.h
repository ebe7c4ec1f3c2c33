#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fenlowick {

/// Limits of the histogram table the graph window reads.
inline constexpr int kMaxGraphSources = 10;
inline constexpr int kMaxGraphRows = 102;
/// Records searched for the kHistogramTitle record before the kLevelTitle record is expected.
inline constexpr int kGraphHeaderRecords = 21;

/// The histogram table of a totals file, ready to chart.
struct GraphData {
    /// `GraphSourceNames`: one label per source, in file order.
    std::vector<std::string> sourceNames;
    /// `GraphLevelLabels`: one label per chart row (proportion level), in file order.
    std::vector<std::string> levelLabels;
    /// `GraphPercent`: percent[j][r] is the percentage of all feasible solutions in which
    /// source j falls in row r.
    std::vector<std::vector<float>> percent;
    /// The number of feasible solutions (the sum of the first source's counts).
    double total = 0;
    /// `GraphScaleMax`: the value axis maximum, the same for every source of the file.
    double scaleMax = 0;
    /// Major divisions of the value axis, one per 5 %.
    int divisions = 0;

    int sourceCount() const { return static_cast<int>(sourceNames.size()); }
    int rowCount() const { return static_cast<int>(levelLabels.size()); }
};

enum class GraphReadError {
    None,
    /// No kLevelTitle record where the histogram table should begin.
    WrongType,
    /// The file is missing or unreadable, ends inside a record, has more than 10 source
    /// labels or more than 102 rows, holds a count that is not a number, or has no feasible
    /// solution.
    Access,
};

struct GraphRead {
    GraphData data;
    GraphReadError error = GraphReadError::None;
    /// Set by readGraphData when the answer depends on text beyond an incomplete prefix.
    bool needsMore = false;
};

/// True for a text that sorts after a single blank in character-code order: neither empty
/// nor a lone blank. This decides which labels count as sources and where the table ends.
bool sortsAfterBlank(std::string_view text);

/// Reads the histogram table from a totals file's text (or from the beginning of it,
/// `complete` false) and scales it. The statistics after the table are never read.
GraphRead readGraphData(std::string_view text, bool complete);

/// Reads and scales the histogram table of a file.
GraphRead loadGraphFile(const std::string& path);

/// `GraphScaleMax` from the largest count of any source at any level and the number of
/// feasible solutions: the largest percentage rounded half up to a whole number, lowered to
/// a multiple of 5, plus 5. 25 of 200 (12.5 %) gives 15; 25 % gives 30; 100 % gives 105.
double graphScaleMax(double largestCount, double total);

/// Major divisions of a value axis from 0 to `scaleMax`: one per 5 %.
int majorDivisions(double scaleMax);

} // namespace fenlowick
