#pragma once

#include <cstddef>
#include <cstdint>

namespace fenlowick::fuzz {

// Each target takes arbitrary bytes, must never crash, hang or leak, and aborts when one of
// the program's own invariants fails. The fuzz builds call them from libFuzzer; the test
// suite replays the kept inputs through them.

/// The data-file reader: whatever the bytes, a clear error or an entry; an entry without
/// double quotes survives being saved and read again unchanged.
int fuzzDataFile(const std::uint8_t* data, std::size_t size);

/// The field reader of the program's text files: always reaches the end, one field at a time.
int fuzzFieldReader(const std::uint8_t* data, std::size_t size);

/// The numeric text rule: the test and the conversions agree, and formatting any value
/// read gives text that reads back.
int fuzzNumericText(const std::uint8_t* data, std::size_t size);

/// The readers of the statistics viewer and the graph window: the grid takes at most 199
/// records, the graph either refuses the text or gives a table it can chart.
int fuzzResultReaders(const std::uint8_t* data, std::size_t size);

/// A whole calculation from a fuzzed entry, its search kept small: the checks, the header,
/// the search (the program's against the plain enumeration) and the totals.
int fuzzCalculation(const std::uint8_t* data, std::size_t size);

} // namespace fenlowick::fuzz
