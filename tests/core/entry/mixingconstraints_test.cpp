#include "core/entry/mixingconstraints.h"

#include "support/datatable.h"
#include "support/testsupport.h"

#include <gmock/gmock.h>

#include <functional>
#include <random>

namespace fenlowick {
namespace {

const std::vector<std::string> kLabels{"Small fish", "Seals ", "C3+C4 plants", "Kelp"};

TEST(ShareLimits, ReadsEveryFormAgainstTheSourceLabelsOrSaysWhatIsWrong) {
    const auto end = [](const std::string& text) {
        return text == "-" ? std::nullopt : std::optional<double>(std::stod(text));
    };
    for (const test::TableRow& row : test::readTable("entry-checks/sharelimits.tsv", 4, 17)) {
        SCOPED_TRACE(row.where);
        const auto limit = parseShareLimit(row.fields[0], kLabels);
        if (row.fields[1] == "refused") {
            ASSERT_FALSE(limit);
            EXPECT_THAT(limit.error().message, testing::HasSubstr(row.fields[2]));
            continue;
        }
        ASSERT_TRUE(limit) << limit.error().message;
        std::string sources;
        for (const int source : limit->sources) {
            sources += (sources.empty() ? "" : " ") + std::to_string(source);
        }
        EXPECT_EQ(sources, row.fields[1]);
        EXPECT_EQ(limit->atLeast, end(row.fields[2]));
        EXPECT_EQ(limit->atMost, end(row.fields[3]));
    }
}

/// Whether some combination of `sources` shares in steps of `increment` meets every limit,
/// by going through all of them.
bool reachableByEnumeration(const std::vector<ShareLimit>& limits, int sources, int increment) {
    const int steps = 100 / increment;
    std::vector<int> counts(static_cast<std::size_t>(sources), 0);
    std::function<bool(int, int)> assign = [&](int source, int left) {
        if (source == sources - 1) {
            counts.back() = left;
            for (const auto& limit : limits) {
                int sum = 0;
                for (int i : limit.sources) {
                    sum += counts[static_cast<std::size_t>(i)] * increment;
                }
                if ((limit.atLeast && sum < *limit.atLeast) ||
                    (limit.atMost && sum > *limit.atMost)) {
                    return false;
                }
            }
            return true;
        }
        for (int n = 0; n <= left; ++n) {
            counts[static_cast<std::size_t>(source)] = n;
            if (assign(source + 1, left - n)) {
                return true;
            }
        }
        return false;
    };
    return assign(0, steps);
}

TEST(ShareLimits, UnreachableLimitsAreRefusedExactlyWhenNoGridPointMeetsThem) {
    const std::vector<std::string> ten = test::split("S1 S2 S3 S4 S5 S6 S7 S8 S9 S10", " ");
    for (const test::TableRow& row : test::readTable("entry-checks/unreachablelimits.tsv", 5, 7)) {
        std::vector<ShareLimit> limits;
        for (const std::string& limit : test::split(row.fields[1], " ; ")) {
            limits.push_back(*parseShareLimit(limit, row.fields[0] == "ten" ? ten : kLabels));
        }
        EXPECT_EQ(
            unreachableLimitsMessage(limits, std::stoi(row.fields[2]), std::stof(row.fields[3]))
                .value_or("reachable"),
            row.fields[4])
            << row.where;
    }

    // Random limits on small grids against going through every combination.
    std::mt19937 random(7);
    for (int round = 0; round < 1500; ++round) {
        const int sources = 3 + static_cast<int>(random() % 3);
        const int increment = round % 2 == 0 ? 10 : 25;
        std::vector<ShareLimit> limits(1 + random() % 5);
        for (auto& limit : limits) {
            for (int i = 0; i < sources; ++i) {
                if (random() % 2 == 0 || (i == sources - 1 && limit.sources.empty())) {
                    limit.sources.push_back(i);
                }
            }
            const double low = static_cast<double>(random() % 101);
            const double high = low + static_cast<double>(random() % (101 - static_cast<int>(low)));
            if (random() % 3 != 0) {
                limit.atLeast = low;
            }
            if (random() % 3 != 0) {
                limit.atMost = high;
            }
        }
        EXPECT_EQ(!unreachableLimitsMessage(limits, sources, static_cast<float>(increment)),
                  reachableByEnumeration(limits, sources, increment))
            << "round " << round;
    }
}

} // namespace
} // namespace fenlowick
