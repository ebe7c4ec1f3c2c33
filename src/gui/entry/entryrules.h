#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fenlowick {

/// The main window's 73 entry boxes are addressed by tab index 0..72: 0 Title, 1 Increment,
/// 2 Threshold, 3..7 Isotope(0..4), 8..12 Mixture(0..4), 13..22 Sources(0..9), then the
/// signatures down each isotope column, 23 + 10k + i for Col<k>(i).
inline constexpr int kEntryBoxCount = 73;
inline constexpr int kLastTabIndex = kEntryBoxCount - 1;

/// The seven letter boxes S O U R C E S beside the source labels.
inline constexpr int kLetterBoxCount = 7;

enum class BoxKind {
    Title,
    Increment,
    Tolerance,
    IsotopeLabel,
    Mixture,
    SourceLabel,
    Signature,
};

/// The kind of the box with a tab index 0..72.
BoxKind boxKindOfTab(int tab);

/// True for the boxes whose text turns white while they hold the focus; the isotope and
/// source labels always have white text and only change their background.
bool focusColoursText(BoxKind kind);

/// The check made when the focus is about to leave a box, or Enter is pressed in it: the
/// program's message when the text is refused, nothing when it passes. Empty text always
/// passes; the title and the labels are never checked.
std::optional<std::string> leaveCheckMessage(BoxKind kind, std::string_view text);

/// Where Enter moves the focus from the box with tab index `tab`: the next tab index, or
/// nothing from the last signature box Col4(9).
std::optional<int> enterTarget(int tab);

/// The tab index that a letter box hands the focus to when it is clicked: Title for the
/// top letter, Col4(9) for every other.
int letterTarget(int letter);

/// The position of a box's text in an Entry and in a data file (see entryField).
int fieldIndexOfTab(int tab);

/// The object name of a box: "Title", "Increment", "Threshold", "Isotope_<k>",
/// "Mixture_<k>", "Sources_<i>", "Col<k>_<i>".
std::string boxObjectName(int tab);

namespace messages {
inline constexpr const char* kIncrementNotNumeric =
    "Please enter only numeric values between 1 and 100";
inline constexpr const char* kToleranceNotNumeric = "Please enter only numeric values";
/// The mixture and signature boxes' message ends with one blank.
inline constexpr const char* kValueNotNumeric = "Please enter only numeric values ";
} // namespace messages

} // namespace fenlowick
