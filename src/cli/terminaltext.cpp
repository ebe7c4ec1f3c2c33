#include "cli/terminaltext.h"

#include <cstdio>

namespace fenlowick {

std::string terminalText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    char escape[8];
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0u;
        if ((byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7f) {
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            out += escape;
        } else if (byte == 0xc2 && next >= 0x80 && next <= 0x9f) {
            // U+0080..U+009F in UTF-8: the C1 controls, CSI among them.
            std::snprintf(escape, sizeof escape, "\\u%04x", next);
            out += escape;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace fenlowick
