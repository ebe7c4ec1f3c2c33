#include "core/entry/calculationinput.h"

#include "core/base/numerictext.h"

#include <algorithm>

namespace fenlowick {

int decimalPlacesOf(const Entry& entry) {
    int decimalsMixture = 0;
    for (const std::string& text : entry.mixture) {
        decimalsMixture = std::max(decimalsMixture, numberOfDecimals(text));
    }
    int decimalsSignature = 0;
    for (const auto& column : entry.col) {
        for (const std::string& text : column) {
            decimalsSignature = std::max(decimalsSignature, numberOfDecimals(text));
        }
    }
    return std::max({numberOfDecimals(entry.increment) + decimalsSignature, decimalsMixture,
                     numberOfDecimals(entry.threshold)});
}

CalculationInput deriveCalculationInput(const Entry& entry) {
    CalculationInput input;
    input.incrementPercent = toFloat(entry.increment).value_or(0.0f);
    input.tolerance100 = toDouble(entry.threshold).value_or(0.0) * 100.0;
    for (int k = 0; k < kIsotopeColumns; ++k) {
        const auto value = toDouble(entry.mixture[k]);
        input.mixture100[k] = value ? *value * 100.0 : 0.0;
    }
    for (int i = 0; i < kSourceRows; ++i) {
        for (int k = 0; k < kIsotopeColumns; ++k) {
            const auto value = toFloat(entry.col[k][i]);
            if (value) {
                input.signature[k][i] = *value;
                input.lastSource = static_cast<std::int16_t>(i);
                input.lastIsotope = std::max(input.lastIsotope, static_cast<std::int16_t>(k));
            }
        }
    }
    // Clamped so that an absurdly long text cannot wrap the 16-bit figure below the limit.
    input.decimalPlaces = static_cast<std::int16_t>(std::min(decimalPlacesOf(entry), 99));
    if (input.decimalPlaces <= 6) {
        std::int32_t scale = 1;
        for (int d = 0; d < input.decimalPlaces; ++d) {
            scale *= 10;
        }
        input.decimalScale = scale;
    }
    return input;
}

} // namespace fenlowick
