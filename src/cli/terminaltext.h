#pragma once

#include <string>
#include <string_view>

namespace fenlowick {

/// A text as the command-line program prints it for people: control characters other than
/// line ends and tabs (ESC, BEL, backspace, the C1 controls...) become visible escapes such as
/// "\x1b", so that a label from a table cannot move the cursor, recolour or clear the
/// terminal. Tables written for other programs (--csv, summary.csv) keep their texts.
std::string terminalText(std::string_view text);

} // namespace fenlowick
