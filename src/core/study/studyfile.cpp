#include "core/study/studyfile.h"

#include "core/base/atomicfile.h"
#include "core/base/textencoding.h"
#include "core/entry/outputnaming.h"
#include "core/study/studyoptionsjson.h"

#include <filesystem>

namespace fenlowick {

namespace {

constexpr const char* kFormat = "fenlowick-study";
constexpr int kVersion = 1;
/// A study file is a few lines; anything much larger is no study file.
constexpr std::size_t kMaxStudyFileBytes = 1 << 20;

const char* computesName(StudyComputes computes) {
    switch (computes) {
    case StudyComputes::Posterior:
        return "posterior";
    case StudyComputes::Both:
        return "both";
    case StudyComputes::FeasibleSets:
        break;
    }
    return "feasible-sets";
}

std::filesystem::path absoluteNormal(const std::filesystem::path& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return (ec ? path : absolute).lexically_normal();
}

/// `table` relative to `folder` when it can be written so, as given otherwise.
std::string relativeTo(const std::string& table, const std::filesystem::path& folder) {
    if (table.empty()) {
        return table;
    }
    const std::filesystem::path relative =
        absoluteNormal(table).lexically_relative(absoluteNormal(folder));
    return relative.empty() ? table : relative.generic_string();
}

std::string fromFolder(const std::string& table, const std::filesystem::path& folder) {
    const std::filesystem::path path(table);
    return path.is_absolute() ? table : (folder / path).lexically_normal().string();
}

/// A word as a POSIX shell reads it back: bare when it holds only safe characters, in
/// single quotes otherwise.
std::string shellQuoted(const std::string& word) {
    const bool safe = !word.empty() &&
                      word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                             "0123456789-_./=,+:@%") == std::string::npos;
    if (safe) {
        return word;
    }
    return shellSingleQuoted(word);
}

std::string commandLine(const StudyFile& study, bool posterior, const std::string& folder) {
    std::vector<std::string> words = {"fenlowick-cli", "study", study.sources, study.consumers};
    if (!study.discrimination.empty()) {
        words.push_back("--discrimination=" + study.discrimination);
    }
    StudyOptions options = study.optionsOf(posterior);
    if (posterior) {
        // The posterior takes no tolerance.
        options.tolerance.clear();
    }
    for (std::string& word : studyOptionWords(options)) {
        words.push_back(std::move(word));
    }
    words.push_back("--output=" + folder);
    std::string line;
    for (const std::string& word : words) {
        line += (line.empty() ? "" : " ") + shellQuoted(word);
    }
    return line;
}

} // namespace

StudyOptions StudyFile::optionsOf(bool posterior) const {
    StudyOptions chosen = options;
    chosen.posterior = posterior;
    return chosen;
}

std::string composeStudyFile(const StudyFile& study, const std::string& path) {
    const std::filesystem::path folder = absoluteNormal(path).parent_path();
    Json json;
    json["format"] = kFormat;
    json["version"] = kVersion;
    json["tables"] = {{"sources", relativeTo(study.sources, folder)},
                      {"consumers", relativeTo(study.consumers, folder)},
                      {"discrimination", study.discrimination.empty()
                                             ? Json(nullptr)
                                             : Json(relativeTo(study.discrimination, folder))}};
    json["computes"] = computesName(study.computes);
    // The posterior's error and prior are kept whatever is computed, so that switching the
    // posterior on again finds them.
    json["options"] = studyOptionsJson(study.optionsOf(true));
    return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

Expected<StudyFile> readStudyFile(const std::string& path) {
    Expected<std::string> text = readWholeFile(path, kMaxStudyFileBytes);
    if (!text) {
        return text.error();
    }
    const auto refused = [&](const std::string& reason) {
        return Error{Error::Kind::FileRead, path + ": " + reason};
    };
    const Json json = Json::parse(*text, nullptr, false);
    if (json.is_discarded() || !json.is_object() ||
        member<std::string>(json, "format") != kFormat) {
        return refused("it is no Fenlowick study file");
    }
    if (member<int>(json, "version") != kVersion) {
        return refused("a study file of another version, which this program does not read");
    }
    const Json empty = Json::object();
    const Json& tables =
        json.contains("tables") && json["tables"].is_object() ? json["tables"] : empty;
    const Json& options =
        json.contains("options") && json["options"].is_object() ? json["options"] : empty;
    const auto sources = member<std::string>(tables, "sources");
    const auto consumers = member<std::string>(tables, "consumers");
    const auto discrimination = member<std::string>(tables, "discrimination");
    const bool noDiscrimination =
        !tables.contains("discrimination") || tables["discrimination"].is_null();
    const auto computes = member<std::string>(json, "computes");
    const std::optional<StudyOptions> studyOptions = studyOptionsFromJson(options);
    // The first field that is missing or of the wrong type, for a file edited by hand.
    const char* wrong = !sources                               ? "tables.sources"
                        : !consumers                           ? "tables.consumers"
                        : !discrimination && !noDiscrimination ? "tables.discrimination"
                        : !computes                            ? "computes"
                        : !studyOptions                        ? "options"
                                                               : nullptr;
    if (wrong != nullptr) {
        return refused(std::string(std::string_view(wrong) == "options"
                                       ? "a field of \"options\""
                                       : "the field \"" + std::string(wrong) + "\"") +
                       " is missing or of the wrong type");
    }
    StudyFile study;
    const std::filesystem::path folder = absoluteNormal(path).parent_path();
    study.sources = fromFolder(*sources, folder);
    study.consumers = fromFolder(*consumers, folder);
    study.discrimination = discrimination ? fromFolder(*discrimination, folder) : std::string();
    study.options = *studyOptions;
    if (*computes == "posterior") {
        study.computes = StudyComputes::Posterior;
    } else if (*computes == "both") {
        study.computes = StudyComputes::Both;
    } else if (*computes != "feasible-sets") {
        return refused("\"computes\" is \"" + *computes +
                       "\", not feasible-sets, posterior or both");
    }
    study.options.posterior = study.computes == StudyComputes::Posterior;
    return study;
}

std::vector<std::string> studyCommandLines(const StudyFile& study, const std::string& folder) {
    switch (study.computes) {
    case StudyComputes::FeasibleSets:
        return {commandLine(study, false, folder)};
    case StudyComputes::Posterior:
        return {commandLine(study, true, folder)};
    case StudyComputes::Both:
        break;
    }
    return {commandLine(study, false, joinFolder(folder, kFeasibleSetsFolder)),
            commandLine(study, true, joinFolder(folder, kPosteriorFolder))};
}

} // namespace fenlowick
