#pragma once

// An independent reader of initialization files, written from the reading rules alone, used to
// judge what the store wrote: what a key reads back as, and whether a save left every byte
// outside the keys it touched as it was.
//
// "Outside" is defined on lines. A save touches a set of (section, key) names. In the file
// before the save, the effective line of a touched key (the first line of that key in the
// first section of that name) keeps everything up to and including its "=" and its line end;
// only the value between them may change. Every other line, its line end and the byte-order
// mark must come through unchanged and in order. The save may add lines: the effective line
// of a touched key that had none, and the header of a touched section that was missing. When
// the file did not end in a line break, the line before the first added one may gain one.

#include <algorithm>
#include <cstddef>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quentra::reliability {

inline std::string lowered(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

inline std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

// A name as the reader compares it: blanks around removed, ASCII case folded.
inline std::string nameKey(std::string_view name) {
    return lowered(trimmed(name));
}

// Case-insensitive (ASCII) equality of two names, blanks around them ignored.
inline bool sameName(std::string_view a, std::string_view b) {
    a = trimmed(a);
    b = trimmed(b);
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        x = (x >= 'A' && x <= 'Z') ? static_cast<char>(x - 'A' + 'a') : x;
        y = (y >= 'A' && y <= 'Z') ? static_cast<char>(y - 'A' + 'a') : y;
        if (x != y) {
            return false;
        }
    }
    return true;
}

enum class OracleEncoding { Windows1252, Utf8, Utf16Le };

// Appends one code point as UTF-8.
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

// Windows-1252 bytes 80..9F; the unassigned five read as the C1 control of their number.
inline unsigned long cp1252(unsigned char b) {
    static const unsigned short high[32] = {
        0x20AC, 0x81,   0x201A, 0x192,  0x201E, 0x2026, 0x2020, 0x2021, 0x2C6,  0x2030, 0x160,
        0x2039, 0x152,  0x8D,   0x17D,  0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x2DC,  0x2122, 0x161,  0x203A, 0x153,  0x9D,   0x17E,  0x178};
    return (b >= 0x80 && b < 0xA0) ? high[b - 0x80] : b;
}

// Whether every character of UTF-8 text has a byte in Windows-1252.
inline bool fitsWindows1252(std::string_view utf8) {
    std::string all;
    for (int b = 0x80; b < 0x100; ++b) {
        putUtf8(all, cp1252(static_cast<unsigned char>(b)));
    }
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        const std::size_t n = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        const std::string character(utf8.substr(i, n));
        bool found = false;
        for (std::size_t j = 0; j < all.size() && !found;) {
            const auto l = static_cast<unsigned char>(all[j]);
            const std::size_t m = l >= 0xE0 ? 3 : 2;
            found = all.compare(j, m, character) == 0 && m == character.size();
            j += m;
        }
        if (!found) {
            return false;
        }
        i += n;
    }
    return true;
}

// UTF-8 bytes to text: each maximal part of an ill-formed sequence reads as one U+FFFD
// (the well-formed byte ranges of the Unicode standard, table 3-7).
inline std::string decodeUtf8(std::string_view b) {
    std::string out;
    std::size_t i = 0;
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(b[k]); };
    while (i < b.size()) {
        const unsigned char c = at(i);
        struct Range {
            unsigned char lo, hi;
        };
        Range second{0x80, 0xBF};
        std::size_t need = 0;
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF) {
            need = 1;
        } else if (c == 0xE0) {
            need = 2, second = {0xA0, 0xBF};
        } else if ((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) {
            need = 2;
        } else if (c == 0xED) {
            need = 2, second = {0x80, 0x9F};
        } else if (c == 0xF0) {
            need = 3, second = {0x90, 0xBF};
        } else if (c >= 0xF1 && c <= 0xF3) {
            need = 3;
        } else if (c == 0xF4) {
            need = 3, second = {0x80, 0x8F};
        } else {
            putUtf8(out, 0xFFFD);
            ++i;
            continue;
        }
        std::size_t k = 1;
        for (; k <= need && i + k < b.size(); ++k) {
            const Range r = k == 1 ? second : Range{0x80, 0xBF};
            if (at(i + k) < r.lo || at(i + k) > r.hi) {
                break;
            }
        }
        if (k == need + 1) {
            out.append(b.substr(i, need + 1));
        } else {
            putUtf8(out, 0xFFFD);
        }
        i += k;
    }
    return out;
}

// Lookups scan the lines, so that building one costs no more than splitting the file.
class IniOracle {
public:
    struct Line {
        std::string_view content; // the line's bytes without its line end
        std::string_view eol;
        std::string text; // the content decoded
        enum Kind { Other, Header, Key } kind = Other;
        std::string name;           // section or key name, blanks removed
        std::size_t equals = 0;     // offset of the "=" unit in content, for key lines
        std::size_t textEquals = 0; // offset of "=" in text
    };
    using Name = std::pair<std::string, std::string>; // section, key

    explicit IniOracle(std::string_view bytes) {
        if (bytes.substr(0, 2) == "\xFF\xFE") {
            encoding = OracleEncoding::Utf16Le;
            bom = bytes.substr(0, 2);
        } else if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
            encoding = OracleEncoding::Utf8;
            bom = bytes.substr(0, 3);
        }
        bytes.remove_prefix(bom.size());
        const std::size_t unit = encoding == OracleEncoding::Utf16Le ? 2 : 1;
        // The code unit at k as a number; a lone last byte of UTF-16 is no CR, LF or "=".
        const auto codeUnit = [&](std::size_t k) -> unsigned {
            if (unit == 1) {
                return static_cast<unsigned char>(bytes[k]);
            }
            if (k + 1 >= bytes.size()) {
                return 0xFFFF;
            }
            return static_cast<unsigned char>(bytes[k]) |
                   (static_cast<unsigned>(static_cast<unsigned char>(bytes[k + 1])) << 8);
        };
        std::size_t pos = 0;
        while (pos < bytes.size()) {
            std::size_t end = pos;
            while (end < bytes.size() && codeUnit(end) != '\r' && codeUnit(end) != '\n') {
                end += unit;
            }
            end = std::min(end, bytes.size());
            std::size_t next = end;
            if (next < bytes.size()) {
                next += (codeUnit(next) == '\r' && next + unit < bytes.size() &&
                         codeUnit(next + unit) == '\n')
                            ? 2 * unit
                            : unit;
            }
            Line line;
            line.content = bytes.substr(pos, end - pos);
            line.eol = bytes.substr(end, next - end);
            line.text = decode(line.content);
            line.equals = std::string_view::npos;
            for (std::size_t k = pos; k < end; k += unit) {
                if (codeUnit(k) == '=') {
                    line.equals = k - pos;
                    break;
                }
            }
            classify(line);
            lines.push_back(line);
            pos = next;
        }
    }

    // The header of the first section of that name.
    std::optional<std::size_t> sectionHeader(std::string_view section) const {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].kind == Line::Header && sameName(lines[i].name, section)) {
                return i;
            }
        }
        return std::nullopt;
    }

    // The line a reader takes the key from: the first of that name in the first section.
    std::optional<std::size_t> effectiveLine(std::string_view section, std::string_view key) const {
        const auto header = sectionHeader(section);
        if (!header) {
            return std::nullopt;
        }
        for (std::size_t i = *header + 1; i < lines.size() && lines[i].kind != Line::Header; ++i) {
            if (lines[i].kind == Line::Key && sameName(lines[i].name, key)) {
                return i;
            }
        }
        return std::nullopt;
    }

    // The value a reader gets: blanks around removed, one pair of matching quotes removed.
    std::optional<std::string> value(std::string_view section, std::string_view key) const {
        const auto i = effectiveLine(section, key);
        if (!i) {
            return std::nullopt;
        }
        std::string_view v =
            trimmed(std::string_view(lines[*i].text).substr(lines[*i].textEquals + 1));
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.front() == v.back()) {
            v = v.substr(1, v.size() - 2);
        }
        return std::string(v);
    }

    OracleEncoding encoding = OracleEncoding::Windows1252;
    std::string_view bom;
    std::vector<Line> lines;

private:
    std::string decode(std::string_view raw) const {
        std::string out;
        if (encoding == OracleEncoding::Utf8) {
            return decodeUtf8(raw);
        }
        if (encoding == OracleEncoding::Windows1252) {
            for (const char c : raw) {
                putUtf8(out, cp1252(static_cast<unsigned char>(c)));
            }
            return out;
        }
        for (std::size_t k = 0; k + 1 < raw.size(); k += 2) {
            const unsigned long u =
                static_cast<unsigned char>(raw[k]) |
                (static_cast<unsigned long>(static_cast<unsigned char>(raw[k + 1])) << 8);
            if (u >= 0xD800 && u < 0xDC00 && k + 3 < raw.size()) {
                const unsigned long v =
                    static_cast<unsigned char>(raw[k + 2]) |
                    (static_cast<unsigned long>(static_cast<unsigned char>(raw[k + 3])) << 8);
                if (v >= 0xDC00 && v < 0xE000) {
                    putUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
                    k += 2;
                    continue;
                }
            }
            putUtf8(out, (u >= 0xD800 && u < 0xE000) ? 0xFFFD : u);
        }
        if (raw.size() % 2 != 0) {
            putUtf8(out, 0xFFFD);
        }
        return out;
    }

    static void classify(Line& line) {
        const std::string_view c = line.text;
        std::size_t p = 0;
        while (p < c.size() && (c[p] == ' ' || c[p] == '\t')) {
            ++p;
        }
        if (p == c.size() || c[p] == ';' || c[p] == '#') {
            return;
        }
        if (c[p] == '[') {
            const std::size_t close = c.find(']', p);
            if (close != std::string_view::npos) {
                line.kind = Line::Header;
                line.name = trimmed(c.substr(p + 1, close - p - 1));
            }
            return;
        }
        const std::size_t eq = c.find('=', p);
        if (eq != std::string_view::npos) {
            line.kind = Line::Key;
            line.name = trimmed(c.substr(p, eq - p));
            line.textEquals = eq;
        }
    }
};

// Empty when `after` is `before` with only the touched values changed and only the allowed
// lines added; otherwise a description of the first difference.
inline std::string outsideDifference(std::string_view before, std::string_view after,
                                     const std::set<IniOracle::Name>& touched) {
    const IniOracle b(before);
    const IniOracle a(after);
    if (b.bom != a.bom && !before.empty()) {
        return "the byte-order mark changed"; // only a new file may take one
    }
    enum Mark : char { Whole, Masked, Added };
    std::vector<char> markBefore(b.lines.size(), Whole);
    std::vector<char> markAfter(a.lines.size(), Whole);
    bool anyAdded = false;
    for (const auto& [section, key] : touched) {
        const auto inAfter = a.effectiveLine(section, key);
        if (const auto inBefore = b.effectiveLine(section, key)) {
            markBefore[*inBefore] = Masked;
            if (inAfter) {
                markAfter[*inAfter] = Masked;
            }
        } else if (inAfter) {
            markAfter[*inAfter] = Added;
            anyAdded = true;
        }
        if (!b.sectionHeader(section)) {
            if (const auto h = a.sectionHeader(section)) {
                markAfter[*h] = Added;
                anyAdded = true;
            }
        }
    }

    // A line as compared: all of it, or for a touched key everything but the value.
    struct Piece {
        std::string head;
        std::string eol;
        bool operator==(const Piece&) const = default;
    };
    const auto piece = [](const IniOracle& file, const IniOracle::Line& line, char mark) {
        const std::size_t unit = file.encoding == OracleEncoding::Utf16Le ? 2 : 1;
        return Piece{
            std::string(mark == Masked ? line.content.substr(0, line.equals + unit) : line.content),
            std::string(line.eol)};
    };
    std::vector<Piece> expected;
    expected.reserve(b.lines.size());
    for (std::size_t i = 0; i < b.lines.size(); ++i) {
        expected.push_back(piece(b, b.lines[i], markBefore[i]));
    }
    std::vector<Piece> got;
    std::size_t lastKept = 0; // the line of `after` that the last of `got` comes from
    got.reserve(a.lines.size());
    for (std::size_t i = 0; i < a.lines.size(); ++i) {
        if (markAfter[i] != Added) {
            got.push_back(piece(a, a.lines[i], markAfter[i]));
            lastKept = i;
        }
    }
    // A file without a final line break gains one before the first added line; in UTF-16 an
    // odd last byte then becomes the U+FFFD it read as, unless it was part of a value the save
    // replaced.
    if (anyAdded && !expected.empty() && expected.back().eol.empty() &&
        got.size() == expected.size()) {
        got.back().eol = {};
        if (b.encoding == OracleEncoding::Utf16Le && before.size() % 2 != 0 &&
            markBefore.back() != Masked) {
            expected.back().head = b.lines.back().text;
            got.back().head = a.lines[lastKept].text;
        }
    }
    if (expected.size() != got.size()) {
        std::ostringstream out;
        out << "the file had " << expected.size() << " lines outside the added ones, now "
            << got.size();
        return out.str();
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (!(expected[i] == got[i])) {
            std::ostringstream out;
            out << "line " << i + 1 << " changed";
            return out.str();
        }
    }
    return {};
}

} // namespace quentra::reliability
