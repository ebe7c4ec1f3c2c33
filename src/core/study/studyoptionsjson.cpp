#include "core/study/studyoptionsjson.h"

namespace fenlowick {

Json studyOptionsJson(const StudyOptions& options) {
    Json json = {{"increment", options.increment},
                 {"tolerance", options.tolerance},
                 {"draws", options.draws},
                 {"seed", options.seed},
                 {"by", options.by},
                 {"limits", options.limits},
                 {"concentrations", options.concentrations}};
    if (options.posterior) {
        json["posterior"] = {{"error", options.error}, {"prior", options.prior}};
    }
    return json;
}

std::optional<StudyOptions> studyOptionsFromJson(const Json& json) {
    const auto increment = member<std::string>(json, "increment");
    const auto tolerance = member<std::string>(json, "tolerance");
    const auto draws = member<int>(json, "draws");
    const auto seed = member<std::uint64_t>(json, "seed");
    const auto by = member<std::vector<std::string>>(json, "by");
    const auto limits = member<std::vector<std::string>>(json, "limits");
    const auto concentrations = member<bool>(json, "concentrations");
    if (!increment || !tolerance || !draws || !seed || !by || !limits || !concentrations) {
        return std::nullopt;
    }
    StudyOptions options;
    options.increment = *increment;
    options.tolerance = *tolerance;
    options.draws = *draws;
    options.seed = *seed;
    options.by = *by;
    options.concentrations = *concentrations;
    options.limits = *limits;
    if (json.contains("posterior")) {
        const Json& posterior = json["posterior"];
        const auto error = member<std::string>(posterior, "error");
        const auto prior = member<std::string>(posterior, "prior");
        if (!error || !prior) {
            return std::nullopt;
        }
        options.posterior = true;
        options.error = *error;
        options.prior = *prior;
    }
    return options;
}

} // namespace fenlowick
