#include "support/entrygenerator.h"

#include "core/engine/engine.h"

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

    int sources = kind == EntryKind::LongRuns    ? uniform(3, 5)
                  : kind == EntryKind::WideBands ? uniform(6, 10)
                                                 : uniform(3, 10);
    const int isotopes = kind == EntryKind::LongRuns    ? uniform(1, 2)
                         : kind == EntryKind::WideBands ? uniform(1, 3)
                                                        : uniform(1, 5);
    if (kind == EntryKind::WholeFineGrid) {
        // More isotopes keep the number of solutions down as the sources grow.
        sources = 6 + uniform(0, std::min(isotopes, 3) - 1);
    }
    std::vector<std::string> increments;
    for (const char* increment : kIncrements) {
        const bool dividesHundred = std::fmod(100.0, std::stod(increment)) == 0.0;
        if (kind == EntryKind::WideBands && !dividesHundred) {
            continue;
        }
        if (combinationCount(sources, std::stof(increment)) <= maxCombinations) {
            increments.emplace_back(increment);
        }
    }
    if ((kind == EntryKind::LongRuns && combinationCount(sources, 1.0f) <= maxCombinations) ||
        kind == EntryKind::WholeFineGrid) {
        increments = {"1"};
    }

    Entry entry;
    entry.title = "Generated " + std::to_string(seed);
    entry.increment =
        increments[static_cast<std::size_t>(uniform(0, static_cast<int>(increments.size()) - 1))];
    // Half the wide-band entries have whole values throughout, like the boundary family.
    const bool whole =
        kind == EntryKind::Boundary || (kind == EntryKind::WideBands && seed % 2 == 1);
    const int decimals = kind == EntryKind::Decimal ? uniform(0, 2) : whole ? 0 : 1;

    std::array<std::vector<double>, kIsotopeColumns> values;
    for (int k = 0; k < isotopes; ++k) {
        entry.isotope[k] = "I" + std::to_string(k + 1);
        for (int i = 0; i < sources; ++i) {
            const double value = kind == EntryKind::Boundary ? uniform(-9, 9)
                                 : kind == EntryKind::WideBands
                                     ? (whole ? uniform(-4, 4) : uniform(-40, 40) / 10.0)
                                     : std::round(real(-30.0, 30.0) * std::pow(10, decimals)) /
                                           std::pow(10, decimals);
            values[k].push_back(value);
            entry.col[k][i] = fixed(value, decimals);
        }
    }
    if (kind == EntryKind::WholeFineGrid && seed % 2 == 0) {
        // Two sources alike in every isotope but the first, where they differ by 1 (with one
        // isotope: alike), so that a pair of sources shares a signature.
        const int copy = uniform(1, sources - 1);
        const int from = uniform(0, copy - 1);
        for (int k = 0; k < isotopes; ++k) {
            auto& v = values[k];
            v[static_cast<std::size_t>(copy)] =
                v[static_cast<std::size_t>(from)] + (k == 0 && isotopes > 1 ? 1 : 0);
            entry.col[k][copy] = fixed(v[static_cast<std::size_t>(copy)], 0);
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
        entry.mixture[k] = whole ? fixed(std::round(mixture), 0) : fixed(mixture, uniform(0, 2));
    }

    switch (kind) {
    case EntryKind::Decimal: {
        const std::array<const char*, 7> tolerances = {"0", ".1", ".25", "1", "2.5", "4", "0.05"};
        entry.threshold = tolerances[static_cast<std::size_t>(uniform(0, 6))];
        break;
    }
    case EntryKind::WholeFineGrid:
        entry.threshold = std::to_string(uniform(0, 1));
        break;
    case EntryKind::Boundary:
        entry.threshold = std::to_string(uniform(0, 3));
        break;
    case EntryKind::LongRuns:
        entry.threshold = std::to_string(uniform(2, 10));
        break;
    case EntryKind::WideBands: {
        const std::array<const char*, 5> tolerances = {".1", ".3", ".5", "1", "2"};
        entry.threshold = whole ? std::to_string(uniform(0, 2))
                                : tolerances[static_cast<std::size_t>(uniform(0, 4))];
        break;
    }
    }
    return entry;
}

} // namespace fenlowick::test
