#include "core/base/safefilename.h"

namespace fenlowick {

std::string safeFileName(std::string_view label) {
    std::string name;
    bool pendingUnderscore = false;
    for (char c : label) {
        const auto byte = static_cast<unsigned char>(c);
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '_' || byte >= 0x80;
        if (!keep) {
            pendingUnderscore = true;
            continue;
        }
        if (pendingUnderscore && !name.empty()) {
            name += '_';
        }
        pendingUnderscore = false;
        name += c;
    }
    while (!name.empty() && name.back() == '_') {
        name.pop_back();
    }
    while (!name.empty() && name.front() == '_') {
        name.erase(name.begin());
    }
    return name.empty() ? "mixture" : name;
}

std::string cutToBytes(std::string text, std::size_t maxBytes) {
    if (text.size() > maxBytes) {
        std::size_t end = maxBytes;
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
            --end; // a continuation byte: not a character's start
        }
        text.resize(end);
    }
    return text;
}

} // namespace fenlowick
