#pragma once

#include <string>
#include <string_view>

namespace fenlowick {

/// A label made safe as the base name of a file on every common system: letters, digits,
/// "-" and "_" are kept (letters beyond ASCII too), every run of other characters (blanks,
/// ".", "/", "\", ":" and the like) becomes one "_", and "_" at either end is dropped.
/// A label with nothing left gives "mixture". "Lake trout 1.5" gives "Lake_trout_1_5".
/// No "." is left, so the extension rule of the result files cannot cut the name short.
std::string safeFileName(std::string_view label);

/// The text cut to at most `maxBytes` bytes at the start of a UTF-8 character, so that no
/// character is split (for names that must stay within a file system's 255 bytes).
std::string cutToBytes(std::string text, std::size_t maxBytes);

} // namespace fenlowick
