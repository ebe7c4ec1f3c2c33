#include "core/study/studyoptions.h"

#include "core/base/numerictext.h"

#include <charconv>

namespace fenlowick {

Expected<float> checkStudyOptions(const StudyOptions& options) {
    const std::optional<float> increment = toFloat(options.increment);
    if (!increment || !(*increment >= 1.0f && *increment <= 100.0f)) {
        return Error{Error::Kind::Refused, "The increment \"" + options.increment +
                                               "\" is not a number from 1 to 100 (percent)."};
    }
    if (!isNumeric(options.tolerance)) {
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
    // from_chars would take a leading minus sign for a signed type only, but it must see
    // nothing but digits: no sign, no blanks, no "0x".
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    std::uint64_t seed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seed);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return seed;
}

std::vector<std::string> studyOptionWords(const StudyOptions& options) {
    // Each option and its value in one word, so that a value beginning with "-" is never
    // taken for an option.
    std::vector<std::string> words = {
        "--increment=" + options.increment, "--tolerance=" + options.tolerance,
        "--draws=" + std::to_string(options.draws), "--seed=" + std::to_string(options.seed)};
    for (const std::string& by : options.by) {
        words.push_back("--by=" + by);
    }
    for (const std::string& limit : options.limits) {
        words.push_back("--limit=" + limit);
    }
    if (!options.concentrations) {
        words.emplace_back("--no-concentrations");
    }
    return words;
}

} // namespace fenlowick
