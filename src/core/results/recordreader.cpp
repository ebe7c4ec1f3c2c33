#include "core/results/recordreader.h"

#include "core/base/atomicfile.h"
#include "core/base/numberformat.h"
#include "core/base/numerictext.h"
#include "core/base/textencoding.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace fenlowick {

int RecordReader::read(Record& record) {
    int count = 0;
    for (Field& field : record) {
        std::optional<Field> next = m_fields.next();
        if (!next) {
            field = Field{};
            continue;
        }
        field = std::move(*next);
        ++count;
    }
    return count;
}

std::string displayText(const Field& field) {
    if (!field.quoted) {
        if (const std::optional<double> value = toDouble(field.text)) {
            return ordinaryNumberText(*value);
        }
    }
    return decodeToUtf8(field.text);
}

std::string ordinaryNumberText(double value) {
    std::string text = formatDouble(value);
    const std::size_t point = text.find('.');
    if (point == 0 || (point == 1 && text[0] == '-')) {
        text.insert(point, 1, '0');
    }
    return text;
}

Expected<FilePrefix> readFilePrefix(const std::string& path, std::size_t maxBytes) {
    if (auto reason = notAFileToRead(path)) {
        return Error{Error::Kind::FileRead, "Cannot read " + path + ": " + *reason};
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int error = errno;
        return Error{Error::Kind::FileRead, "Cannot open " + path + ": " + std::strerror(error)};
    }
    FilePrefix prefix;
    prefix.bytes.resize(maxBytes);
    in.read(prefix.bytes.data(), static_cast<std::streamsize>(maxBytes));
    const auto count = static_cast<std::size_t>(in.gcount());
    if (in.bad()) {
        return Error{Error::Kind::FileRead, "Cannot read " + path};
    }
    prefix.bytes.resize(count);
    // A short read means the end of the file; a full one is complete only when nothing
    // follows.
    prefix.complete = count < maxBytes || in.peek() == std::char_traits<char>::eof();
    return prefix;
}

} // namespace fenlowick
