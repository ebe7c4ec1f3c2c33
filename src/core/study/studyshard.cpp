#include "core/study/studyshard.h"

#include "core/base/numerictext.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

namespace fenlowick {

namespace {

constexpr std::string_view kManifestTitle = "fenlowick-study-shard 1";
constexpr std::string_view kPartialsTitle = "fenlowick-study-partials 1";

Error fileError(std::string message) {
    return Error{Error::Kind::FileRead, std::move(message)};
}

class Fnv {
public:
    void add(std::string_view text) {
        addLength(text.size());
        for (const char c : text) {
            addByte(static_cast<unsigned char>(c));
        }
    }
    void addLength(std::size_t length) {
        for (int i = 0; i < 8; ++i) {
            addByte(static_cast<unsigned char>((length >> (8 * i)) & 0xff));
        }
    }
    std::string hex() const {
        char buffer[17];
        std::snprintf(buffer, sizeof buffer, "%016" PRIx64, m_hash);
        return buffer;
    }

private:
    void addByte(unsigned char byte) {
        m_hash ^= byte;
        m_hash *= 0x100000001b3ULL;
    }
    std::uint64_t m_hash = 0xcbf29ce484222325ULL;
};

std::vector<std::string> linesOf(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

/// A whole number of at most 18 digits, or -1.
long long wholeNumber(const std::string& text) {
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return -1;
    }
    return std::stoll(text);
}

std::string joinedBy(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) {
        out += "\t" + item;
    }
    return out;
}

} // namespace

std::string textFingerprint(std::string_view text) {
    Fnv fnv;
    fnv.add(text);
    return fnv.hex();
}

std::string studyFingerprint(const StudyIdentity& identity) {
    Fnv fnv;
    for (const std::string_view part :
         {std::string_view(identity.sources), std::string_view(identity.consumers),
          std::string_view(identity.discrimination),
          std::string_view(identity.hasDiscrimination ? "1" : "0"),
          std::string_view(identity.increment), std::string_view(identity.tolerance)}) {
        fnv.add(part);
    }
    fnv.add(std::to_string(identity.draws));
    fnv.add(std::to_string(identity.seed));
    fnv.addLength(identity.by.size());
    for (const std::string& name : identity.by) {
        fnv.add(name);
    }
    fnv.add(identity.concentrations ? "1" : "0");
    fnv.addLength(identity.limits.size());
    for (const std::string& limit : identity.limits) {
        fnv.add(limit);
    }
    return fnv.hex();
}

std::string composeManifest(const ShardManifest& manifest) {
    std::ostringstream out;
    out << kManifestTitle << "\n"
        << "study\t" << manifest.fingerprint << "\n"
        << "sources\t" << manifest.sourcesHash << "\n"
        << "consumers\t" << manifest.consumersHash << "\n"
        << "discrimination-table\t" << manifest.discriminationHash << "\n"
        << "shard\t" << manifest.index << "\t" << manifest.count << "\n"
        << "increment\t" << manifest.increment << "\n"
        << "tolerance\t" << manifest.tolerance << "\n"
        << "draws\t" << manifest.draws << "\n"
        << "seed\t" << manifest.seed << "\n"
        << "by" << joinedBy(manifest.by) << "\n"
        << "discrimination\t" << (manifest.hasDiscrimination ? "yes" : "no") << "\n"
        << "concentrations\t" << (manifest.concentrations ? "yes" : "no") << "\n"
        << "limits" << joinedBy(manifest.limits) << "\n"
        << "partials\t" << manifest.partialsHash << "\n";
    return out.str();
}

Expected<ShardManifest> parseManifest(std::string_view text, const std::string& fileName) {
    const std::vector<std::string> lines = linesOf(text);
    auto bad = [&](const std::string& why) {
        return fileError(fileName + ": not a complete shard manifest (" + why + ")");
    };
    // Shards written before concentrations and limits have neither line.
    if ((lines.size() != 15 && lines.size() != 13) || lines[0] != kManifestTitle) {
        return bad("it does not begin with \"" + std::string(kManifestTitle) +
                   "\" and hold 15 lines");
    }
    std::map<std::string, std::vector<std::string>> fields;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::vector<std::string> parts;
        std::size_t start = 0;
        while (true) {
            const std::size_t tab = lines[i].find('\t', start);
            parts.push_back(lines[i].substr(start, tab - start));
            if (tab == std::string::npos) {
                break;
            }
            start = tab + 1;
        }
        fields[parts.front()] = std::vector<std::string>(parts.begin() + 1, parts.end());
    }
    auto one = [&](const char* key) -> std::string {
        const auto it = fields.find(key);
        return it == fields.end() || it->second.size() != 1 ? std::string("\x01") : it->second[0];
    };
    ShardManifest manifest;
    manifest.fingerprint = one("study");
    manifest.sourcesHash = one("sources");
    manifest.consumersHash = one("consumers");
    manifest.discriminationHash = one("discrimination-table");
    const auto shard = fields.find("shard");
    if (shard == fields.end() || shard->second.size() != 2) {
        return bad("no shard line");
    }
    const long long index = wholeNumber(shard->second[0]);
    const long long count = wholeNumber(shard->second[1]);
    const long long draws = wholeNumber(one("draws"));
    const long long seed = wholeNumber(one("seed"));
    if (index < 0 || count < 1 || index >= count || count > 1000000 || draws < 0 ||
        draws > 1000000 || seed < 0 || manifest.fingerprint.size() != 16) {
        return bad("a field out of range");
    }
    manifest.index = static_cast<int>(index);
    manifest.count = static_cast<int>(count);
    manifest.draws = static_cast<int>(draws);
    manifest.seed = static_cast<std::uint64_t>(seed);
    manifest.increment = one("increment");
    manifest.tolerance = one("tolerance");
    manifest.hasDiscrimination = one("discrimination") == "yes";
    manifest.partialsHash = one("partials");
    if (fields.count("by") == 0) {
        return bad("no by line");
    }
    manifest.by = fields["by"];
    if (lines.size() == 15) {
        manifest.concentrations = one("concentrations") == "yes";
        if (fields.count("limits") == 0) {
            return bad("no limits line");
        }
        manifest.limits = fields["limits"];
    } else {
        manifest.concentrations = false;
    }
    return manifest;
}

std::string composePartials(const Study& study, const StudyOutcome& outcome,
                            const StudySettings& settings) {
    std::string out = std::string(kPartialsTitle) + "\n";
    char buffer[64];
    for (std::size_t c = 0; c < study.consumers.size(); ++c) {
        if (!inShard(c, settings)) {
            continue;
        }
        const ConsumerOutcome& result = outcome.consumers[c];
        out += "consumer " + std::to_string(study.consumers[c].row) + " " +
               std::to_string(result.sources) + " " + std::to_string(result.feasible) + " " +
               std::to_string(result.drawsFeasible) + "\n";
        for (int s = 0; s < result.sources; ++s) {
            for (int b = 0; b < kHistogramLevels; ++b) {
                const auto source = static_cast<std::size_t>(s);
                const auto level = static_cast<std::size_t>(b);
                if (result.exact[source][level] != 0) {
                    out += "e " + std::to_string(s) + " " + std::to_string(b) + " " +
                           std::to_string(result.exact[source][level]) + "\n";
                }
                if (result.pooled[source][level] != 0.0) {
                    std::snprintf(buffer, sizeof buffer, "%a", result.pooled[source][level]);
                    out += "p " + std::to_string(s) + " " + std::to_string(b) + " " + buffer + "\n";
                }
            }
        }
    }
    return out + "end\n";
}

Status readPartials(std::string_view text, const std::string& fileName, const Study& study,
                    StudyOutcome& outcome, std::vector<bool>& seen) {
    const std::vector<std::string> lines = linesOf(text);
    auto bad = [&](std::size_t line, const std::string& why) {
        return fileError(fileName + ", line " + std::to_string(line + 1) + ": " + why);
    };
    if (lines.empty() || lines.front() != kPartialsTitle) {
        return bad(0, "not a file of partial study results");
    }
    if (lines.back() != "end") {
        return bad(lines.size() - 1, "the file ends early (no \"end\" line)");
    }
    ConsumerOutcome* current = nullptr;
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        std::istringstream words(lines[i]);
        std::string kind;
        words >> kind;
        if (kind == "consumer") {
            long long row = -1;
            int sources = 0;
            unsigned long long feasible = 0;
            int drawsFeasible = -1;
            if (!(words >> row >> sources >> feasible >> drawsFeasible) || row < 1 ||
                row > static_cast<long long>(study.consumers.size()) || sources < 2 ||
                sources > kSourceRows || drawsFeasible < 0) {
                return bad(i, "a damaged consumer line");
            }
            const auto c = static_cast<std::size_t>(row - 1);
            if (seen[c]) {
                return bad(i, "consumer " + std::to_string(row) + " is in another shard too");
            }
            seen[c] = true;
            current = &outcome.consumers[c];
            current->sources = sources;
            current->feasible = feasible;
            current->drawsFeasible = drawsFeasible;
            continue;
        }
        int s = -1;
        int b = -1;
        std::string value;
        if (current == nullptr || !(words >> s >> b >> value) || s < 0 || s >= current->sources ||
            b < 0 || b >= kHistogramLevels) {
            return bad(i, "a damaged line");
        }
        const auto source = static_cast<std::size_t>(s);
        const auto level = static_cast<std::size_t>(b);
        if (kind == "e") {
            const long long count = wholeNumber(value);
            if (count < 0) {
                return bad(i, "a damaged count");
            }
            current->exact[source][level] = static_cast<std::uint64_t>(count);
        } else if (kind == "p") {
            char* end = nullptr;
            const double weight = std::strtod(value.c_str(), &end);
            if (end == value.c_str() || *end != '\0' || !(weight > 0.0)) {
                return bad(i, "a damaged weight");
            }
            current->pooled[source][level] = weight;
        } else {
            return bad(i, "a damaged line");
        }
    }
    return ok();
}

Expected<StudyOutcome> mergeShards(const Study& study, const ShardManifest& manifest,
                                   const std::vector<ShardFiles>& shards) {
    std::vector<std::string> byIndex(static_cast<std::size_t>(manifest.count));
    std::vector<ShardManifest> manifests;
    for (const ShardFiles& shard : shards) {
        Expected<ShardManifest> read =
            parseManifest(shard.manifest, shard.folder + "/manifest.txt");
        if (!read) {
            return read.error();
        }
        if (read->fingerprint != manifest.fingerprint || read->count != manifest.count) {
            std::string what;
            auto differs = [&](bool different, const char* name) {
                if (different) {
                    what += (what.empty() ? "" : ", ") + std::string(name);
                }
            };
            differs(read->sourcesHash != manifest.sourcesHash, "the sources table");
            differs(read->consumersHash != manifest.consumersHash, "the consumers table");
            differs(read->discriminationHash != manifest.discriminationHash ||
                        read->hasDiscrimination != manifest.hasDiscrimination,
                    "the discrimination table");
            differs(read->increment != manifest.increment ||
                        read->tolerance != manifest.tolerance || read->draws != manifest.draws ||
                        read->seed != manifest.seed || read->by != manifest.by ||
                        read->concentrations != manifest.concentrations ||
                        read->limits != manifest.limits,
                    "the options");
            differs(read->count != manifest.count, "the number of shards");
            return fileError(shard.folder + ": a shard of another study (" +
                             (what.empty() ? std::string("its fingerprint") : what) +
                             " differ from " + shards.front().folder + "'s)");
        }
        std::string& owner = byIndex[static_cast<std::size_t>(read->index)];
        if (!owner.empty()) {
            return fileError(shard.folder + ": shard " + std::to_string(read->index) + " of " +
                             std::to_string(read->count) + " again (also " + owner + ")");
        }
        owner = shard.folder;
        if (textFingerprint(shard.partials) != read->partialsHash) {
            return fileError(shard.folder + "/partials.txt: the file differs from the one its " +
                             "manifest was written for (damaged or replaced)");
        }
        manifests.push_back(*read);
    }
    for (std::size_t i = 0; i < byIndex.size(); ++i) {
        if (byIndex[i].empty()) {
            return fileError("shard " + std::to_string(i) + " of " +
                             std::to_string(manifest.count) + " is missing");
        }
    }
    StudyOutcome outcome;
    outcome.draws = manifest.draws;
    outcome.concentrations = manifest.concentrations && study.hasConcentrations;
    outcome.increment = toFloat(manifest.increment).value_or(0.0f);
    outcome.consumers.resize(study.consumers.size());
    std::vector<bool> seen(study.consumers.size(), false);
    for (const ShardFiles& shard : shards) {
        if (Status s =
                readPartials(shard.partials, shard.folder + "/partials.txt", study, outcome, seen);
            !s) {
            return s.error();
        }
    }
    for (std::size_t c = 0; c < seen.size(); ++c) {
        if (!seen[c]) {
            return fileError("consumer " + std::to_string(study.consumers[c].row) +
                             " is in none of the shards");
        }
    }
    return outcome;
}

} // namespace fenlowick
