#include "core/study/studyoptions.h"

#include "core/base/numerictext.h"

namespace fenlowick {

Expected<float> checkStudyOptions(const StudyOptions& options) {
    const std::optional<float> increment = toFloat(options.increment);
    if (!increment || !(*increment >= 1.0f && *increment <= 100.0f)) {
        return Error{Error::Kind::Refused, "The increment \"" + options.increment +
                                               "\" is not a number from 1 to 100 (percent)."};
    }
    if (!isNumeric(options.tolerance) && !(options.posterior && options.tolerance.empty())) {
        return Error{Error::Kind::Refused,
                     "The tolerance \"" + options.tolerance + "\" is not a number."};
    }
    if (options.draws < 0 || options.draws > kStudyMaxDraws) {
        return Error{Error::Kind::Refused, "The number of draws " + std::to_string(options.draws) +
                                               " is not from 0 to " +
                                               std::to_string(kStudyMaxDraws) + "."};
    }
    return *increment;
}

std::optional<std::uint64_t> parseSeed(std::string_view text) {
    return wholeNumber<std::uint64_t>(text);
}

std::vector<std::string> studyOptionWords(const StudyOptions& options) {
    // Each option and its value in one word, so that a value beginning with "-" is never
    // taken for an option.
    std::vector<std::string> words = {"--increment=" + options.increment};
    if (!options.tolerance.empty()) {
        words.push_back("--tolerance=" + options.tolerance);
    }
    words.push_back("--draws=" + std::to_string(options.draws));
    words.push_back("--seed=" + std::to_string(options.seed));
    for (const std::string& by : options.by) {
        words.push_back("--by=" + by);
    }
    for (const std::string& limit : options.limits) {
        words.push_back("--limit=" + limit);
    }
    if (!options.concentrations) {
        words.emplace_back("--no-concentrations");
    }
    if (options.posterior) {
        words.emplace_back("--posterior");
        words.push_back("--error=" + options.error);
        if (!options.prior.empty()) {
            words.push_back("--prior=" + options.prior);
        }
    }
    return words;
}

} // namespace fenlowick
