#include "core/tables/isotopename.h"

#include "core/base/csvtable.h"

#include <algorithm>
#include <array>
#include <utility>

namespace fenlowick {

namespace {

bool startsWithFolded(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && foldCase(text.substr(0, prefix.size())) == prefix;
}

/// Superscript digits in UTF-8 and the digits they stand for.
constexpr std::array<std::pair<std::string_view, char>, 10> kSuperscripts = {{
    {"\xE2\x81\xB0", '0'},
    {"\xC2\xB9", '1'},
    {"\xC2\xB2", '2'},
    {"\xC2\xB3", '3'},
    {"\xE2\x81\xB4", '4'},
    {"\xE2\x81\xB5", '5'},
    {"\xE2\x81\xB6", '6'},
    {"\xE2\x81\xB7", '7'},
    {"\xE2\x81\xB8", '8'},
    {"\xE2\x81\xB9", '9'},
}};

constexpr std::string_view kDelta = "\xCE\xB4";
constexpr std::string_view kCapitalDelta = "\xCE\x94";

} // namespace

std::string foldCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::string isotopeLabel(std::string_view header) {
    std::string_view label = trimBlanks(header);
    if (startsWithFolded(label, "mean") && label.size() > 4) {
        label = trimBlanks(label.substr(4));
        if (!label.empty() && label.front() == '_') {
            label.remove_prefix(1);
        }
    }
    return std::string(label);
}

std::string isotopeKey(std::string_view header) {
    std::string label = isotopeLabel(header);
    // A unit in brackets at the end: "d13C (permil)", "d15N [‰]".
    if (!label.empty() && (label.back() == ')' || label.back() == ']')) {
        const char open = label.back() == ')' ? '(' : '[';
        const std::size_t pos = label.rfind(open);
        if (pos != std::string::npos && pos > 0) {
            label.resize(pos);
        }
    }
    std::string key;
    std::string_view rest = label;
    if (startsWithFolded(rest, "delta")) {
        key += 'd';
        rest.remove_prefix(5);
    }
    while (!rest.empty()) {
        if (rest.substr(0, kDelta.size()) == kDelta ||
            rest.substr(0, kCapitalDelta.size()) == kCapitalDelta) {
            key += 'd';
            rest.remove_prefix(kDelta.size());
            continue;
        }
        bool superscript = false;
        for (const auto& [text, digit] : kSuperscripts) {
            if (rest.substr(0, text.size()) == text) {
                key += digit;
                rest.remove_prefix(text.size());
                superscript = true;
                break;
            }
        }
        if (superscript) {
            continue;
        }
        const char c = rest.front();
        rest.remove_prefix(1);
        if (c == ' ' || c == '\t' || c == '_' || c == '-') {
            continue;
        }
        key += c;
    }
    return foldCase(key);
}

bool looksLikeIsotope(std::string_view header) {
    const std::string key = isotopeKey(header);
    std::size_t i = 0;
    if (i >= key.size() || key[i] != 'd') {
        return false;
    }
    ++i;
    const std::size_t digitsStart = i;
    while (i < key.size() && key[i] >= '0' && key[i] <= '9') {
        ++i;
    }
    const std::size_t digits = i - digitsStart;
    if (digits < 1 || digits > 3) {
        return false;
    }
    const std::size_t letters = key.size() - i;
    if (letters < 1 || letters > 2) {
        return false;
    }
    for (; i < key.size(); ++i) {
        if (key[i] < 'a' || key[i] > 'z') {
            return false;
        }
    }
    return true;
}

std::string deltaNotation(std::string_view header) {
    if (!looksLikeIsotope(header)) {
        return isotopeLabel(header);
    }
    const std::string key = isotopeKey(header); // "d13c"
    std::string text(kDelta);
    std::size_t i = 1;
    for (; i < key.size() && key[i] >= '0' && key[i] <= '9'; ++i) {
        text += kSuperscripts[static_cast<std::size_t>(key[i] - '0')].first;
    }
    text += static_cast<char>(key[i] - 'a' + 'A');
    text += key.substr(i + 1);
    return text + " (\xE2\x80\xB0)";
}

std::vector<std::size_t> isotopeAxisOrder(const std::vector<std::string>& tracers) {
    std::vector<std::size_t> order;
    const auto find = [&](std::string_view key) {
        for (std::size_t t = 0; t < tracers.size(); ++t) {
            if (isotopeKey(tracers[t]) == key) {
                return t;
            }
        }
        return tracers.size();
    };
    const std::size_t carbon = find("d13c");
    const std::size_t nitrogen = find("d15n");
    if (carbon < tracers.size() && nitrogen < tracers.size()) {
        order = {carbon, nitrogen};
    }
    for (std::size_t t = 0; t < tracers.size(); ++t) {
        if (std::find(order.begin(), order.end(), t) == order.end()) {
            order.push_back(t);
        }
    }
    return order;
}

} // namespace fenlowick
