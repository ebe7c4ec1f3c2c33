#include "core/entry/datafile.h"

#include "core/base/atomicfile.h"
#include "core/base/fieldreader.h"
#include "core/base/textencoding.h"

namespace fenlowick {

std::string serializeDataFile(const Entry& entry) {
    static constexpr int kLineLengths[] = {3, 5, 5, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6};
    std::string out;
    int index = 0;
    for (int length : kLineLengths) {
        for (int i = 0; i < length; ++i, ++index) {
            if (i > 0) {
                out += ',';
            }
            out += '"';
            out += entryField(entry, index);
            out += '"';
        }
        out += "\r\n";
    }
    return out;
}

std::optional<int> firstFieldWithQuote(const Entry& entry) {
    for (int index = 0; index < kEntryFieldCount; ++index) {
        if (entryField(entry, index).find('"') != std::string::npos) {
            return index;
        }
    }
    return std::nullopt;
}

Expected<Entry> parseDataFile(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) {
        return Error{Error::Kind::FileRead, "it holds binary data, not the text of a data file"};
    }
    FieldReader reader(text);
    Entry entry;
    for (int index = 0; index < kEntryFieldCount; ++index) {
        std::optional<Field> field = reader.next();
        if (!field) {
            return Error{Error::Kind::FileRead,
                         "it holds " + std::to_string(index) +
                             " fields where a data file has 73 (the file ends before " +
                             boxName(index) + ")"};
        }
        if (field->unterminated) {
            return Error{Error::Kind::FileRead, "it ends inside the quoted text of " +
                                                    boxName(index) +
                                                    " (a closing double quote is missing)"};
        }
        entryField(entry, index) = std::move(field->text);
    }
    return entry;
}

Expected<Entry> readDataFile(const std::string& path) {
    Expected<std::string> bytes = readWholeFile(path, kMaxDataFileBytes);
    if (!bytes) {
        return bytes.error();
    }
    Expected<Entry> entry = parseDataFile(decodeToUtf8(*bytes));
    if (!entry) {
        return Error{Error::Kind::FileRead,
                     "Could not read " + path + ": " + entry.error().message};
    }
    return entry;
}

Status writeDataFile(const std::string& path, const Entry& entry) {
    if (const auto field = firstFieldWithQuote(entry)) {
        return Error{Error::Kind::Refused, quoteRefusalMessage(*field)};
    }
    return writeFileAtomically(path, serializeDataFile(entry));
}

} // namespace fenlowick
