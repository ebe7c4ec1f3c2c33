#include "core/study/studyshard.h"

#include "core/base/atomicfile.h"
#include "core/base/numberformat.h"
#include "core/base/numerictext.h"
#include "core/base/textencoding.h"
#include "core/study/studyoptionsjson.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <type_traits>

namespace fenlowick {

namespace {

/// The earlier manifest: a title line, then a line per field, the key and its values
/// separated by tabs. Shards written before concentrations and limits lack those two lines.
constexpr std::string_view kLineManifestTitle = "fenlowick-study-shard 1";
constexpr std::string_view kManifestFormat = "fenlowick-study-shard";
constexpr int kManifestVersion = 2;
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
        std::string digits(16, '0');
        for (int i = 15, shift = 0; i >= 0; --i, shift += 4) {
            digits[static_cast<std::size_t>(i)] = "0123456789abcdef"[(m_hash >> shift) & 0xf];
        }
        return digits;
    }

private:
    void addByte(unsigned char byte) {
        m_hash ^= byte;
        m_hash *= 0x100000001b3ULL;
    }
    std::uint64_t m_hash = 0xcbf29ce484222325ULL;
};

bool isFingerprint(const std::string& text) {
    return text.size() == 16 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

/// The fields a manifest of either format must hold within range.
Status checkManifestFields(const ShardManifest& manifest) {
    if (manifest.index < 0 || manifest.count < 1 || manifest.index >= manifest.count ||
        manifest.count > kMaxShards || manifest.options.draws < 0 ||
        manifest.options.draws > kStudyMaxDraws || !isFingerprint(manifest.fingerprint)) {
        return fileError("a field out of range");
    }
    return ok();
}

Expected<ShardManifest> parseLineManifest(std::string_view text) {
    std::map<std::string, std::vector<std::string>, std::less<>> fields;
    const std::vector<std::string_view> lines = splitText(text, '\n');
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string_view> parts = splitText(lines[i], '\t');
        if (!parts.empty()) {
            fields[std::string(parts.front())] =
                std::vector<std::string>(parts.begin() + 1, parts.end());
        }
    }
    auto values = [&](const char* key) -> const std::vector<std::string>* {
        const auto it = fields.find(key);
        return it == fields.end() ? nullptr : &it->second;
    };
    auto one = [&](const char* key) -> std::optional<std::string> {
        const auto* found = values(key);
        return found == nullptr || found->size() != 1 ? std::nullopt
                                                      : std::optional(found->front());
    };
    ShardManifest manifest;
    const auto* shard = values("shard");
    std::optional<int> index;
    std::optional<int> count;
    if (shard != nullptr && shard->size() == 2) {
        index = wholeNumber<int>((*shard)[0]);
        count = wholeNumber<int>((*shard)[1]);
    }
    const auto study = one("study");
    const auto draws = one("draws");
    const auto seed = one("seed");
    const auto increment = one("increment");
    const auto tolerance = one("tolerance");
    const auto partials = one("partials");
    const auto* by = values("by");
    if (!index || !count || !study || !draws || !seed || !increment || !tolerance || !partials ||
        by == nullptr) {
        return fileError("a field is missing");
    }
    const auto drawCount = wholeNumber<int>(*draws);
    const auto seedValue = parseSeed(*seed);
    if (!drawCount || !seedValue) {
        return fileError("a field out of range");
    }
    manifest.fingerprint = *study;
    manifest.sourcesHash = one("sources").value_or("");
    manifest.consumersHash = one("consumers").value_or("");
    manifest.discriminationHash = one("discrimination-table").value_or("");
    manifest.index = *index;
    manifest.count = *count;
    manifest.hasDiscrimination = one("discrimination") == "yes";
    manifest.partialsHash = *partials;
    manifest.options.increment = *increment;
    manifest.options.tolerance = *tolerance;
    manifest.options.draws = *drawCount;
    manifest.options.seed = *seedValue;
    manifest.options.by = *by;
    // The earliest shards mixed linearly and had no limits.
    manifest.options.concentrations = one("concentrations") == "yes";
    if (const auto* limits = values("limits")) {
        manifest.options.limits = *limits;
    }
    return manifest;
}

Expected<ShardManifest> parseJsonManifest(std::string_view text) {
    const Json json = Json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return fileError("it is not JSON");
    }
    if (member<std::string>(json, "format") != std::string(kManifestFormat)) {
        return fileError("it is no shard manifest");
    }
    const auto version = member<int>(json, "version");
    if (version != kManifestVersion) {
        return fileError("format version " +
                         (version ? std::to_string(*version) : std::string("unknown")) +
                         ", which this program does not read");
    }
    const Json empty = Json::object();
    auto object = [&](const char* key) -> const Json& {
        const auto it = json.find(key);
        return it != json.end() && it->is_object() ? *it : empty;
    };
    const Json& tables = object("tables");
    const Json& shard = object("shard");
    const Json& options = object("options");
    const auto study = member<std::string>(json, "study");
    const auto partials = member<std::string>(json, "partials");
    const auto sources = member<std::string>(tables, "sources");
    const auto consumers = member<std::string>(tables, "consumers");
    const auto discrimination = member<std::string>(tables, "discrimination");
    const bool noDiscrimination =
        tables.contains("discrimination") && tables["discrimination"].is_null();
    const auto index = member<int>(shard, "index");
    const auto count = member<int>(shard, "count");
    const std::optional<StudyOptions> studyOptions = studyOptionsFromJson(options);
    if (!study || !partials || !sources || !consumers || (!discrimination && !noDiscrimination) ||
        !index || !count || !studyOptions) {
        return fileError("a field is missing or of the wrong type");
    }
    ShardManifest manifest;
    manifest.fingerprint = *study;
    manifest.sourcesHash = *sources;
    manifest.consumersHash = *consumers;
    manifest.hasDiscrimination = discrimination.has_value();
    manifest.discriminationHash = discrimination.value_or(textFingerprint(""));
    manifest.index = *index;
    manifest.count = *count;
    manifest.options = *studyOptions;
    manifest.partialsHash = *partials;
    return manifest;
}

} // namespace

std::string textFingerprint(std::string_view text) {
    Fnv fnv;
    fnv.add(text);
    return fnv.hex();
}

std::string studyFingerprint(const StudyIdentity& identity) {
    const StudyOptions& options = identity.options;
    Fnv fnv;
    for (const std::string_view part :
         {std::string_view(identity.sources), std::string_view(identity.consumers),
          std::string_view(identity.discrimination),
          std::string_view(identity.hasDiscrimination ? "1" : "0"),
          std::string_view(options.increment), std::string_view(options.tolerance)}) {
        fnv.add(part);
    }
    fnv.add(std::to_string(options.draws));
    fnv.add(std::to_string(options.seed));
    fnv.addLength(options.by.size());
    for (const std::string& name : options.by) {
        fnv.add(name);
    }
    fnv.add(options.concentrations ? "1" : "0");
    fnv.addLength(options.limits.size());
    for (const std::string& limit : options.limits) {
        fnv.add(limit);
    }
    // The posterior's options, only for a posterior: the fingerprints of other studies stay
    // what they were.
    if (options.posterior) {
        fnv.add("posterior");
        fnv.add(options.error);
        fnv.add(options.prior);
    }
    return fnv.hex();
}

ShardManifest shardManifest(const StudyIdentity& identity, int index, int count,
                            std::string_view partials) {
    ShardManifest manifest;
    manifest.fingerprint = studyFingerprint(identity);
    manifest.sourcesHash = textFingerprint(identity.sources);
    manifest.consumersHash = textFingerprint(identity.consumers);
    manifest.discriminationHash = textFingerprint(identity.discrimination);
    manifest.index = index;
    manifest.count = count;
    manifest.hasDiscrimination = identity.hasDiscrimination;
    manifest.options = identity.options;
    manifest.partialsHash = textFingerprint(partials);
    return manifest;
}

std::string composeManifest(const ShardManifest& manifest) {
    const StudyOptions& options = manifest.options;
    Json json;
    json["format"] = kManifestFormat;
    json["version"] = kManifestVersion;
    json["study"] = manifest.fingerprint;
    json["tables"] = {{"sources", manifest.sourcesHash},
                      {"consumers", manifest.consumersHash},
                      {"discrimination", manifest.hasDiscrimination
                                             ? Json(manifest.discriminationHash)
                                             : Json(nullptr)}};
    json["shard"] = {{"index", manifest.index}, {"count", manifest.count}};
    json["options"] = studyOptionsJson(options);
    json["partials"] = manifest.partialsHash;
    // The options' texts are UTF-8 by the time a shard is written: a factor or a limit that
    // names no column or source of the (decoded) tables is refused before the run.
    return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

Expected<ShardManifest> parseManifest(std::string_view text, const std::string& fileName) {
    const bool lines =
        text.substr(0, kLineManifestTitle.size() + 1) == std::string(kLineManifestTitle) + "\n";
    Expected<ShardManifest> manifest = lines ? parseLineManifest(text) : parseJsonManifest(text);
    Status fields = manifest ? checkManifestFields(*manifest) : Status(manifest.error());
    if (!fields) {
        return fileError(fileName + ": not a complete shard manifest (" + fields.error().message +
                         ")");
    }
    return manifest;
}

namespace {

/// A weight above zero written by `hexDouble`.
std::optional<double> readHexWeight(std::string_view text) {
    const std::optional<double> weight = parseHexDouble(text);
    return weight && *weight > 0.0 && std::isfinite(*weight) ? weight : std::nullopt;
}

} // namespace

std::string composePartials(const Study& study, const StudyOutcome& outcome,
                            const StudySettings& settings) {
    std::string out = std::string(kPartialsTitle) + "\n";
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
                    out += "p " + std::to_string(s) + " " + std::to_string(b) + " " +
                           hexDouble(result.pooled[source][level]) + "\n";
                }
            }
        }
    }
    return out + "end\n";
}

Status readPartials(std::string_view text, const std::string& fileName, const Study& study,
                    StudyOutcome& outcome, std::vector<bool>& seen) {
    // The file's lines are words separated by single spaces:
    //   consumer ROW SOURCES FEASIBLE DRAWS_FEASIBLE   then that consumer's cells:
    //   e SOURCE LEVEL COUNT      a cell of the exact run's histograms
    //   p SOURCE LEVEL WEIGHT     a cell of the pooled weights, hexadecimal floating point
    // between the title line and "end".
    const std::vector<std::string_view> lines = splitText(text, '\n');
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
        const std::vector<std::string_view> words = splitText(lines[i], ' ');
        const std::string_view kind = words.empty() ? std::string_view() : words.front();
        if (kind == "consumer") {
            const auto row = words.size() == 5 ? wholeNumber<std::size_t>(words[1]) : std::nullopt;
            const auto sources = words.size() == 5 ? wholeNumber<int>(words[2]) : std::nullopt;
            const auto feasible =
                words.size() == 5 ? wholeNumber<std::uint64_t>(words[3]) : std::nullopt;
            const auto drawsFeasible =
                words.size() == 5 ? wholeNumber<int>(words[4]) : std::nullopt;
            if (!row || !sources || !feasible || !drawsFeasible || *row < 1 ||
                *row > study.consumers.size() || *sources < 2 || *sources > kSourceRows) {
                return bad(i, "a damaged consumer line");
            }
            const std::size_t c = *row - 1;
            if (seen[c]) {
                return bad(i, "consumer " + std::to_string(*row) + " is in another shard too");
            }
            seen[c] = true;
            current = &outcome.consumers[c];
            current->sources = *sources;
            current->feasible = *feasible;
            current->drawsFeasible = *drawsFeasible;
            continue;
        }
        const auto source = words.size() == 4 ? wholeNumber<int>(words[1]) : std::nullopt;
        const auto level = words.size() == 4 ? wholeNumber<int>(words[2]) : std::nullopt;
        if (current == nullptr || !source || !level || *source >= current->sources ||
            *level >= kHistogramLevels) {
            return bad(i, "a damaged line");
        }
        const auto s = static_cast<std::size_t>(*source);
        const auto b = static_cast<std::size_t>(*level);
        if (kind == "e") {
            const auto count = wholeNumber<std::uint64_t>(words[3]);
            if (!count) {
                return bad(i, "a damaged count");
            }
            current->exact[s][b] = *count;
        } else if (kind == "p") {
            const auto weight = readHexWeight(words[3]);
            if (!weight) {
                return bad(i, "a damaged weight");
            }
            current->pooled[s][b] = *weight;
        } else {
            return bad(i, "a damaged line");
        }
    }
    return ok();
}

namespace {

Error partialsReplaced(const ShardFiles& shard) {
    return fileError(shard.folder + "/partials.txt: the file differs from the one its " +
                     "manifest was written for (damaged or replaced)");
}

} // namespace

Expected<std::string> shardPartials(const ShardFiles& shard, const ShardManifest& read) {
    Expected<std::string> text =
        shard.partials ? Expected<std::string>(*shard.partials)
                       : readWholeFile(shard.folder + "/partials.txt", kMaxPartialsBytes);
    if (text && textFingerprint(*text) != read.partialsHash) {
        return partialsReplaced(shard);
    }
    return text;
}

Status checkShards(const ShardManifest& manifest, const std::vector<ShardFiles>& shards) {
    std::vector<std::string> byIndex(static_cast<std::size_t>(manifest.count));
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
            differs(read->options != manifest.options, "the options");
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
        if (shard.partials && textFingerprint(*shard.partials) != read->partialsHash) {
            return partialsReplaced(shard);
        }
    }
    for (std::size_t i = 0; i < byIndex.size(); ++i) {
        if (byIndex[i].empty()) {
            return fileError("shard " + std::to_string(i) + " of " +
                             std::to_string(manifest.count) + " is missing");
        }
    }
    return ok();
}

Expected<StudyOutcome> mergeShards(const Study& study, const ShardManifest& manifest,
                                   const std::vector<ShardFiles>& shards) {
    if (Status s = checkShards(manifest, shards); !s) {
        return s.error();
    }
    StudyOutcome outcome;
    outcome.draws = manifest.options.draws;
    outcome.concentrations = manifest.options.concentrations && study.hasConcentrations;
    outcome.increment = toFloat(manifest.options.increment).value_or(0.0f);
    outcome.consumers.resize(study.consumers.size());
    std::vector<bool> seen(study.consumers.size(), false);
    for (const ShardFiles& shard : shards) {
        const Expected<std::string> partials =
            shardPartials(shard, *parseManifest(shard.manifest, shard.folder + "/manifest.txt"));
        if (!partials) {
            return partials.error();
        }
        if (Status s =
                readPartials(*partials, shard.folder + "/partials.txt", study, outcome, seen);
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
