#include "entrygenerator.h"

#include "engine.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace fenlowick::test {

namespace {

const std::array<const char*, 14> kIncrements = {"1",  "2",    "2.5", "3",  "4",  "5",  "7",
                                                 "10", "12.5", "20",  "25", "33", "50", "100"};

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

} // namespace

Entry generateEntry(std::uint32_t seed, EntryKind kind, std::uint64_t maxCombinations) {
    std::mt19937 random(seed);
    auto uniform = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    auto real = [&](double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random);
    };

    const int sources = kind == EntryKind::LongRuns ? uniform(3, 5) : uniform(3, 10);
    const int isotopes = kind == EntryKind::LongRuns ? uniform(1, 2) : uniform(1, 5);
    std::vector<std::string> increments;
    for (const char* increment : kIncrements) {
        if (combinationCount(sources, std::stof(increment)) <= maxCombinations) {
            increments.emplace_back(increment);
        }
    }
    if (kind == EntryKind::LongRuns && combinationCount(sources, 1.0f) <= maxCombinations) {
        increments = {"1"};
    }

    Entry entry;
    entry.title = "Generated " + std::to_string(seed);
    entry.increment =
        increments[static_cast<std::size_t>(uniform(0, static_cast<int>(increments.size()) - 1))];
    const int decimals = kind == EntryKind::Decimal ? uniform(0, 2) : 0;

    std::array<std::vector<double>, kIsotopeColumns> values;
    for (int k = 0; k < isotopes; ++k) {
        entry.isotope[k] = "I" + std::to_string(k + 1);
        for (int i = 0; i < sources; ++i) {
            const double value = kind == EntryKind::Boundary
                                     ? uniform(-9, 9)
                                     : std::round(real(-30.0, 30.0) * std::pow(10, decimals)) /
                                           std::pow(10, decimals);
            values[k].push_back(value);
            entry.col[k][i] = fixed(value, decimals);
        }
    }
    for (int i = 0; i < sources; ++i) {
        entry.sources[i] = "S" + std::to_string(i + 1);
    }

    // Where the mixture lies: 0 inside, 1 on a source, 2 halfway between two, 3 outside.
    const int place = uniform(0, 3);
    const int first = uniform(0, sources - 1);
    const int second = uniform(0, sources - 1);
    std::vector<double> weights(static_cast<std::size_t>(sources));
    double weightSum = 0.0;
    for (double& w : weights) {
        w = real(0.0, 1.0);
        weightSum += w;
    }
    for (int k = 0; k < isotopes; ++k) {
        const auto& v = values[k];
        double mixture = 0.0;
        switch (place) {
        case 0:
            for (int i = 0; i < sources; ++i) {
                mixture += v[static_cast<std::size_t>(i)] * weights[static_cast<std::size_t>(i)] /
                           weightSum;
            }
            break;
        case 1:
            mixture = v[static_cast<std::size_t>(first)];
            break;
        case 2:
            mixture =
                (v[static_cast<std::size_t>(first)] + v[static_cast<std::size_t>(second)]) / 2;
            break;
        default: {
            const auto [low, high] = std::minmax_element(v.begin(), v.end());
            mixture = uniform(0, 1) == 0 ? *low - real(0.0, 3.0) : *high + real(0.0, 3.0);
        }
        }
        entry.mixture[k] = kind == EntryKind::Boundary ? fixed(std::round(mixture), 0)
                                                       : fixed(mixture, uniform(0, 2));
    }

    switch (kind) {
    case EntryKind::Decimal: {
        const std::array<const char*, 7> tolerances = {"0", ".1", ".25", "1", "2.5", "4", "0.05"};
        entry.threshold = tolerances[static_cast<std::size_t>(uniform(0, 6))];
        break;
    }
    case EntryKind::Boundary:
        entry.threshold = std::to_string(uniform(0, 3));
        break;
    case EntryKind::LongRuns:
        entry.threshold = std::to_string(uniform(2, 10));
        break;
    }
    return entry;
}

} // namespace fenlowick::test
