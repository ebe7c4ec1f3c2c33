#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace fenlowick {

/// Builds the records of the result files (see resultformat.h): fields divided by commas,
/// text fields in double quotes written unchanged, bare numbers, each record ended by CR LF.
/// Appends to a string owned by the caller, which decides when to write it out.
class RecordWriter {
public:
    explicit RecordWriter(std::string& out) : m_out(out) {}

    void text(std::string_view value);
    void single(float value);
    void dbl(double value);
    void count(std::uint64_t value);
    /// A field written exactly as given, without quotes (an already formatted number).
    void bare(std::string_view value);

    /// Adds n empty text fields and ends the record with the last of them (paddingText).
    /// Nothing for n <= 0.
    void padRecord(int n);

    /// Ends the current line after the fields written so far.
    void endLine();

private:
    void separate();

    std::string& m_out;
    bool m_midRecord = false;
};

} // namespace fenlowick
