#pragma once

// The JSON form of a study's options, shared by the shard manifest and the study file.
// Included by the core's own sources only: the JSON library is the core's private affair.

#include "core/study/studyoptions.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace fenlowick {

using Json = nlohmann::ordered_json;

/// The JSON value's member `key` as T, or nothing when it is missing or of another type.
template <typename T> std::optional<T> member(const Json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end()) {
        return std::nullopt;
    }
    if constexpr (std::is_same_v<T, std::string>) {
        return it->is_string() ? std::optional(it->template get<std::string>()) : std::nullopt;
    } else if constexpr (std::is_same_v<T, bool>) {
        return it->is_boolean() ? std::optional(it->template get<bool>()) : std::nullopt;
    } else if constexpr (std::is_same_v<T, std::vector<std::string>>) {
        if (!it->is_array()) {
            return std::nullopt;
        }
        std::vector<std::string> items;
        for (const Json& item : *it) {
            if (!item.is_string()) {
                return std::nullopt;
            }
            items.push_back(item.get<std::string>());
        }
        return items;
    } else {
        // Whole numbers: JSON's unsigned integers within T's range.
        if (!it->is_number_unsigned() ||
            it->template get<std::uint64_t>() >
                static_cast<std::uint64_t>(std::numeric_limits<T>::max())) {
            return std::nullopt;
        }
        return static_cast<T>(it->template get<std::uint64_t>());
    }
}

/// The options as a JSON object: increment, tolerance, draws, seed, by, limits,
/// concentrations and, for the posterior only, "posterior": {error, prior}.
Json studyOptionsJson(const StudyOptions& options);

/// The options of such an object; nothing when a member is missing or of another type.
/// Unchecked: the values are checked where options enter (checkStudyOptions).
std::optional<StudyOptions> studyOptionsFromJson(const Json& json);

} // namespace fenlowick
