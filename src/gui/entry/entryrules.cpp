#include "gui/entry/entryrules.h"

#include "core/base/numerictext.h"
#include "core/entry/entry.h"
#include "core/entry/messages.h"

#include <stdexcept>

namespace fenlowick {

namespace {

constexpr int kFirstIsotope = 3;
constexpr int kFirstMixture = 8;
constexpr int kFirstSource = 13;
constexpr int kFirstSignature = 23;

void requireTab(int tab) {
    if (tab < 0 || tab > kLastTabIndex) {
        throw std::out_of_range("entry box tab index");
    }
}

} // namespace

BoxKind boxKindOfTab(int tab) {
    requireTab(tab);
    if (tab == 0) {
        return BoxKind::Title;
    }
    if (tab == 1) {
        return BoxKind::Increment;
    }
    if (tab == 2) {
        return BoxKind::Tolerance;
    }
    if (tab < kFirstMixture) {
        return BoxKind::IsotopeLabel;
    }
    if (tab < kFirstSource) {
        return BoxKind::Mixture;
    }
    if (tab < kFirstSignature) {
        return BoxKind::SourceLabel;
    }
    return BoxKind::Signature;
}

bool focusColoursText(BoxKind kind) {
    return kind != BoxKind::IsotopeLabel && kind != BoxKind::SourceLabel;
}

std::optional<std::string> leaveCheckMessage(BoxKind kind, std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    switch (kind) {
    case BoxKind::Title:
    case BoxKind::IsotopeLabel:
    case BoxKind::SourceLabel:
        return std::nullopt;
    case BoxKind::Increment: {
        // The range is tested in single precision, as the run reads the increment.
        const std::optional<float> value = toFloat(text);
        if (!value) {
            return messages::kIncrementNotNumeric;
        }
        if (*value < 1.0f || *value > 100.0f) {
            return messages::kIncrementRange;
        }
        return std::nullopt;
    }
    case BoxKind::Tolerance:
        return isNumeric(text) ? std::nullopt
                               : std::optional<std::string>(messages::kToleranceNotNumeric);
    case BoxKind::Mixture:
    case BoxKind::Signature:
        break;
    }
    return isNumeric(text) ? std::nullopt : std::optional<std::string>(messages::kValueNotNumeric);
}

std::optional<int> enterTarget(int tab) {
    requireTab(tab);
    if (tab == kLastTabIndex) {
        return std::nullopt;
    }
    return tab + 1;
}

int letterTarget(int letter) {
    if (letter < 0 || letter >= kLetterBoxCount) {
        throw std::out_of_range("letter box index");
    }
    return letter == 0 ? 0 : kLastTabIndex;
}

int fieldIndexOfTab(int tab) {
    requireTab(tab);
    if (tab < kFirstSource) {
        // Title, Increment, Threshold, the isotope labels and the mixtures come in the same
        // order in both numberings.
        return tab;
    }
    if (tab < kFirstSignature) {
        return kFirstSource + (tab - kFirstSource) * (kIsotopeColumns + 1);
    }
    const int column = (tab - kFirstSignature) / kSourceRows;
    const int row = (tab - kFirstSignature) % kSourceRows;
    return kFirstSource + row * (kIsotopeColumns + 1) + 1 + column;
}

std::string boxObjectName(int tab) {
    switch (boxKindOfTab(tab)) {
    case BoxKind::Title:
        return "Title";
    case BoxKind::Increment:
        return "Increment";
    case BoxKind::Tolerance:
        return "Threshold";
    case BoxKind::IsotopeLabel:
        return "Isotope_" + std::to_string(tab - kFirstIsotope);
    case BoxKind::Mixture:
        return "Mixture_" + std::to_string(tab - kFirstMixture);
    case BoxKind::SourceLabel:
        return "Sources_" + std::to_string(tab - kFirstSource);
    case BoxKind::Signature:
        break;
    }
    const int column = (tab - kFirstSignature) / kSourceRows;
    const int row = (tab - kFirstSignature) % kSourceRows;
    return "Col" + std::to_string(column) + "_" + std::to_string(row);
}

} // namespace fenlowick
