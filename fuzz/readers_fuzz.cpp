#include "core/base/fieldreader.h"
#include "core/base/numberformat.h"
#include "core/base/numerictext.h"
#include "core/base/textencoding.h"
#include "core/entry/datafile.h"
#include "fuzzcheck.h"
#include "fuzztargets.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

namespace fenlowick::fuzz {

namespace {

std::string_view bytesOf(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

} // namespace

int fuzzDataFile(const std::uint8_t* data, std::size_t size) {
    const std::string text = decodeToUtf8(bytesOf(data, size));
    FUZZ_CHECK(isValidUtf8(text));
    const Expected<Entry> entry = parseDataFile(text);
    if (!entry) {
        FUZZ_CHECK(!entry.error().message.empty());
        return 0;
    }
    if (!firstFieldWithQuote(*entry)) {
        const Expected<Entry> again = parseDataFile(serializeDataFile(*entry));
        FUZZ_CHECK(again.hasValue());
        FUZZ_CHECK(*again == *entry);
    }
    return 0;
}

int fuzzFieldReader(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = bytesOf(data, size);
    FieldReader reader(text);
    std::size_t fields = 0;
    while (reader.next()) {
        ++fields;
        // Every field consumes at least one byte, so the reader always ends.
        FUZZ_CHECK(fields <= text.size());
    }
    FUZZ_CHECK(reader.atEnd());
    return 0;
}

int fuzzNumericText(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = bytesOf(data, size);
    const auto value = toDouble(text);
    FUZZ_CHECK(isNumeric(text) == value.has_value());
    FUZZ_CHECK(toFloat(text).has_value() == value.has_value());
    FUZZ_CHECK(numberOfDecimals(text) >= 0);
    if (!value) {
        return 0;
    }
    FUZZ_CHECK(std::isfinite(*value));
    const std::string written = formatDouble(*value);
    const auto reread = toDouble(written);
    // Rounding to 15 digits may carry the very largest doubles past the range.
    FUZZ_CHECK(reread.has_value() || std::fabs(*value) > 1.79769313486231e308);
    if (!reread) {
        return 0;
    }
    // Fifteen significant digits bring the value back within a relative 1e-14.
    FUZZ_CHECK(std::fabs(*reread - *value) <= std::fabs(*value) * 1e-14 || *reread == *value ||
               std::fabs(*value) < 1e-300);
    const float single = *toFloat(text);
    if (std::isfinite(single)) {
        FUZZ_CHECK(toFloat(formatSingle(single)).has_value());
    }
    if (std::fabs(*value) < 1e15) {
        FUZZ_CHECK(toDouble(formatFixed(*value)).has_value());
        // The numeric roundings are the written texts read back, bit for bit.
        const auto hundredths = toDouble(formatHundredths(*value));
        const auto thousandths = toDouble(formatThousandths(*value));
        FUZZ_CHECK(hundredths && std::bit_cast<std::uint64_t>(*hundredths) ==
                                     std::bit_cast<std::uint64_t>(roundedHundredths(*value)));
        FUZZ_CHECK(thousandths && std::bit_cast<std::uint64_t>(*thousandths) ==
                                      std::bit_cast<std::uint64_t>(roundedThousandths(*value)));
    }
    return 0;
}

} // namespace fenlowick::fuzz
