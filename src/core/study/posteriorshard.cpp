#include "core/study/posteriorshard.h"

#include "core/base/numberformat.h"
#include "core/base/numerictext.h"
#include "core/base/textencoding.h"

#include <algorithm>

namespace fenlowick {

namespace {

constexpr std::string_view kTitle = "fenlowick-posterior-partials 1";

std::string number(double value) {
    return value == 0.0 ? std::string("0") : hexDouble(value);
}

std::optional<double> readNumber(std::string_view text) {
    return text == "0" ? std::optional<double>(0.0) : parseHexDouble(text);
}

std::string logSum(const char* name, const LogSum& sum) {
    return std::string(name) + " " + number(sum.reference) + " " + number(sum.sum) + "\n";
}

void values(std::string& out, const char* name, std::size_t index, const std::vector<double>& row) {
    out += name;
    out += " " + std::to_string(index);
    for (const double v : row) {
        out += " " + number(v);
    }
    out += "\n";
}

/// Reads one group's lines from `lines[at]` on into `into`, which they are added to.
class GroupReader {
public:
    GroupReader(const std::vector<std::string_view>& lines, const std::string& fileName)
        : m_lines(lines), m_fileName(fileName) {}

    Status read(std::size_t& at, PosteriorGroupSums& into, std::size_t group) {
        const GridSums& shape = into.sums;
        const std::size_t sources = shape.marginals.size();
        const std::size_t steps = shape.marginals.front().size() - 1;
        const std::size_t tracers = shape.moment1.size();
        const std::size_t consumers = shape.allBut.size();
        std::vector<std::string_view> words = wordsAt(at);
        const std::vector<std::string> expected = {"group",
                                                   std::to_string(group),
                                                   std::to_string(sources),
                                                   std::to_string(steps),
                                                   std::to_string(tracers),
                                                   std::to_string(consumers)};
        if (words.size() != 7 ||
            !std::equal(expected.begin(), expected.end(), words.begin(),
                        [](const std::string& e, std::string_view w) { return e == w; })) {
            return bad(at, "not group " + std::to_string(group) + " of this study's shape");
        }
        const std::optional<int> draws = wholeNumber<int>(words[6]);
        GridSums part(static_cast<int>(sources), static_cast<int>(steps), static_cast<int>(tracers),
                      static_cast<int>(consumers));
        std::vector<double> grid;
        LogSum evidences;
        LogSum squares;
        bool good = draws.has_value() && numbers(++at, "grid", 3, grid);
        good = good && logSumAt(++at, "evidence", part.evidence) &&
               logSumAt(++at, "prior", part.prior) && logSumAt(++at, "evidences", evidences) &&
               logSumAt(++at, "squares", squares);
        for (std::size_t i = 0; good && i < consumers; ++i) {
            std::vector<double> two;
            good = indexed(++at, "allbut", i, 2, two);
            if (good) {
                part.allBut[i] = LogSum{two[0], two[1]};
            }
        }
        for (std::size_t j = 0; good && j < tracers; ++j) {
            std::vector<double> two;
            good = indexed(++at, "moments", j, 2, two);
            if (good) {
                part.moment1[j] = two[0];
                part.moment2[j] = two[1];
            }
        }
        for (std::size_t s = 0; good && s < sources; ++s) {
            good = indexed(++at, "marginal", s, steps + 1, part.marginals[s]);
        }
        for (std::size_t q = 0; good && q < part.pairs.size(); ++q) {
            good = indexed(++at, "pair", q, (steps + 1) * (steps + 1), part.pairs[q]);
        }
        if (!good) {
            return bad(std::min(at, m_lines.size() - 1), "a damaged line");
        }
        part.reference = grid[0];
        part.evaluated = grid[1];
        part.skipped = grid[2];
        into.sums.add(part);
        into.evidences.add(evidences);
        into.squares.add(squares);
        into.draws += *draws;
        ++at;
        return ok();
    }

private:
    std::vector<std::string_view> wordsAt(std::size_t at) const {
        return at < m_lines.size() ? splitText(m_lines[at], ' ') : std::vector<std::string_view>{};
    }

    /// A line `name` followed by `count` numbers.
    bool numbers(std::size_t at, std::string_view name, std::size_t count,
                 std::vector<double>& into) const {
        return indexed(at, name, std::nullopt, count, into);
    }

    /// A line `name`, then `index` (if any), then `count` numbers.
    bool indexed(std::size_t at, std::string_view name, std::optional<std::size_t> index,
                 std::size_t count, std::vector<double>& into) const {
        const std::vector<std::string_view> words = wordsAt(at);
        const std::size_t first = index ? 2 : 1;
        if (words.size() != count + first || words[0] != name ||
            (index && wholeNumber<std::size_t>(words[1]) != index)) {
            return false;
        }
        into.clear();
        for (std::size_t w = first; w < words.size(); ++w) {
            const std::optional<double> v = readNumber(words[w]);
            if (!v) {
                return false;
            }
            into.push_back(*v);
        }
        return true;
    }

    bool logSumAt(std::size_t at, std::string_view name, LogSum& into) const {
        std::vector<double> two;
        if (!numbers(at, name, 2, two)) {
            return false;
        }
        into = LogSum{two[0], two[1]};
        return true;
    }

    Error bad(std::size_t line, const std::string& why) const {
        return Error{Error::Kind::FileRead,
                     m_fileName + ", line " + std::to_string(line + 1) + ": " + why};
    }

    const std::vector<std::string_view>& m_lines;
    const std::string& m_fileName;
};

} // namespace

std::string composePosteriorPartials(const std::vector<PosteriorGroupSums>& sums) {
    std::string out = std::string(kTitle) + "\n";
    for (std::size_t g = 0; g < sums.size(); ++g) {
        const GridSums& grid = sums[g].sums;
        out += "group " + std::to_string(g) + " " + std::to_string(grid.marginals.size()) + " " +
               std::to_string(grid.marginals.front().size() - 1) + " " +
               std::to_string(grid.moment1.size()) + " " + std::to_string(grid.allBut.size()) +
               " " + std::to_string(sums[g].draws) + "\n";
        out += "grid " + number(grid.reference) + " " + number(grid.evaluated) + " " +
               number(grid.skipped) + "\n";
        out += logSum("evidence", grid.evidence) + logSum("prior", grid.prior) +
               logSum("evidences", sums[g].evidences) + logSum("squares", sums[g].squares);
        for (std::size_t i = 0; i < grid.allBut.size(); ++i) {
            out += "allbut " + std::to_string(i) + " " + number(grid.allBut[i].reference) + " " +
                   number(grid.allBut[i].sum) + "\n";
        }
        for (std::size_t j = 0; j < grid.moment1.size(); ++j) {
            out += "moments " + std::to_string(j) + " " + number(grid.moment1[j]) + " " +
                   number(grid.moment2[j]) + "\n";
        }
        for (std::size_t s = 0; s < grid.marginals.size(); ++s) {
            values(out, "marginal", s, grid.marginals[s]);
        }
        for (std::size_t q = 0; q < grid.pairs.size(); ++q) {
            values(out, "pair", q, grid.pairs[q]);
        }
    }
    return out + "end\n";
}

Status readPosteriorPartials(std::string_view text, const std::string& fileName,
                             std::vector<PosteriorGroupSums>& sums) {
    const std::vector<std::string_view> lines = splitText(text, '\n');
    const auto bad = [&](std::size_t line, const std::string& why) {
        return Error{Error::Kind::FileRead,
                     fileName + ", line " + std::to_string(line + 1) + ": " + why};
    };
    if (lines.empty() || lines.front() != kTitle) {
        return bad(0, "not a file of partial posterior results");
    }
    if (lines.back() != "end") {
        return bad(lines.size() - 1, "the file ends early (no \"end\" line)");
    }
    // Read whole before anything is added, so that a damaged file adds nothing.
    std::vector<PosteriorGroupSums> read;
    for (const PosteriorGroupSums& group : sums) {
        const GridSums& shape = group.sums;
        read.push_back(PosteriorGroupSums{
            GridSums(static_cast<int>(shape.marginals.size()),
                     static_cast<int>(shape.marginals.front().size()) - 1,
                     static_cast<int>(shape.moment1.size()), static_cast<int>(shape.allBut.size())),
            {},
            {},
            0});
    }
    GroupReader reader(lines, fileName);
    std::size_t at = 1;
    for (std::size_t g = 0; g < read.size(); ++g) {
        if (Status s = reader.read(at, read[g], g); !s) {
            return s;
        }
    }
    if (at + 1 != lines.size()) {
        return bad(at, "more groups than the study has");
    }
    for (std::size_t g = 0; g < sums.size(); ++g) {
        sums[g].sums.add(read[g].sums);
        sums[g].evidences.add(read[g].evidences);
        sums[g].squares.add(read[g].squares);
        sums[g].draws += read[g].draws;
    }
    return ok();
}

Expected<std::vector<PosteriorGroupSums>>
mergePosteriorShards(const Study& study, const PosteriorSettings& settings,
                     const ShardManifest& manifest, const std::vector<ShardFiles>& shards) {
    if (Status s = checkShards(manifest, shards); !s) {
        return s.error();
    }
    // Added in the order of the shards' indexes, whatever the order they were given in.
    std::vector<std::pair<ShardManifest, std::size_t>> order;
    for (std::size_t i = 0; i < shards.size(); ++i) {
        order.emplace_back(*parseManifest(shards[i].manifest, shards[i].folder), i);
    }
    std::sort(order.begin(), order.end(),
              [](const auto& a, const auto& b) { return a.first.index < b.first.index; });
    Expected<std::vector<PosteriorGroupSums>> sums = emptyPosteriorSums(study, settings);
    if (!sums) {
        return sums.error();
    }
    for (const auto& [read, i] : order) {
        const Expected<std::string> partials = shardPartials(shards[i], read);
        if (!partials) {
            return partials.error();
        }
        if (Status s = readPosteriorPartials(*partials, shards[i].folder + "/partials.txt", *sums);
            !s) {
            return s.error();
        }
    }
    for (const PosteriorGroupSums& group : *sums) {
        if (group.draws != settings.options.draws) {
            return Error{Error::Kind::FileRead, "the shards hold " + std::to_string(group.draws) +
                                                    " draws of " +
                                                    std::to_string(settings.options.draws)};
        }
    }
    return sums;
}

} // namespace fenlowick
