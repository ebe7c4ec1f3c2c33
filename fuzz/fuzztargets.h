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

/// The CSV table reader: a table or a refusal naming the file; text without quotes is read
/// as a plain split at lines and separators reads it (refused exactly when a row has a value
/// beyond the header's columns); every cell and header, written by csvField, reads back.
int fuzzCsvTable(const std::uint8_t* data, std::size_t size);

/// A study's tables (sources, consumers and optionally discrimination, cut at NUL bytes): a
/// refusal or a study whose source sets hold 2 to 10 sources and 1 to 5 tracers, every
/// consumer's values numeric.
int fuzzStudyTables(const std::uint8_t* data, std::size_t size);

/// The shard manifest: a manifest read is written by composeManifest and read back equal.
int fuzzShardManifest(const std::uint8_t* data, std::size_t size);

/// A shard's partial results for a study of three consumers: refused naming the line, or
/// read; what was read, written again, reads back the same bit for bit.
int fuzzShardPartials(const std::uint8_t* data, std::size_t size);

/// A shard's partial sums of a posterior of one group (two sources, two grid steps, one
/// tracer, two consumers): refused naming the line and adding nothing, or read; what was
/// read, written and read again, is written the same.
int fuzzPosteriorPartials(const std::uint8_t* data, std::size_t size);

/// Limits on the shares against two to five sources: what is read is well formed, and the
/// refusal of limits the grid cannot meet agrees with a visit of every combination.
int fuzzShareLimits(const std::uint8_t* data, std::size_t size);

/// Import from spreadsheet tables (sources, mixtures and corrections, cut at NUL bytes): a
/// clear refusal, or entries that pass the run's checks and survive their data file.
int fuzzImport(const std::uint8_t* data, std::size_t size);

} // namespace fenlowick::fuzz
