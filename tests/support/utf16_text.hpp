#pragma once

// UTF-16 code units as UTF-8, as the store gives texts read from a UTF-16 file: header-only, so
// that the fuzz target's judge can take it too.

#include <string>
#include <string_view>

namespace quentra::test_support {

// A surrogate pair as its character, a lone surrogate in the generalized form.
inline std::string utf8OfUnits(std::u16string_view units) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        unsigned long c = units[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        const int tail = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        out += static_cast<char>(((0xFF00 >> (tail + 1)) & 0xFF) | (c >> (6 * tail)));
        for (int k = tail - 1; k >= 0; --k) {
            out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
        }
    }
    return out;
}

} // namespace quentra::test_support
