#include "core/text_encoding.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace quentra::core {

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

Utf8Step nextUtf8(std::string_view text, std::size_t pos, bool surrogates) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) {
        return {lead, 1, true};
    }
    std::size_t length = 0;
    unsigned char low = 0x80; // range of the second byte; later ones are 80..BF
    unsigned char high = 0xBF;
    char32_t c = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED && !surrogates ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF; // nothing beyond U+10FFFF
    } else {
        return {kReplacementCharacter, 1, false};
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (pos + i >= text.size()) {
            return {kReplacementCharacter, i, false};
        }
        const unsigned char b = byte(pos + i);
        if (b < (i == 1 ? low : 0x80) || b > (i == 1 ? high : 0xBF)) {
            return {kReplacementCharacter, i, false};
        }
        c = (c << 6) | (b & 0x3F);
    }
    return {c, length, true};
}

bool isValidUtf8(std::string_view text, bool surrogates) {
    char32_t previous = 0;
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Step step = nextUtf8(text, i, surrogates);
        // A high and a low surrogate side by side would be written as a pair and read back as
        // another character.
        const bool pair = previous >= 0xD800 && previous <= 0xDBFF && step.codePoint >= 0xDC00 &&
                          step.codePoint <= 0xDFFF;
        if (!step.wellFormed || pair) {
            return false;
        }
        previous = step.codePoint;
        i += step.length;
    }
    return true;
}

void appendUtf8FromUtf16(std::string& out, std::string_view bytes, ByteOrder order) {
    const std::size_t low = order == ByteOrder::Little ? 0 : 1;
    const auto unit = [&](std::size_t i) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[2 * i + low]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1 - low]) << 8));
    };
    const std::size_t units = bytes.size() / 2;
    out.reserve(out.size() + units);
    for (std::size_t i = 0; i < units; ++i) {
        char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 &&
            unit(i + 1) <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
            ++i;
        }
        appendUtf8(out, u);
    }
    if (bytes.size() % 2 != 0) {
        appendUtf8(out, kReplacementCharacter);
    }
}

void appendUtf16FromUtf8(std::string& out, std::string_view text, ByteOrder order) {
    const auto put = [&](char32_t u) {
        const char low = static_cast<char>(u & 0xFF);
        const char high = static_cast<char>(u >> 8);
        out += order == ByteOrder::Little ? low : high;
        out += order == ByteOrder::Little ? high : low;
    };
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Step step = nextUtf8(text, i, true);
        i += step.length;
        if (step.codePoint >= 0x10000) {
            put(0xD800 + ((step.codePoint - 0x10000) >> 10));
            put(0xDC00 + ((step.codePoint - 0x10000) & 0x3FF));
        } else {
            put(step.codePoint);
        }
    }
}

namespace {

// How many continuation bytes the system's conversion expects after a byte: none for ASCII,
// continuation bytes, C0, C1 and F5..FF, which read as U+FFFD on their own.
std::size_t followersOf(unsigned char lead) {
    return lead >= 0xC2 && lead <= 0xDF   ? 1
           : lead >= 0xE0 && lead <= 0xEF ? 2
           : lead >= 0xF0 && lead <= 0xF4 ? 3
                                          : 0;
}

} // namespace

std::size_t cutShortUtf8Tail(std::string_view bytes) {
    const std::size_t n = bytes.size();
    for (std::size_t k = n < 3 ? 0 : n - 3; k < n; ++k) {
        if (k + 1 + followersOf(static_cast<unsigned char>(bytes[k])) > n) {
            return k;
        }
    }
    return n;
}

void appendUtf8FromFileUtf8(std::string& out, std::string_view bytes, std::size_t from,
                            std::size_t to) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    for (std::size_t i = from; i < to;) {
        const unsigned char lead = at(i++);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            continue;
        }
        const std::size_t followers = followersOf(lead);
        if (i + followers > bytes.size()) {
            appendUtf8(out, kReplacementCharacter);
            break; // the cut-short sequence takes the rest
        }
        // Checked in the order the system checks them: a byte that ends the sequence early is
        // not taken into it, except where the system has already taken it.
        char32_t c = lead & (0x7F >> (followers + 1));
        bool ok = followers > 0;
        for (std::size_t k = 0; ok && k < followers; ++k) {
            const unsigned char b = at(i) ^ 0x80;
            ok = b < 0x40;
            if (!ok) {
                break;
            }
            c = (c << 6) | b;
            const std::size_t left = followers - k - 1;
            if (left == 1 && c >= (0x110000 >> 6)) {
                ok = false; // beyond U+10FFFF, found before the byte is taken
                break;
            }
            ++i;
            if (left == 2) {
                ok = c >= 0x10; // an overlong four-byte form
            } else if (left == 1) {
                ok = c >= 0x20 && (c < (0xD800 >> 6) || c > (0xDFFF >> 6)); // overlong, surrogate
            } else {
                ok = c >= 0x80; // an overlong two-byte form
            }
        }
        appendUtf8(out, ok ? c : kReplacementCharacter);
    }
}

namespace {

// Bytes 80..9F of Windows-1252; the rest is Latin-1. 81, 8D, 8F, 90 and 9D have no character
// assigned and stand for the C1 control of that number.
constexpr auto kHigh1252 = std::to_array<char16_t>(
    {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
     0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
     0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178});

class Windows1252 final : public CodePage {
public:
    std::string name() const override { return "Windows-1252"; }

    void decode(std::string_view bytes, std::string& out) const override {
        out.reserve(out.size() + bytes.size());
        for (const char c : bytes) {
            const auto b = static_cast<unsigned char>(c);
            appendUtf8(out, b >= 0x80 && b < 0xA0 ? kHigh1252[b - 0x80] : char32_t{b});
        }
    }

    bool encode(std::string_view text, std::string& out) const override {
        out.reserve(out.size() + text.size());
        for (std::size_t i = 0; i < text.size();) {
            const Utf8Step step = nextUtf8(text, i);
            i += step.length;
            const int b = byteFor(step.codePoint);
            if (!step.wellFormed || b < 0) {
                return false;
            }
            out += static_cast<char>(b);
        }
        return true;
    }

private:
    static int byteFor(char32_t c) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            return static_cast<int>(c);
        }
        const auto* high = std::ranges::find(kHigh1252, c);
        return high == kHigh1252.end() ? -1 : static_cast<int>(0x80 + (high - kHigh1252.begin()));
    }
};

} // namespace

const CodePage& windows1252() {
    static const Windows1252 page;
    return page;
}

std::string codePointLabel(char32_t codePoint) {
    std::array<char, 16> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "U+%04X", static_cast<unsigned>(codePoint));
    return buffer.data();
}

} // namespace quentra::core
