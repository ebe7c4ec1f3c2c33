#include "core/base/fieldreader.h"

namespace fenlowick {

bool FieldReader::atLineEnd() const {
    return m_pos < m_text.size() && (m_text[m_pos] == '\r' || m_text[m_pos] == '\n');
}

void FieldReader::consumeLineEnd() {
    if (m_text[m_pos] == '\r' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '\n') {
        ++m_pos;
    }
    ++m_pos;
    ++m_line;
}

std::optional<Field> FieldReader::next() {
    if (atEnd()) {
        return std::nullopt;
    }
    while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t')) {
        ++m_pos;
    }
    Field field;
    if (m_pos < m_text.size() && m_text[m_pos] == '"') {
        field.quoted = true;
        const std::size_t close = m_text.find('"', m_pos + 1);
        field.unterminated = close == std::string_view::npos;
        const std::size_t end = field.unterminated ? m_text.size() : close;
        field.text = std::string(m_text.substr(m_pos + 1, end - m_pos - 1));
        for (char c : field.text) {
            if (c == '\n') {
                ++m_line;
            }
        }
        m_pos = field.unterminated ? m_text.size() : close + 1;
        while (m_pos < m_text.size() && m_text[m_pos] != ',' && !atLineEnd()) {
            ++m_pos;
        }
    } else {
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() && m_text[m_pos] != ',' && !atLineEnd()) {
            ++m_pos;
        }
        std::size_t end = m_pos;
        while (end > start && (m_text[end - 1] == ' ' || m_text[end - 1] == '\t')) {
            --end;
        }
        field.text = std::string(m_text.substr(start, end - start));
    }
    if (m_pos < m_text.size()) {
        if (m_text[m_pos] == ',') {
            ++m_pos;
        } else {
            consumeLineEnd();
        }
    }
    return field;
}

} // namespace fenlowick
