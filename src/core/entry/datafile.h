#pragma once

#include "core/base/expected.h"
#include "core/entry/entry.h"

#include <optional>
#include <string>
#include <string_view>

namespace fenlowick {

/// The largest data file that is read; an entry of 73 boxes is a few hundred bytes.
inline constexpr std::size_t kMaxDataFileBytes = 1u << 20;

/// The 13 lines of a data file: every box's text between double quotes, unchanged, fields
/// divided by single commas, lines ended by CR LF. Line 1 Title, Increment, Threshold;
/// line 2 the isotope labels; line 3 the mixtures; lines 4..13 a source label and its five
/// signatures each.
std::string serializeDataFile(const Entry& entry);

/// The first box (in data-file order) whose text holds a double quote, which a data file
/// cannot store; nothing when every box can be saved.
std::optional<int> firstFieldWithQuote(const Entry& entry);

/// Reads the first 73 fields of a data file's text (already decoded to UTF-8) into an entry.
/// Fails, naming what is wrong, when fewer than 73 fields are present, one of them lacks its
/// closing quote (the file was cut inside it), or the text holds a NUL byte (not a text file
/// at all).
Expected<Entry> parseDataFile(std::string_view text);

/// Reads a data file from disk: its bytes are decoded as UTF-8 when valid, otherwise as
/// Windows-1252. The error message names the file and the reason.
Expected<Entry> readDataFile(const std::string& path);

/// Writes a data file under a temporary name and moves it into place, so that a failed
/// save leaves any earlier file of that name intact.
Status writeDataFile(const std::string& path, const Entry& entry);

} // namespace fenlowick
