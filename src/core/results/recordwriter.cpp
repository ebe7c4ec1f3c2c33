#include "core/results/recordwriter.h"

#include "core/base/numberformat.h"
#include "core/results/resultformat.h"

namespace fenlowick {

void RecordWriter::separate() {
    if (m_midRecord) {
        m_out += ',';
    }
    m_midRecord = true;
}

void RecordWriter::text(std::string_view value) {
    separate();
    m_out += '"';
    m_out += value;
    m_out += '"';
}

void RecordWriter::bare(std::string_view value) {
    separate();
    m_out += value;
}

void RecordWriter::single(float value) {
    bare(formatSingle(value));
}

void RecordWriter::dbl(double value) {
    bare(formatDouble(value));
}

void RecordWriter::count(std::uint64_t value) {
    bare(formatCount(value));
}

void RecordWriter::padRecord(int n) {
    if (n <= 0) {
        return;
    }
    separate();
    m_out += paddingText(n);
    m_midRecord = false;
}

void RecordWriter::endLine() {
    m_out += "\r\n";
    m_midRecord = false;
}

} // namespace fenlowick
