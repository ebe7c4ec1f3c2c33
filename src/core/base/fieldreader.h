#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fenlowick {

/// One field as read from a text file of comma-divided fields.
struct Field {
    std::string text;
    bool quoted = false;
    /// A quoted field whose closing quote never came: the text ran out inside it, so the
    /// file was cut or damaged there.
    bool unterminated = false;
};

/// Reads fields one after another from text held in memory. A field ends at a comma or a
/// line end (CR LF, LF or CR); how fields are spread over lines plays no role, and an empty
/// line is one empty field. Blanks before a field are skipped. A field that begins with a
/// double quote ends at the next double quote and its text is what lies between; anything
/// after the closing quote up to the next comma or line end is ignored. An unquoted field
/// is the text up to the next comma or line end, without trailing blanks.
class FieldReader {
public:
    explicit FieldReader(std::string_view text) : m_text(text) {}

    /// The next field, or nothing at the end of the text.
    std::optional<Field> next();

    bool atEnd() const { return m_pos >= m_text.size(); }

    /// 1-based line of the next character to read, for messages.
    int line() const { return m_line; }

private:
    bool atLineEnd() const;
    void consumeLineEnd();

    std::string_view m_text;
    std::size_t m_pos = 0;
    int m_line = 1;
};

} // namespace fenlowick
