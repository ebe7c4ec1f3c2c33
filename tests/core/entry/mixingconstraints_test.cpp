#include "core/entry/mixingconstraints.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <tuple>

namespace fenlowick {
namespace {

const std::vector<std::string> kLabels{"Small fish", "Seals ", "C3+C4 plants", "Kelp"};

TEST(ShareLimits, ReadsEveryFormAgainstTheSourceLabels) {
    using Ends = std::pair<std::optional<double>, std::optional<double>>;
    for (const auto& [text, sources, ends] : {
             std::tuple{"Small fish=10-40", std::vector{0}, Ends{10.0, 40.0}},
             std::tuple{" Small fish = 10 - ", std::vector{0}, Ends{10.0, std::nullopt}},
             std::tuple{"Seals=-40%", std::vector{1}, Ends{std::nullopt, 40.0}},
             std::tuple{"Kelp=25", std::vector{3}, Ends{25.0, 25.0}},
             std::tuple{"Kelp+Small fish>=50", std::vector{0, 3}, Ends{50.0, std::nullopt}},
             std::tuple{"C3+C4 plants<=12.5", std::vector{2}, Ends{std::nullopt, 12.5}},
             std::tuple{"Seals+C3+C4 plants=0-100", std::vector{1, 2}, Ends{0.0, 100.0}},
         }) {
        const auto limit = parseShareLimit(text, kLabels);
        ASSERT_TRUE(limit) << text << ": " << limit.error().message;
        EXPECT_EQ(limit->sources, sources) << text;
        EXPECT_EQ(limit->atLeast, ends.first) << text;
        EXPECT_EQ(limit->atMost, ends.second) << text;
    }
}

TEST(ShareLimits, RefusesWithAMessageSayingWhatIsWrong) {
    const std::string form = "is not of the form Source=10-40";
    for (const auto& [text, says] : {
             std::tuple{"Small fish", form},
             std::tuple{"=10-40", form},
             std::tuple{"Kelp=ten", form},
             std::tuple{"Kelp=-", form},
             std::tuple{"Kelp>=1e2", form},
             std::tuple{"Kelp>=-5", form},
             std::tuple{"Whales=10-40", std::string("names \"Whales\", which is not a source")},
             std::tuple{"Kelp+Kelp>=5", std::string("names \"Kelp\" twice")},
             std::tuple{"Kelp<=140", std::string("has an end outside 0 to 100 percent")},
             std::tuple{"Kelp=40-10", std::string("has its low end above its high end")},
         }) {
        const auto limit = parseShareLimit(text, kLabels);
        ASSERT_FALSE(limit) << text;
        EXPECT_NE(limit.error().message.find(says), std::string::npos)
            << text << ": " << limit.error().message;
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
    EXPECT_EQ(unreachableLimitsMessage({}, 3, 1.0f), std::nullopt);
    const auto one = parseShareLimit("Kelp=41-49", kLabels);
    EXPECT_EQ(unreachableLimitsMessage({*one}, 4, 10.0f),
              "The limit \"Kelp=41-49\" cannot be met by shares in steps of 10 percent.");
    const auto a = parseShareLimit("Small fish+Seals>=60", kLabels);
    const auto b = parseShareLimit("Seals+Kelp>=60", kLabels);
    const auto c = parseShareLimit("Small fish+Kelp>=60", kLabels);
    const auto d = parseShareLimit("C3+C4 plants>=20", kLabels);
    EXPECT_EQ(unreachableLimitsMessage({*a, *b, *c}, 4, 1.0f), std::nullopt);
    EXPECT_EQ(*unreachableLimitsMessage({*a, *b, *c, *d}, 4, 1.0f),
              "The limits cannot all be met at once: no combination of shares in steps of 1 "
              "percent meets every one of them.");

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

// Ten sources at 1 %, eight capped, two with a floor and a sum of four overlapping the caps:
// the check once ran for minutes and took gigabytes; the floors outside the sum decide it.
TEST(ShareLimits, OverlappingLimitsOnTenSourcesAreDecidedWithoutSearchingEveryState) {
    std::vector<std::string> labels;
    for (int i = 1; i <= 10; ++i) {
        labels.push_back("S" + std::to_string(i));
    }
    auto limitsWithSum = [&](const std::string& sum) {
        std::vector<ShareLimit> limits;
        for (int i = 1; i <= 8; ++i) {
            limits.push_back(*parseShareLimit("S" + std::to_string(i) + "<=40", labels));
        }
        limits.push_back(*parseShareLimit("S9>=30", labels));
        limits.push_back(*parseShareLimit("S10>=30", labels));
        limits.push_back(*parseShareLimit(sum, labels));
        return limits;
    };
    EXPECT_EQ(unreachableLimitsMessage(limitsWithSum("S1+S2+S3+S4>=50"), 10, 1.0f),
              "The limits cannot all be met at once: no combination of shares in steps of 1 "
              "percent meets every one of them.");
    EXPECT_EQ(unreachableLimitsMessage(limitsWithSum("S1+S2+S3+S4>=40"), 10, 1.0f), std::nullopt);
    EXPECT_EQ(unreachableLimitsMessage(limitsWithSum("S1+S2+S9+S10<=59"), 10, 1.0f),
              "The limits cannot all be met at once: no combination of shares in steps of 1 "
              "percent meets every one of them.");
}

} // namespace
} // namespace fenlowick
