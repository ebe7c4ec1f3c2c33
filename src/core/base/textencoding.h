#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fenlowick {

/// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool isValidUtf8(std::string_view bytes);

/// The number of characters (code points) of UTF-8 text: its bytes that do not continue a
/// character.
std::size_t utf8Length(std::string_view text);

/// Text read from a file as UTF-8: unchanged when it is valid UTF-8 (less a leading byte
/// order mark, which some editors put in front), otherwise decoded as Windows-1252, the code
/// page in which older data files were written.
std::string decodeToUtf8(std::string_view bytes);

/// True when the text holds a control character (a byte below the space, or DEL): a line
/// break, a tab, a terminal escape.
bool hasControlCharacter(std::string_view text);

/// A word for a POSIX shell in single quotes, each single quote in it closed, escaped and
/// reopened: the shell reads it back as it is, whatever it holds.
std::string shellSingleQuoted(std::string_view word);

/// The parts of a text between separators, in order; nothing after a last separator (a
/// final line end) makes no part, and an empty text has none. The parts view `text`.
std::vector<std::string_view> splitText(std::string_view text, char separator);

} // namespace fenlowick
