#include "core/results/graphdata.h"
#include "core/results/recordreader.h"
#include "core/results/totalsgrid.h"
#include "fuzzcheck.h"
#include "fuzztargets.h"

#include <cmath>
#include <string_view>

namespace fenlowick::fuzz {

int fuzzResultReaders(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const GridLoad grid = readGridRecords(text, true);
    FUZZ_CHECK(grid.records.size() <= static_cast<std::size_t>(kMaxGridRecords));
    FUZZ_CHECK(!grid.needsMore);
    std::vector<std::string> column0;
    for (const GridRow& row : grid.records) {
        column0.push_back(row[0]);
    }
    const int lastRow = lastPrintRow(column0);
    FUZZ_CHECK(lastRow >= 0 && lastRow <= kGridRows - 1);

    // A prefix that ends mid-file either decides the same way or asks for more.
    const GridLoad partial = readGridRecords(text.substr(0, size / 2), false);
    FUZZ_CHECK(partial.needsMore || partial.records.size() <= grid.records.size());

    const GraphRead graph = readGraphData(text, true);
    if (graph.error == GraphReadError::None) {
        const GraphData& g = graph.data;
        FUZZ_CHECK(g.sourceCount() >= 1 && g.sourceCount() <= kMaxGraphSources);
        FUZZ_CHECK(g.rowCount() >= 1 && g.rowCount() <= kMaxGraphRows);
        FUZZ_CHECK(g.total > 0);
        FUZZ_CHECK(std::isfinite(g.scaleMax) && g.scaleMax >= 5);
        FUZZ_CHECK(g.divisions >= 1);
        FUZZ_CHECK(static_cast<int>(g.percent.size()) == g.sourceCount());
        for (const auto& column : g.percent) {
            FUZZ_CHECK(static_cast<int>(column.size()) == g.rowCount());
        }
    }
    return 0;
}

} // namespace fenlowick::fuzz
