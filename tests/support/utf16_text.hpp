#pragma once

// UTF-16 code units as UTF-8, as the store gives texts read from a UTF-16 file: header-only, so
// that the fuzz target's judge can take it too.

#include <string>
#include <string_view>

namespace quentra::test_support {

// Appends a code point, or a lone surrogate in the generalized form, as UTF-8.
inline void putUtf8(std::string& out, unsigned long c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
        return;
    }
    if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (c & 0x3F));
}

// A surrogate pair as its character, a lone surrogate in the generalized form.
inline std::string utf8OfUnits(std::u16string_view units) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        unsigned long c = units[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        }
        putUtf8(out, c);
    }
    return out;
}

} // namespace quentra::test_support
