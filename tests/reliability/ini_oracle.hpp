#pragma once

// An independent reader of initialization files, written from the consumer's reading rules
// alone, used to judge what the store wrote: what a key reads back as, and whether a save left
// every byte outside the keys it touched as it was.
//
// It reads the way the consumer's profile API does: the whole file is first decoded to UTF-16
// code units (by its byte-order mark), then lines, names and values are found in the units.
// The byte each unit came from is known, so that lines can still be compared as bytes.
//
// "Outside" is defined on lines. A save touches a set of (section, key) names. In the file
// before the save, the effective line of a touched key (the first line of that key in the
// first section of that name) keeps everything before its first "=" and its line end; only
// the value after the "=" may change, and a key without "=" gains one and a value. Every other
// line, its line end and the byte-order mark must come through unchanged and in order. The
// save may add lines: the effective line of a touched key that had none, and the header of a
// touched section that was missing. When the file did not end in a line break, the line before
// the first added one may gain one. An unreadable end of the file (a UTF-16 file's odd last
// byte, a UTF-8 sequence that the end cuts short) reads as one U+FFFD; once text follows it,
// it may be written as that U+FFFD.

// Relative, so that the fuzz target, which has only this folder to include from, finds it.
#include "../support/utf16_text.hpp"

#include <cstddef>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quentra::reliability {

// The consumer's white space: tab, LF, vertical tab, form feed, CR, blank, and the old DOS
// end-of-file mark 1A.
inline bool isIniSpace(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x1A;
}

inline std::string lowered(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

// UTF-8 text or code units with the white space around them removed.
template <typename Char> std::basic_string_view<Char> trimmed(std::basic_string_view<Char> s) {
    while (!s.empty() && isIniSpace(static_cast<char32_t>(s.front()))) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isIniSpace(static_cast<char32_t>(s.back()))) {
        s.remove_suffix(1);
    }
    return s;
}
inline std::string_view trimmed(std::string_view s) {
    return trimmed<char>(s);
}

// A name as the reader compares it: white space around removed, ASCII case folded. On UTF-8
// this compares as on the UTF-16 units, since the two forms map one to one.
inline std::string nameKey(std::string_view name) {
    return lowered(trimmed(name));
}

// Whether a name read from the file is the name asked for: the one asked for without the white
// space around it, ASCII case ignored. The name read is taken as it is: its white space was
// removed before a NUL ended it, and what was left before the NUL counts.
inline bool isNamed(std::string_view read, std::string_view asked) {
    asked = trimmed(asked);
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
    if (read.size() != asked.size()) {
        return false;
    }
    for (std::size_t i = 0; i < read.size(); ++i) {
        if (fold(read[i]) != fold(asked[i])) {
            return false;
        }
    }
    return true;
}

enum class OracleEncoding { Windows1252, Utf8, Utf16Le, Utf16Be };

using test_support::putUtf8;
using test_support::utf8OfUnits;

// Windows-1252 bytes 80..9F; the unassigned five read as the C1 control of their number.
inline unsigned long cp1252(unsigned char b) {
    static const unsigned short high[32] = {
        0x20AC, 0x81,   0x201A, 0x192,  0x201E, 0x2026, 0x2020, 0x2021, 0x2C6,  0x2030, 0x160,
        0x2039, 0x152,  0x8D,   0x17D,  0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x2DC,  0x2122, 0x161,  0x203A, 0x153,  0x9D,   0x17E,  0x178};
    return (b >= 0x80 && b < 0xA0) ? high[b - 0x80] : b;
}

// The code points of UTF-8 text, surrogates in the generalized form included; nothing when a
// byte sequence is none of these.
inline std::optional<std::vector<unsigned long>> codePoints(std::string_view s) {
    std::vector<unsigned long> out;
    for (std::size_t i = 0; i < s.size();) {
        const auto lead = static_cast<unsigned char>(s[i]);
        const std::size_t n = lead < 0x80   ? 1
                              : lead < 0xC2 ? 0
                              : lead < 0xE0 ? 2
                              : lead < 0xF0 ? 3
                              : lead < 0xF5 ? 4
                                            : 0;
        if (n == 0 || i + n > s.size()) {
            return std::nullopt;
        }
        unsigned long c = n == 1 ? lead : lead & (0x7F >> n);
        for (std::size_t k = 1; k < n; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0) != 0x80) {
                return std::nullopt;
            }
            c = (c << 6) | (b & 0x3F);
        }
        const unsigned long least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < least[n] || c > 0x10FFFF) {
            return std::nullopt; // overlong, or beyond Unicode
        }
        out.push_back(c);
        i += n;
    }
    return out;
}

inline bool isSurrogate(unsigned long c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

// Whether `s` is UTF-8 text; with `loneSurrogates`, unpaired surrogates in the generalized form
// are allowed, but not a high one followed by a low one: UTF-16 would read those as one.
inline bool isUtf8Text(std::string_view s, bool loneSurrogates) {
    const auto cs = codePoints(s);
    if (!cs) {
        return false;
    }
    for (std::size_t i = 0; i < cs->size(); ++i) {
        const unsigned long c = (*cs)[i];
        if (isSurrogate(c) &&
            (!loneSurrogates || (c < 0xDC00 && i + 1 < cs->size() && (*cs)[i + 1] >= 0xDC00 &&
                                 isSurrogate((*cs)[i + 1])))) {
            return false;
        }
    }
    return true;
}

// Whether every character of UTF-8 text has a byte in Windows-1252.
inline bool fitsWindows1252(std::string_view utf8) {
    const auto cs = codePoints(utf8);
    if (!cs) {
        return false;
    }
    for (const unsigned long c : *cs) {
        bool found = c < 0x80 || (c >= 0xA0 && c <= 0xFF);
        for (int b = 0x80; b < 0xA0 && !found; ++b) {
            found = cp1252(static_cast<unsigned char>(b)) == c;
        }
        if (!found) {
            return false;
        }
    }
    return true;
}

// Lookups scan the lines, so that building one costs no more than splitting the file.
class IniOracle {
public:
    static constexpr std::size_t npos = std::u16string_view::npos;
    struct Line {
        std::string_view content; // the line's bytes without its line end
        std::string_view eol;
        enum Kind { Other, Header, Key } kind = Other;
        std::string name;      // section or key name as read, UTF-8
        std::size_t begin = 0; // the content's units: [begin, end)
        std::size_t end = 0;
        std::size_t equals = 0; // the unit of the first "=" of a key line; npos for a key alone
    };
    using Name = std::pair<std::string, std::string>; // section, key

    explicit IniOracle(std::string_view bytes) {
        if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
            encoding = bytes[0] == '\xFF' ? OracleEncoding::Utf16Le : OracleEncoding::Utf16Be;
            bom = bytes.substr(0, 2);
        } else if (bytes.starts_with("\xEF\xBB\xBF")) {
            encoding = OracleEncoding::Utf8;
            bom = bytes.substr(0, 3);
        }
        content = bytes.substr(bom.size());
        tail = content.size();
        decode();
        split();
    }

    // The header of the first section of that name.
    std::optional<std::size_t> sectionHeader(std::string_view section) const {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].kind == Line::Header && isNamed(lines[i].name, section)) {
                return i;
            }
        }
        return std::nullopt;
    }

    // The line a reader takes the key from: the first of that name in the first section, a
    // key alone among them.
    std::optional<std::size_t> effectiveLine(std::string_view section, std::string_view key) const {
        const auto header = sectionHeader(section);
        if (!header) {
            return std::nullopt;
        }
        for (std::size_t i = *header + 1; i < lines.size() && lines[i].kind != Line::Header; ++i) {
            if (lines[i].kind == Line::Key && isNamed(lines[i].name, key)) {
                return i;
            }
        }
        return std::nullopt;
    }

    // The value a reader gets: white space around removed, then cut at a NUL, then one pair of
    // matching quotes removed. A key alone reads as absent.
    std::optional<std::string> value(std::string_view section, std::string_view key) const {
        const auto i = effectiveLine(section, key);
        if (!i || lines[*i].equals == npos) {
            return std::nullopt;
        }
        const Line& line = lines[*i];
        std::u16string_view v = std::u16string_view(units).substr(line.equals + 1);
        v = beforeNul(trimmed(v.substr(0, line.end - line.equals - 1)));
        if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.front() == v.back()) {
            v = v.substr(1, v.size() - 2);
        }
        return utf8OfUnits(v);
    }

    OracleEncoding encoding = OracleEncoding::Windows1252;
    std::string_view bom;
    std::string_view content; // the bytes after the mark
    std::u16string units;     // the content decoded
    std::size_t tail;         // where an unreadable end starts; the content size when none
    std::vector<Line> lines;

    // The content byte that a unit starts at; the content's size for the end.
    std::size_t byteOf(std::size_t unit) const {
        if (unit == units.size()) {
            return content.size();
        }
        return encoding == OracleEncoding::Utf8          ? from_[unit]
               : encoding == OracleEncoding::Windows1252 ? unit
                                                         : 2 * unit;
    }

private:
    static std::u16string_view beforeNul(std::u16string_view s) {
        return s.substr(0, s.find(u'\0'));
    }

    void put(unsigned long c, std::size_t at) {
        if (c >= 0x10000) {
            units += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            from_.push_back(at); // only UTF-8 has characters beyond the BMP here
            c = 0xDC00 + ((c - 0x10000) & 0x3FF);
        }
        units += static_cast<char16_t>(c);
        if (encoding == OracleEncoding::Utf8) {
            from_.push_back(at); // the other encodings map units to bytes by a factor
        }
    }

    unsigned char byte(std::size_t i) const { return static_cast<unsigned char>(content[i]); }

    std::vector<std::size_t> from_; // UTF-8 only: the byte each unit starts at

    void decode() {
        const std::size_t size = content.size();
        if (encoding == OracleEncoding::Windows1252) {
            for (std::size_t i = 0; i < size; ++i) {
                put(cp1252(byte(i)), i);
            }
        } else if (encoding == OracleEncoding::Utf8) {
            decodeUtf8();
        } else {
            const bool little = encoding == OracleEncoding::Utf16Le;
            for (std::size_t i = 0; i + 1 < size; i += 2) {
                put(little ? byte(i) | byte(i + 1) << 8 : byte(i) << 8 | byte(i + 1), i);
            }
            if (size % 2 != 0) {
                tail = size - 1;
                put(0xFFFD, tail);
            }
        }
    }

    // As the system's UTF-8 conversion reads: a byte that starts no sequence (continuation
    // bytes, C0, C1, F5..FF) is one U+FFFD; a sequence ends as one U+FFFD at a byte that does
    // not continue it, without that byte, or at a second byte outside its lead's range (E0 takes
    // A0..BF, ED 80..9F, F0 90..BF, F4 80..8F), with that byte. A sequence that the end of the
    // file cuts short is one U+FFFD that takes every byte up to that end.
    void decodeUtf8() {
        for (std::size_t i = 0; i < content.size();) {
            const std::size_t start = i;
            const unsigned char lead = byte(i++);
            const std::size_t followers = lead >= 0xF5   ? 0
                                          : lead >= 0xF0 ? 3
                                          : lead >= 0xE0 ? 2
                                          : lead >= 0xC2 ? 1
                                                         : 0;
            if (lead < 0x80 || followers == 0) {
                put(lead < 0x80 ? lead : 0xFFFD, start);
                continue;
            }
            if (i + followers > content.size()) {
                tail = start;
                put(0xFFFD, start);
                break;
            }
            const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
            const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
            unsigned long c = lead & (0x3F >> followers);
            bool whole = true;
            for (std::size_t k = 1; k <= followers && whole; ++k) {
                const unsigned char b = byte(i);
                whole = b >= 0x80 && b <= 0xBF;
                if (whole) {
                    ++i;
                    whole = k > 1 || (b >= low && b <= high);
                    c = (c << 6) | (b & 0x3F);
                }
            }
            put(whole ? c : 0xFFFD, start);
        }
    }

    // Lines end at CR, LF or CR LF.
    void split() {
        const std::size_t n = units.size();
        for (std::size_t pos = 0; pos < n;) {
            std::size_t end = pos;
            while (end < n && units[end] != u'\r' && units[end] != u'\n') {
                ++end;
            }
            std::size_t next = end;
            if (next < n) {
                next += units[next] == u'\r' && next + 1 < n && units[next + 1] == u'\n' ? 2 : 1;
            }
            Line line;
            line.begin = pos;
            line.end = end;
            line.content = content.substr(byteOf(pos), byteOf(end) - byteOf(pos));
            line.eol = content.substr(byteOf(end), byteOf(next) - byteOf(end));
            classify(line);
            lines.push_back(std::move(line));
            pos = next;
        }
    }

    void classify(Line& line) const {
        const std::u16string_view whole =
            std::u16string_view(units).substr(line.begin, line.end - line.begin);
        const std::u16string_view t = trimmed(whole);
        const std::size_t first = line.begin + static_cast<std::size_t>(t.data() - whole.data());
        const auto nameOf = [](std::u16string_view s) {
            return utf8OfUnits(beforeNul(trimmed(s)));
        };
        if (t.empty() || t.front() == u';' || t.front() == u'#') {
            return;
        }
        if (t.front() == u'[' && t.rfind(u']') != npos && t.rfind(u']') > 0) {
            line.kind = Line::Header;
            line.name = nameOf(t.substr(1, t.rfind(u']') - 1));
            return;
        }
        const std::size_t eq = t.find(u'=');
        line.kind = Line::Key;
        line.name = nameOf(t.substr(0, eq));
        line.equals = eq == npos ? npos : first + eq;
    }
};

// Empty when `after` is `before` with only the touched values changed and only the allowed
// lines added; otherwise a description of the first difference. Windows' profile API reads
// neither UTF-16BE nor a header on a UTF-8 mark's line: a save that writes the file writes the
// one as UTF-16LE, the same text, and may end the mark's line before such a header.
inline std::string outsideDifference(std::string_view before, std::string_view after,
                                     const std::set<IniOracle::Name>& touched) {
    std::string littleEndian;
    if (before.starts_with("\xFE\xFF") && !touched.empty()) {
        littleEndian = before;
        for (std::size_t i = 0; i + 1 < littleEndian.size(); i += 2) {
            std::swap(littleEndian[i], littleEndian[i + 1]);
        }
        before = littleEndian;
    }
    constexpr std::string_view kMark = "\xEF\xBB\xBF";
    std::string markLineJoined;
    for (const std::string_view eol : {"\r\n", "\n", "\r"}) {
        const std::string ended = std::string(kMark) + std::string(eol);
        if (before.starts_with(kMark) && !before.starts_with(ended) && after.starts_with(ended)) {
            markLineJoined = std::string(kMark) + std::string(after.substr(ended.size()));
            const IniOracle joined(markLineJoined);
            if (!joined.lines.empty() && joined.lines.front().kind == IniOracle::Line::Header) {
                after = markLineJoined;
            }
            break;
        }
    }
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

    // A line as compared: all of it, or for a touched key its bytes before the first "=" and
    // whether it has one (the file before the save counts as having it: a key alone gains it).
    struct Piece {
        std::string head;
        std::string eol;
        bool operator==(const Piece&) const = default;
    };
    const auto piece = [](const IniOracle& file, const IniOracle::Line& line, char mark,
                          bool gainsEquals) {
        if (mark != Masked) {
            return Piece{std::string(line.content), std::string(line.eol)};
        }
        const bool alone = line.equals == IniOracle::npos;
        const std::size_t cut =
            alone ? line.content.size() : file.byteOf(line.equals) - file.byteOf(line.begin);
        return Piece{std::string(line.content.substr(0, cut)) + (gainsEquals || !alone ? "=" : ""),
                     std::string(line.eol)};
    };
    const auto piecesOf = [&](const IniOracle& file) {
        std::vector<Piece> out;
        for (std::size_t i = 0; i < file.lines.size(); ++i) {
            out.push_back(piece(file, file.lines[i], markBefore[i], true));
        }
        return out;
    };
    const std::vector<Piece> expected = piecesOf(b);
    std::vector<Piece> got;
    std::size_t lastKept = 0; // the line of `after` that the last of `got` comes from
    for (std::size_t i = 0; i < a.lines.size(); ++i) {
        if (markAfter[i] != Added) {
            got.push_back(piece(a, a.lines[i], markAfter[i], false));
            lastKept = i;
        }
    }
    if (expected.size() != got.size()) {
        std::ostringstream out;
        out << "the file had " << expected.size() << " lines outside the added ones, now "
            << got.size();
        return out.str();
    }
    // The file as it may be written once text follows its unreadable end: that end as the
    // U+FFFD it reads as, in the file's encoding. It reads as the same units and lines.
    std::vector<Piece> replaced = expected;
    if (!got.empty()) {
        const bool textFollows = lastKept + 1 < a.lines.size() || !a.lines[lastKept].eol.empty() ||
                                 markBefore.back() == Masked;
        if (textFollows && b.tail < b.content.size()) {
            const std::string_view fffd = b.encoding == OracleEncoding::Utf8      ? "\xEF\xBF\xBD"
                                          : b.encoding == OracleEncoding::Utf16Le ? "\xFD\xFF"
                                                                                  : "\xFF\xFD";
            const std::string fixed =
                std::string(before.substr(0, b.bom.size() + b.tail)) + std::string(fffd);
            replaced = piecesOf(IniOracle(fixed));
        }
        // A file without a final line break gains one before the first added line.
        if (anyAdded && expected.back().eol.empty()) {
            got.back().eol.clear();
        }
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (!(expected[i] == got[i]) && !(replaced[i] == got[i])) {
            std::ostringstream out;
            out << "line " << i + 1 << " changed";
            return out.str();
        }
    }
    return {};
}

} // namespace quentra::reliability
