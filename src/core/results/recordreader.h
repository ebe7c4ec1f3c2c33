#pragma once

#include "core/base/expected.h"
#include "core/base/fieldreader.h"
#include "core/results/resultformat.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace fenlowick {

/// Reads the records of a result file (see resultformat.h): kRecordFields fields at a time
/// by the shared field rule, so a record may span lines. The text may be only the beginning of a
/// file (see readFilePrefix): once a reader is at the end of such a text, whatever it decided there
/// must be decided again from a longer prefix.
class RecordReader {
public:
    explicit RecordReader(std::string_view text) : m_fields(text) {}

    /// The next complete record. False when the text ends before the last field: at the
    /// end of the text (no field read) or inside a record (some fields read).
    bool next(Record& record) { return read(record) == kRecordFields; }

    /// Reads the next record as far as the text goes and returns the count of fields read:
    /// kRecordFields for a complete record, 0 at the end of the text. The fields not read
    /// are left empty.
    int read(Record& record);

    /// No more characters to read.
    bool atEnd() const { return m_fields.atEnd(); }

private:
    FieldReader m_fields;
};

/// A field as the result windows show it: a quoted field's text; a bare number in its
/// ordinary text form (see ordinaryNumberText); any other bare text as it stands. Text that
/// is not UTF-8 is taken as Windows-1252.
std::string displayText(const Field& field);

/// The ordinary text form of a number: up to 15 significant digits, a "0" before the
/// decimal point of a value below 1, no trailing zeros, "." as the decimal point.
/// .05 gives 0.05, 25 gives 25, -.5 gives -0.5, 1E-04 stays 1E-04.
std::string ordinaryNumberText(double value);

/// The beginning of a file, at most `maxBytes` long, and whether it is the whole file.
struct FilePrefix {
    std::string bytes;
    bool complete = false;
};

/// Reads up to `maxBytes` from the start of a file. The error names the file and the reason.
Expected<FilePrefix> readFilePrefix(const std::string& path, std::size_t maxBytes);

/// Runs a reader over growing prefixes of a file until its result no longer depends on the
/// unread rest: `parse(text, complete)` returns a result with a `needsMore` member that is
/// true when it looked at the end of an incomplete text. The first prefix is 64 KiB, each
/// next one four times longer. A failure to read is returned as the error.
template <typename Result, typename Parse>
Expected<Result> parseFileGrowing(const std::string& path, Parse parse) {
    std::size_t limit = std::size_t{64} * 1024;
    for (;;) {
        Expected<FilePrefix> prefix = readFilePrefix(path, limit);
        if (!prefix) {
            return prefix.error();
        }
        Result result = parse(std::string_view(prefix->bytes), prefix->complete);
        if (!result.needsMore || prefix->complete) {
            result.needsMore = false;
            return result;
        }
        limit *= 4;
    }
}

} // namespace fenlowick
