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

// Lookups scan the lines, so that building one costs no more than splitting the file.
class IniOracle {
public:
    struct Line {
        std::string_view content;
        std::string_view eol;
        enum Kind { Other, Header, Key } kind = Other;
        std::string_view name;  // section or key name, blanks removed
        std::size_t equals = 0; // offset of "=" in content, for key lines
    };
    using Name = std::pair<std::string, std::string>; // section, key

    explicit IniOracle(std::string_view bytes) {
        if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
            bom = bytes.substr(0, 3);
            bytes.remove_prefix(3);
        }
        std::size_t pos = 0;
        while (pos < bytes.size()) {
            std::size_t end = pos;
            while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') {
                ++end;
            }
            std::size_t next = end;
            if (next < bytes.size()) {
                next += (bytes[next] == '\r' && next + 1 < bytes.size() && bytes[next + 1] == '\n')
                            ? 2
                            : 1;
            }
            Line line;
            line.content = bytes.substr(pos, end - pos);
            line.eol = bytes.substr(end, next - end);
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
        std::string_view v = trimmed(lines[*i].content.substr(lines[*i].equals + 1));
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.front() == v.back()) {
            v = v.substr(1, v.size() - 2);
        }
        return std::string(v);
    }

    std::string_view bom;
    std::vector<Line> lines;

private:
    static void classify(Line& line) {
        const std::string_view c = line.content;
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
            line.equals = eq;
        }
    }
};

// Empty when `after` is `before` with only the touched values changed and only the allowed
// lines added; otherwise a description of the first difference.
inline std::string outsideDifference(std::string_view before, std::string_view after,
                                     const std::set<IniOracle::Name>& touched) {
    const IniOracle b(before);
    const IniOracle a(after);
    if (b.bom != a.bom) {
        return "the byte-order mark changed";
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
        std::string_view head;
        std::string_view eol;
        bool operator==(const Piece&) const = default;
    };
    const auto piece = [](const IniOracle::Line& line, char mark) {
        return Piece{mark == Masked ? line.content.substr(0, line.equals + 1) : line.content,
                     line.eol};
    };
    std::vector<Piece> expected;
    expected.reserve(b.lines.size());
    for (std::size_t i = 0; i < b.lines.size(); ++i) {
        expected.push_back(piece(b.lines[i], markBefore[i]));
    }
    std::vector<Piece> got;
    got.reserve(a.lines.size());
    for (std::size_t i = 0; i < a.lines.size(); ++i) {
        if (markAfter[i] != Added) {
            got.push_back(piece(a.lines[i], markAfter[i]));
        }
    }
    // A file without a final line break gains one before the first added line.
    if (anyAdded && !expected.empty() && expected.back().eol.empty() &&
        got.size() == expected.size()) {
        got.back().eol = {};
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
