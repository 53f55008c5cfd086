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
#include <map>
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

class IniOracle {
public:
    struct Line {
        std::string_view content;
        std::string_view eol;
        enum Kind { Other, Header, Key } kind = Other;
        std::string name;       // folded section or key name
        std::size_t equals = 0; // offset of "=" in content, for key lines
        std::string section;    // folded name of the section the line lies in
        bool inFirst = false;   // that section is the first of its name
    };
    using Name = std::pair<std::string, std::string>; // folded section, folded key

    explicit IniOracle(std::string_view bytes) {
        if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
            bom = bytes.substr(0, 3);
            bytes.remove_prefix(3);
        }
        std::set<std::string> seenSections;
        std::string current;
        bool currentFirst = false;
        bool inSection = false;
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
            if (line.kind == Line::Header) {
                current = line.name;
                inSection = true;
                currentFirst = seenSections.insert(current).second;
                if (currentFirst) {
                    firstHeader_.emplace(current, lines.size());
                }
            }
            line.section = current;
            line.inFirst = inSection && currentFirst;
            if (line.kind == Line::Key && line.inFirst) {
                effective_.try_emplace(Name{current, line.name}, lines.size());
            }
            lines.push_back(std::move(line));
            pos = next;
        }
    }

    // Index of the line a reader takes the key from, if any.
    std::optional<std::size_t> effectiveLine(std::string_view section, std::string_view key) const {
        const auto it = effective_.find(Name{nameKey(section), nameKey(key)});
        if (it == effective_.end()) {
            return std::nullopt;
        }
        return it->second;
    }

    std::optional<std::size_t> sectionHeader(std::string_view section) const {
        const auto it = firstHeader_.find(nameKey(section));
        if (it == firstHeader_.end()) {
            return std::nullopt;
        }
        return it->second;
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
                line.name = nameKey(c.substr(p + 1, close - p - 1));
            }
            return;
        }
        const std::size_t eq = c.find('=', p);
        if (eq != std::string_view::npos) {
            line.kind = Line::Key;
            line.name = nameKey(c.substr(p, eq - p));
            line.equals = eq;
        }
    }

    std::map<Name, std::size_t> effective_;
    std::map<std::string, std::size_t> firstHeader_;
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
    const auto masked = [](const IniOracle::Line& line) {
        return std::string(line.content.substr(0, line.equals + 1)) + "\x01" +
               std::string(line.eol);
    };
    const auto whole = [](const IniOracle::Line& line) {
        return std::string(line.content) + std::string(line.eol);
    };

    std::set<std::size_t> maskedBefore;
    std::set<std::size_t> maskedAfter;
    std::set<std::size_t> added;
    for (const auto& [section, key] : touched) {
        const auto inAfter = a.effectiveLine(section, key);
        if (const auto inBefore = b.effectiveLine(section, key)) {
            maskedBefore.insert(*inBefore);
            if (inAfter) {
                maskedAfter.insert(*inAfter);
            }
        } else if (inAfter) {
            added.insert(*inAfter);
        }
        if (!b.sectionHeader(section)) {
            if (const auto h = a.sectionHeader(section)) {
                added.insert(*h);
            }
        }
    }

    std::vector<std::string> expected;
    for (std::size_t i = 0; i < b.lines.size(); ++i) {
        expected.push_back(maskedBefore.count(i) ? masked(b.lines[i]) : whole(b.lines[i]));
    }
    std::vector<std::string> got;
    for (std::size_t i = 0; i < a.lines.size(); ++i) {
        if (added.count(i) == 0) {
            got.push_back(maskedAfter.count(i) ? masked(a.lines[i]) : whole(a.lines[i]));
        }
    }
    // A file without a final line break gains one before the first added line.
    const bool noFinalBreak = !b.lines.empty() && b.lines.back().eol.empty();
    if (!added.empty() && noFinalBreak && got.size() == expected.size() && !got.empty()) {
        const std::string& last = expected.back();
        std::string& mine = got.back();
        if (mine.size() > last.size() && mine.compare(0, last.size(), last) == 0) {
            const std::string tail = mine.substr(last.size());
            if (tail == "\r\n" || tail == "\n" || tail == "\r") {
                mine = last;
            }
        }
    }
    if (expected.size() != got.size()) {
        std::ostringstream out;
        out << "the file had " << expected.size() << " lines outside the added ones, now "
            << got.size();
        return out.str();
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (expected[i] != got[i]) {
            std::ostringstream out;
            out << "line " << i + 1 << " changed";
            return out.str();
        }
    }
    return {};
}

} // namespace quentra::reliability
