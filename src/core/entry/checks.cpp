#include "core/entry/checks.h"

#include "core/base/numerictext.h"
#include "core/entry/messages.h"

#include <cmath>
#include <optional>

namespace fenlowick {

namespace {

/// The largest signature whose products with the shares and their sums stay finite in
/// single precision (2^121, about 2.66e36): 100 × it leaves room to spare below float's limit.
constexpr float kLargestSignature = 0x1p121f;

Error refusal(std::string message) {
    return Error{Error::Kind::Refused, std::move(message)};
}

} // namespace

bool isMissingLabel(std::string_view label) {
    return label.empty() || label == " " || static_cast<unsigned char>(label.front()) < 0x20;
}

Expected<CalculationInput> checkEntry(const Entry& entry) {
    return checkEntry(entry, CheckRules{});
}

Expected<CalculationInput> checkEntry(const Entry& entry, const CheckRules& rules) {
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
        if (rules.limitDecimalPlaces) {
            return refusal(messages::kTooManyDecimals);
        }
        input.decimalPlaces = 6;
        input.decimalScale = 1000000;
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
    if (input.lastSource + 1 < rules.fewestSources) {
        return refusal(messages::kTooFewSources);
    }
    // Numbers that pass the numeric rule but overflow the types the search works in.
    const auto tooLarge = [&](int fieldIndex) {
        return refusal("The number in " + boxDescription(fieldIndex) + " (\"" +
                       entryField(entry, fieldIndex) + "\") is too large to calculate with.");
    };
    if (!std::isfinite(input.tolerance100) ||
        !std::isfinite(std::trunc(input.decimalScale * input.tolerance100))) {
        return tooLarge(2);
    }
    for (int k = 0; k <= input.lastIsotope; ++k) {
        const auto mixture = toFloat(entry.mixture[k]);
        if (!std::isfinite(input.mixture100[k]) || (mixture && std::isinf(*mixture))) {
            return tooLarge(8 + k);
        }
    }
    for (int i = 0; i <= input.lastSource; ++i) {
        for (int k = 0; k <= input.lastIsotope; ++k) {
            // The search multiplies a signature by a share of up to 100 and sums such
            // products in single precision: a signature beyond float's limit / 128 could
            // overflow to infinity there and no combination would be kept (nor could any
            // tolerance be named that keeps one).
            if (!(std::fabs(input.signature[k][i]) <= kLargestSignature)) {
                return tooLarge(14 + 6 * i + k);
            }
        }
    }
    // The result files quote the title, the labels and the signature texts as typed, and
    // their readers must be able to take them back.
    const auto refuseUnstorable = [&](int fieldIndex) -> std::optional<Error> {
        if (auto message = unstorableTextMessage(entry, fieldIndex)) {
            return refusal(*message);
        }
        return std::nullopt;
    };
    for (int fieldIndex : {0, 1, 2}) {
        if (auto refused = refuseUnstorable(fieldIndex)) {
            return *refused;
        }
    }
    for (int k = 0; k <= input.lastIsotope; ++k) {
        if (auto refused = refuseUnstorable(3 + k)) {
            return *refused;
        }
    }
    for (int i = 0; i <= input.lastSource; ++i) {
        for (int column = 0; column <= input.lastIsotope + 1; ++column) {
            // Column 0 of a data-file row is the label, then the signatures.
            if (auto refused = refuseUnstorable(13 + 6 * i + column)) {
                return *refused;
            }
        }
    }
    return input;
}

std::optional<std::string> negativeToleranceMessage(const Entry& entry) {
    const std::optional<double> tolerance = toDouble(entry.threshold);
    if (!tolerance || *tolerance >= 0.0) {
        return std::nullopt;
    }
    return "The tolerance " + entry.threshold +
           " is negative, so no combination can come within it; give a tolerance of 0 or more.";
}

} // namespace fenlowick
