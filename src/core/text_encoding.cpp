#include "core/text_encoding.hpp"

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

Utf8Step nextUtf8(std::string_view text, std::size_t pos) {
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
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
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
        const unsigned char lo = i == 1 ? low : 0x80;
        const unsigned char hi = i == 1 ? high : 0xBF;
        if (b < lo || b > hi) {
            return {kReplacementCharacter, i, false};
        }
        c = (c << 6) | (b & 0x3F);
    }
    return {c, length, true};
}

bool isValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const Utf8Step step = nextUtf8(text, i);
        if (!step.wellFormed) {
            return false;
        }
        i += step.length;
    }
    return true;
}

namespace {

// Eight UTF-16LE units at `p` that are all ASCII: every high byte zero, every low byte below 80.
bool eightAsciiUnits(const unsigned char* p) {
    std::uint64_t v[2] = {};
    std::memcpy(v, p, sizeof v);
    return ((v[0] | v[1]) & 0xFF80FF80FF80FF80ULL) == 0;
}

} // namespace

void appendUtf8FromUtf16Le(std::string& out, std::string_view bytes) {
    const std::size_t units = bytes.size() / 2;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto unit = [data](std::size_t i) {
        return static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    };
    const auto isHigh = [](char16_t u) { return u >= 0xD800 && u <= 0xDBFF; };
    const auto isLow = [](char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; };

    // One pass through a small buffer, into room for one byte a unit (exact for ASCII, as most
    // settings files are); ASCII goes eight units at a time.
    out.reserve(out.size() + units + 3);
    std::array<char, 8192> buffer{};
    char* w = buffer.data();
    // Room after a flush check for eight ASCII units and then the U+FFFD of an odd last byte.
    char* const flushAt = buffer.data() + buffer.size() - 16;
    const auto put = [&w](char32_t c) {
        if (c < 0x80) {
            *w++ = static_cast<char>(c);
        } else if (c < 0x800) {
            *w++ = static_cast<char>(0xC0 | (c >> 6));
            *w++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *w++ = static_cast<char>(0xE0 | (c >> 12));
            *w++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *w++ = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            *w++ = static_cast<char>(0xF0 | (c >> 18));
            *w++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *w++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *w++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    };
    for (std::size_t i = 0; i < units;) {
        if (w >= flushAt) {
            out.append(buffer.data(), w);
            w = buffer.data();
        }
        if (i + 8 <= units && eightAsciiUnits(data + 2 * i)) {
            const unsigned char* p = data + 2 * i;
            w[0] = static_cast<char>(p[0]);
            w[1] = static_cast<char>(p[2]);
            w[2] = static_cast<char>(p[4]);
            w[3] = static_cast<char>(p[6]);
            w[4] = static_cast<char>(p[8]);
            w[5] = static_cast<char>(p[10]);
            w[6] = static_cast<char>(p[12]);
            w[7] = static_cast<char>(p[14]);
            w += 8;
            i += 8;
            continue;
        }
        const char16_t u = unit(i);
        if (!isHigh(u) && !isLow(u)) {
            put(u);
            ++i;
        } else if (isHigh(u) && i + 1 < units && isLow(unit(i + 1))) {
            put(0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) +
                (static_cast<char32_t>(unit(i + 1)) - 0xDC00));
            i += 2;
        } else {
            put(kReplacementCharacter);
            ++i;
        }
    }
    if (bytes.size() % 2 != 0) {
        put(kReplacementCharacter);
    }
    out.append(buffer.data(), w);
}

void appendUtf16LeFromUtf8(std::string& out, std::string_view text) {
    const auto unit = [&out](char32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    };
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Step step = nextUtf8(text, i);
        i += step.length;
        if (step.codePoint >= 0x10000) {
            const char32_t v = step.codePoint - 0x10000;
            unit(0xD800 + (v >> 10));
            unit(0xDC00 + (v & 0x3FF));
        } else {
            unit(step.codePoint);
        }
    }
}

namespace {

// Bytes 80..9F of Windows-1252; the rest is Latin-1. 81, 8D, 8F, 90 and 9D have no character
// assigned and stand for the C1 control of that number.
constexpr std::array<char16_t, 32> kHigh1252 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

class Windows1252 final : public CodePage {
public:
    std::string name() const override { return "Windows-1252"; }

    void decode(std::string_view bytes, std::string& out) const override {
        out.reserve(out.size() + bytes.size());
        for (std::size_t i = 0; i < bytes.size();) {
            // ASCII goes over in runs.
            std::size_t run = i;
            while (run < bytes.size() && static_cast<unsigned char>(bytes[run]) < 0x80) {
                ++run;
            }
            out.append(bytes, i, run - i);
            if (run == bytes.size()) {
                break;
            }
            const auto b = static_cast<unsigned char>(bytes[run]);
            appendUtf8(out, b < 0xA0 ? kHigh1252[b - 0x80] : char32_t{b});
            i = run + 1;
        }
    }

    bool encode(std::string_view text, std::string& out) const override {
        out.reserve(out.size() + text.size());
        for (std::size_t i = 0; i < text.size();) {
            if (static_cast<unsigned char>(text[i]) < 0x80) {
                out += text[i++];
                continue;
            }
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
        if (c >= 0xA0 && c <= 0xFF) {
            return static_cast<int>(c);
        }
        for (std::size_t i = 0; i < kHigh1252.size(); ++i) {
            if (kHigh1252[i] == c) {
                return static_cast<int>(0x80 + i);
            }
        }
        return -1;
    }
};

} // namespace

const CodePage& windows1252() {
    static const Windows1252 page;
    return page;
}

std::string firstUnencodableCharacter(const CodePage& page, std::string_view text) {
    std::string scratch;
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Step step = nextUtf8(text, i);
        const std::string_view character = text.substr(i, step.length);
        scratch.clear();
        if (!page.encode(character, scratch)) {
            return std::string(character);
        }
        i += step.length;
    }
    return {};
}

std::string codePointLabel(char32_t codePoint) {
    std::array<char, 16> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "U+%04X", static_cast<unsigned>(codePoint));
    return buffer.data();
}

} // namespace quentra::core
