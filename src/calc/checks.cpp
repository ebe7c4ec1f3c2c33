#include "checks.h"

#include "messages.h"
#include "numerictext.h"

#include <cmath>

namespace fenlowick {

namespace {

Error refusal(std::string message) {
    return Error{Error::Kind::Refused, std::move(message)};
}

} // namespace

bool isMissingLabel(std::string_view label) {
    return label.empty() || label == " " || static_cast<unsigned char>(label.front()) < 0x20;
}

Expected<CalculationInput> checkEntry(const Entry& entry) {
    if (!isNumeric(entry.increment)) {
        return refusal(messages::kNoIncrement);
    }
    if (!isNumeric(entry.threshold)) {
        return refusal(messages::kNoTolerance);
    }
    // The entry rule of the window keeps the increment within 1..100 only when the focus
    // leaves its box; a value typed just before Calc or loaded from a file arrives here
    // unchecked, and the search cannot run with it (0 would never end).
    const float increment = *toFloat(entry.increment);
    if (!(increment >= 1.0f && increment <= 100.0f)) {
        return refusal(messages::kIncrementRange);
    }
    CalculationInput input = deriveCalculationInput(entry);
    if (input.decimalPlaces > 6) {
        return refusal(messages::kTooManyDecimals);
    }
    if (input.lastSource < 0) {
        return refusal(messages::kNoData);
    }
    for (int i = 0; i <= input.lastSource; ++i) {
        if (isMissingLabel(entry.sources[i])) {
            return refusal(messages::kNoSourceLabels);
        }
    }
    for (int k = 0; k <= input.lastIsotope; ++k) {
        if (isMissingLabel(entry.isotope[k])) {
            return refusal(messages::kNoIsotopeLabels);
        }
    }
    if (input.lastSource < 2) {
        return refusal(messages::kTooFewSources);
    }
    for (int k = 0; k <= input.lastIsotope; ++k) {
        // The totals file holds each mixture as a single-precision number.
        const auto mixture = toFloat(entry.mixture[k]);
        if (mixture && std::isinf(*mixture)) {
            return refusal("The mixture for " + entry.isotope[k] + " (\"" + entry.mixture[k] +
                           "\") is too large to calculate with.");
        }
        for (int i = 0; i <= input.lastSource; ++i) {
            if (std::isinf(input.signature[k][i])) {
                return refusal("The signature in " + entry.sources[i] + " for " + entry.isotope[k] +
                               " (\"" + entry.col[k][i] + "\") is too large to calculate with.");
            }
        }
    }
    return input;
}

} // namespace fenlowick
