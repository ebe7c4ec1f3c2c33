#include "core/engine/planarhull.h"

#include "support/datatable.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace fenlowick {
namespace {

/// The point of a text "x,y".
LatticePoint pointOf(const std::string& text) {
    const std::size_t comma = text.find(',');
    return {std::stoll(text.substr(0, comma)), std::stoll(text.substr(comma + 1))};
}

TEST(PlanarHull, HullsAndWhereQueriesLieInThem) {
    for (const test::TableRow& row : test::readTable("engine/planarhull.tsv", 3, 5)) {
        SCOPED_TRACE(row.where);
        std::vector<LatticePoint> points;
        for (const std::string& word : test::split(row.fields[0], " ")) {
            points.push_back(pointOf(word));
        }
        std::vector<std::size_t> hull = convexHull(points);
        std::string written = row.fields[1].starts_with("sorted") ? "sorted" : "";
        if (!written.empty()) {
            std::sort(hull.begin(), hull.end());
        }
        for (const std::size_t index : hull) {
            written += (written.empty() ? "" : " ") + std::to_string(index);
        }
        EXPECT_EQ(written, row.fields[1]);
        for (const std::string& query : test::split(row.fields[2], " ")) {
            const std::size_t equals = query.find('=');
            EXPECT_EQ(test::nameOf(locateInHull(points, convexHull(points),
                                                pointOf(query.substr(0, equals)))),
                      query.substr(equals + 1));
        }
    }
    EXPECT_TRUE(convexHull({}).empty());
}

TEST(PlanarHull, LatticeScaleKeepsProductsWithinRange) {
    EXPECT_EQ(latticeScale(35.2), 1e6);
    EXPECT_EQ(latticeScale(1000.0), 1e6);
    EXPECT_EQ(latticeScale(1500.0), 1e5);
    EXPECT_EQ(latticeScale(2e7), 10.0);
    EXPECT_EQ(toLattice(-21.35, 1e6), -21350000);
    EXPECT_EQ(toLattice(0.000001, 1e6), 1);
}

} // namespace
} // namespace fenlowick
