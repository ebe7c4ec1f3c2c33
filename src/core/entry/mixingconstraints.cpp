#include "core/entry/mixingconstraints.h"

#include "core/base/numberformat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <unordered_set>

namespace fenlowick {

namespace {

Error refusal(std::string message) {
    return Error{Error::Kind::Refused, std::move(message)};
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

/// A percentage as written in a limit: plain decimal digits, an optional point and an
/// optional trailing "%"; nothing when the text is anything else.
std::optional<double> percentOf(std::string_view text) {
    text = trimmed(text);
    if (!text.empty() && text.back() == '%') {
        text = trimmed(text.substr(0, text.size() - 1));
    }
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string_view::npos) {
        return std::nullopt;
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

std::string formMessage(std::string_view text) {
    return "The limit " + quoted(text) +
           " is not of the form Source=10-40, Source>=10, Source<=40 or Source+Source>=50 "
           "(shares in percent).";
}

/// The ends of a limit after "=": "10-40", "10-", "-40" or a single value.
bool readRange(std::string_view text, ShareLimit& limit) {
    text = trimmed(text);
    const auto dash = text.find('-');
    if (dash == std::string_view::npos) {
        const auto value = percentOf(text);
        limit.atLeast = value;
        limit.atMost = value;
        return value.has_value();
    }
    const auto low = trimmed(text.substr(0, dash));
    const auto high = trimmed(text.substr(dash + 1));
    if (low.empty() && high.empty()) {
        return false;
    }
    if (!low.empty()) {
        limit.atLeast = percentOf(low);
        if (!limit.atLeast) {
            return false;
        }
    }
    if (!high.empty()) {
        limit.atMost = percentOf(high);
        if (!limit.atMost) {
            return false;
        }
    }
    return true;
}

int labelIndex(std::string_view name, const std::vector<std::string>& labels) {
    for (std::size_t i = 0; i < labels.size(); ++i) {
        if (trimmed(labels[i]) == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

/// Whether shares of `sources` sources in whole steps, `steps` steps in all, can meet every
/// limit at once. Limits are given in steps (their ends already widened by the slack and
/// turned into whole steps). A depth-first search over the sources' step counts, cut off
/// where a limit can no longer be met, remembering the states that led nowhere. The search
/// gives up, undecided, after kReachBudget states: limits that overlap in many ways can make
/// the states too many to try, and the run's own search then finds out.
class GridReach {
public:
    struct StepLimit {
        std::vector<bool> member;
        int low = 0;
        int high = 0;
    };

    /// States tried (and at most remembered) before the search gives up undecided.
    static constexpr std::size_t kReachBudget = 200000;

    GridReach(int sources, int steps, std::vector<StepLimit> limits)
        : m_sources(sources), m_steps(steps), m_limits(std::move(limits)),
          m_sums(m_limits.size(), 0) {}

    /// True or false when decided; nothing when the budget ran out first.
    std::optional<bool> reachable() {
        const bool found = search(0, m_steps);
        if (m_visited > kReachBudget) {
            return std::nullopt;
        }
        return found;
    }

private:
    /// Steps the sources from `source` on must give to other limits whose remaining members
    /// all lie outside limit `l` (`inside` false) or all inside it (`inside` true): the sum
    /// of their unmet low ends, taken from limits that share no remaining member with each
    /// other, so that no step is counted twice.
    int reserved(std::size_t l, int source, bool inside) const {
        std::vector<bool> taken(static_cast<std::size_t>(m_sources), false);
        int total = 0;
        for (std::size_t o = 0; o < m_limits.size(); ++o) {
            const auto& other = m_limits[o];
            const int need = other.low - m_sums[o];
            if (o == l || need <= 0) {
                continue;
            }
            bool fits = true;
            for (int i = source; i < m_sources && fits; ++i) {
                const auto at = static_cast<std::size_t>(i);
                fits = !other.member[at] || (m_limits[l].member[at] == inside && !taken[at]);
            }
            if (!fits) {
                continue;
            }
            for (int i = source; i < m_sources; ++i) {
                const auto at = static_cast<std::size_t>(i);
                taken[at] = taken[at] || other.member[at];
            }
            total += need;
        }
        return total;
    }

    bool hopeless(int source, int left) const {
        for (std::size_t l = 0; l < m_limits.size(); ++l) {
            const auto& limit = m_limits[l];
            int members = 0;
            for (int i = source; i < m_sources; ++i) {
                members += limit.member[static_cast<std::size_t>(i)] ? 1 : 0;
            }
            const int least =
                m_sums[l] +
                (members == m_sources - source ? left : std::min(left, reserved(l, source, true)));
            const int most =
                m_sums[l] + (members > 0 ? std::max(0, left - reserved(l, source, false)) : 0);
            if (most < limit.low || least > limit.high) {
                return true;
            }
        }
        return false;
    }

    bool search(int source, int left) {
        if (++m_visited > kReachBudget || hopeless(source, left)) {
            return false;
        }
        if (source == m_sources) {
            return left == 0;
        }
        std::string key(reinterpret_cast<const char*>(m_sums.data()), m_sums.size() * sizeof(int));
        key.push_back(static_cast<char>(source));
        key.push_back(static_cast<char>(left));
        if (m_failed.count(key) != 0) {
            return false;
        }
        const int first = source == m_sources - 1 ? left : 0;
        for (int n = first; n <= left; ++n) {
            for (std::size_t l = 0; l < m_limits.size(); ++l) {
                m_sums[l] += m_limits[l].member[static_cast<std::size_t>(source)] ? n : 0;
            }
            const bool found = search(source + 1, left - n);
            for (std::size_t l = 0; l < m_limits.size(); ++l) {
                m_sums[l] -= m_limits[l].member[static_cast<std::size_t>(source)] ? n : 0;
            }
            if (found) {
                return true;
            }
            if (m_visited > kReachBudget) {
                return false;
            }
        }
        m_failed.insert(std::move(key));
        return false;
    }

    int m_sources;
    int m_steps;
    std::vector<StepLimit> m_limits;
    std::vector<int> m_sums;
    std::unordered_set<std::string> m_failed;
    std::size_t m_visited = 0;
};

/// Whether the limits can all be met on the grid: true or false, or nothing when the search
/// could not decide within its budget.
std::optional<bool> limitsReachable(const std::vector<const ShareLimit*>& limits, int sources,
                                    float incrementPercent) {
    // The loops' steps, counted in single precision as the search takes them.
    int steps = -1;
    for (float share = 0.0f; share <= 100.0f; share += incrementPercent) {
        ++steps;
    }
    const double increment = static_cast<double>(incrementPercent);
    const double slack = limitSlack(incrementPercent);
    std::vector<GridReach::StepLimit> stepLimits;
    for (const ShareLimit* limit : limits) {
        GridReach::StepLimit step;
        step.member.assign(static_cast<std::size_t>(sources), false);
        for (int i : limit->sources) {
            if (i >= 0 && i < sources) {
                step.member[static_cast<std::size_t>(i)] = true;
            }
        }
        step.low =
            limit->atLeast ? static_cast<int>(std::ceil((*limit->atLeast - slack) / increment)) : 0;
        step.high = limit->atMost
                        ? static_cast<int>(std::floor((*limit->atMost + slack) / increment))
                        : steps;
        stepLimits.push_back(std::move(step));
    }
    return GridReach(sources, steps, std::move(stepLimits)).reachable();
}

} // namespace

Expected<ShareLimit> parseShareLimit(std::string_view text,
                                     const std::vector<std::string>& sourceLabels) {
    ShareLimit limit;
    limit.text = std::string(trimmed(text));
    const auto equals = text.rfind('=');
    if (equals == std::string_view::npos || equals == 0) {
        return refusal(formMessage(limit.text));
    }
    std::string_view names;
    const char before = text[equals - 1];
    if (before == '>' || before == '<') {
        names = text.substr(0, equals - 1);
        const auto value = percentOf(text.substr(equals + 1));
        if (!value) {
            return refusal(formMessage(limit.text));
        }
        (before == '>' ? limit.atLeast : limit.atMost) = value;
    } else {
        names = text.substr(0, equals);
        if (!readRange(text.substr(equals + 1), limit)) {
            return refusal(formMessage(limit.text));
        }
    }
    names = trimmed(names);
    if (names.empty()) {
        return refusal(formMessage(limit.text));
    }
    // Labels may hold a "+" themselves ("C3+C4 plants"): from each point the longest run of
    // "+"-separated pieces that is a label is taken.
    std::vector<std::string_view> pieces;
    for (std::size_t start = 0;;) {
        const auto plus = names.find('+', start);
        pieces.push_back(names.substr(start, plus - start));
        if (plus == std::string_view::npos) {
            break;
        }
        start = plus + 1;
    }
    for (std::size_t first = 0; first < pieces.size();) {
        std::size_t end = pieces.size();
        int index = -1;
        for (; end > first; --end) {
            const auto from = pieces[first].data() - names.data();
            const auto to = pieces[end - 1].data() + pieces[end - 1].size() - names.data();
            index = labelIndex(trimmed(names.substr(from, to - from)), sourceLabels);
            if (index >= 0) {
                break;
            }
        }
        if (index < 0) {
            return refusal("The limit " + quoted(limit.text) + " names " +
                           quoted(trimmed(pieces[first])) + ", which is not a source of this run.");
        }
        if (std::find(limit.sources.begin(), limit.sources.end(), index) != limit.sources.end()) {
            return refusal("The limit " + quoted(limit.text) + " names " +
                           quoted(trimmed(sourceLabels[static_cast<std::size_t>(index)])) +
                           " twice.");
        }
        limit.sources.push_back(index);
        first = end;
    }
    std::sort(limit.sources.begin(), limit.sources.end());
    for (const auto& end : {limit.atLeast, limit.atMost}) {
        if (end && !(*end >= 0.0 && *end <= 100.0)) {
            return refusal("The limit " + quoted(limit.text) +
                           " has an end outside 0 to 100 percent.");
        }
    }
    if (limit.atLeast && limit.atMost && *limit.atLeast > *limit.atMost) {
        return refusal("The limit " + quoted(limit.text) + " has its low end above its high end.");
    }
    return limit;
}

Expected<std::vector<ShareLimit>> parseShareLimits(const std::vector<std::string>& texts,
                                                   const std::vector<std::string>& sourceLabels) {
    std::vector<ShareLimit> limits;
    for (const std::string& text : texts) {
        Expected<ShareLimit> limit = parseShareLimit(text, sourceLabels);
        if (!limit) {
            return limit.error();
        }
        limits.push_back(std::move(*limit));
    }
    return limits;
}

std::optional<std::string> unreachableLimitsMessage(const std::vector<ShareLimit>& limits,
                                                    int sources, float incrementPercent) {
    if (limits.empty()) {
        return std::nullopt;
    }
    const std::string step = formatSingle(incrementPercent) + " percent";
    std::vector<const ShareLimit*> all;
    for (const auto& limit : limits) {
        if (limitsReachable({&limit}, sources, incrementPercent) == false) {
            return "The limit " + quoted(limit.text) + " cannot be met by shares in steps of " +
                   step + ".";
        }
        all.push_back(&limit);
    }
    if (limitsReachable(all, sources, incrementPercent) == false) {
        return "The limits cannot all be met at once: no combination of shares in steps of " +
               step + " meets every one of them.";
    }
    return std::nullopt;
}

std::string badConcentrationMessage(std::string_view source, std::string_view column,
                                    std::string_view text) {
    return "The concentration of source " + quoted(source) + " in column " + quoted(column) +
           " is " + quoted(text) + ": concentrations must be numbers above zero.";
}

double concentrationScale(const std::array<double, kSourceRows>& concentrations) {
    const double largest = *std::max_element(concentrations.begin(), concentrations.end());
    if (!(largest > 0.0) || !std::isfinite(largest) ||
        (largest >= std::ldexp(1.0, -64) && largest <= std::ldexp(1.0, 64))) {
        return 1.0;
    }
    int exponent = 0;
    std::frexp(largest, &exponent); // largest = m * 2^exponent, m in [0.5, 1)
    return std::ldexp(1.0, 1 - exponent);
}

} // namespace fenlowick
