#include "core/entry/mixingconstraints.h"
#include "fuzzcheck.h"
#include "fuzztargets.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fenlowick::fuzz {

namespace {

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

/// Whether the shares (steps of `increment` each) meet the limit, its ends widened by the
/// slack the search allows.
bool meets(const ShareLimit& limit, const std::vector<int>& steps, double increment, double slack) {
    int sum = 0;
    for (const int source : limit.sources) {
        sum += steps[static_cast<std::size_t>(source)];
    }
    const double share = sum * increment;
    return (!limit.atLeast || share >= *limit.atLeast - slack) &&
           (!limit.atMost || share <= *limit.atMost + slack);
}

/// Whether some combination of `sources` shares in `total` whole steps meets every limit,
/// by visiting them all.
bool someCombinationMeets(const std::vector<const ShareLimit*>& limits, int sources, int total,
                          double increment) {
    const double slack = limitSlack(static_cast<float>(increment));
    std::vector<int> steps(static_cast<std::size_t>(sources), 0);
    steps.back() = total;
    for (;;) {
        bool all = true;
        for (const ShareLimit* limit : limits) {
            all = all && meets(*limit, steps, increment, slack);
        }
        if (all) {
            return true;
        }
        // The next combination: the steps of all but the last source count up like digits
        // whose sum stays within the total; the last source takes what is left.
        int i = sources - 2;
        for (; i >= 0; --i) {
            if (steps.back() > 0) {
                ++steps[static_cast<std::size_t>(i)];
                --steps.back();
                break;
            }
            steps.back() += steps[static_cast<std::size_t>(i)];
            steps[static_cast<std::size_t>(i)] = 0;
        }
        if (i < 0) {
            return false;
        }
    }
}

} // namespace

int fuzzShareLimits(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte chooses the number of sources and a coarse increment (the grid must stay
    // small for the visit of every combination); every further line is a limit.
    const std::array<std::string, 5> kLabels = {"Fish", "Small fish", "C3+C4 plants", "C3",
                                                " Seals "};
    constexpr std::array<int, 3> kIncrements = {10, 20, 25};
    const int sources = 2 + data[0] % 4;
    const int increment = kIncrements[static_cast<std::size_t>(data[0] / 4 % 3)];
    const std::vector<std::string> labels(kLabels.begin(), kLabels.begin() + sources);
    std::vector<std::string> texts;
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    for (std::size_t start = 0; start <= rest.size() && texts.size() < 8;) {
        const std::size_t end = std::min(rest.find('\n', start), rest.size());
        texts.emplace_back(rest.substr(start, end - start));
        start = end + 1;
    }

    std::vector<ShareLimit> one;
    std::optional<std::string> firstRefusal;
    for (const std::string& text : texts) {
        const Expected<ShareLimit> limit = parseShareLimit(text, labels);
        if (!limit) {
            FUZZ_CHECK(limit.error().kind == Error::Kind::Refused);
            FUZZ_CHECK(limit.error().message.starts_with("The limit \"" + trimmed(text) + "\""));
            firstRefusal = firstRefusal.value_or(limit.error().message);
            continue;
        }
        FUZZ_CHECK(limit->text == trimmed(text));
        FUZZ_CHECK(!limit->sources.empty());
        for (std::size_t i = 0; i < limit->sources.size(); ++i) {
            FUZZ_CHECK(limit->sources[i] >= 0 && limit->sources[i] < sources);
            FUZZ_CHECK(i == 0 || limit->sources[i - 1] < limit->sources[i]);
        }
        FUZZ_CHECK(limit->atLeast || limit->atMost);
        for (const std::optional<double>& end : {limit->atLeast, limit->atMost}) {
            FUZZ_CHECK(!end || (*end >= 0.0 && *end <= 100.0));
        }
        FUZZ_CHECK(!limit->atLeast || !limit->atMost || *limit->atLeast <= *limit->atMost);
        one.push_back(*limit);
    }
    const Expected<std::vector<ShareLimit>> limits = parseShareLimits(texts, labels);
    if (firstRefusal) {
        FUZZ_CHECK(!limits && limits.error().message == *firstRefusal);
        return 0;
    }
    FUZZ_CHECK(limits && *limits == one);

    // The search for a combination that meets the limits against a visit of every one.
    const std::optional<std::string> message =
        unreachableLimitsMessage(*limits, sources, static_cast<float>(increment));
    const int steps = 100 / increment;
    std::vector<const ShareLimit*> all;
    for (const ShareLimit& limit : *limits) {
        if (!someCombinationMeets({&limit}, sources, steps, increment)) {
            FUZZ_CHECK(message && message->starts_with("The limit \"" + limit.text + "\" cannot"));
            return 0;
        }
        all.push_back(&limit);
    }
    const bool reachable = all.empty() || someCombinationMeets(all, sources, steps, increment);
    FUZZ_CHECK(message.has_value() == !reachable);
    FUZZ_CHECK(reachable || message->starts_with("The limits cannot all be met at once"));
    return 0;
}

} // namespace fenlowick::fuzz
