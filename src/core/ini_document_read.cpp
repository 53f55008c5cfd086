// Reading a settings file: its lines found and classified in its own bytes, sections and keys
// looked up as the file's readers look them up.

#include "core/ini_document.hpp"

#include "core/config_store.hpp"
#include "core/ini_lines.hpp"

#include <algorithm>
#include <array>
#include <utility>

namespace quentra::core {

using namespace detail;

namespace {

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

struct Classified {
    LineKind kind = LineKind::Other;
    std::size_t nameBegin = 0; // the section or key name: white space around it removed, and
    std::size_t nameEnd = 0;   // ending at a NUL
    std::size_t equals = npos; // the first "=" of a key line
};

Classified named(const Units& u, LineKind kind, std::size_t begin, std::size_t end,
                 std::size_t equals) {
    while (begin < end && isIniSpace(u.at(begin))) {
        begin = u.after(begin);
    }
    while (end > begin && isIniSpace(u.at(u.before(end)))) {
        end = u.before(end);
    }
    for (std::size_t p = begin; p < end; p = u.after(p)) {
        if (u.at(p) == 0) {
            end = p;
            break;
        }
    }
    return {kind, begin, end, equals};
}

// What the units [begin, end) of one line are. With `headersOnly`, a line that cannot be a
// header is Other without a look at the rest of it.
Classified classify(const Units& u, std::size_t begin, std::size_t end, bool headersOnly) {
    while (begin < end && isIniSpace(u.at(begin))) {
        begin = u.after(begin);
    }
    if (begin == end) {
        return {};
    }
    const char32_t first = u.at(begin);
    if (first == ';' || first == '#' || (headersOnly && first != '[')) {
        return {};
    }
    if (first == '[') {
        // The name runs to the last "]"; without one the line is a key line.
        for (std::size_t q = u.before(end); q > begin; q = u.before(q)) {
            if (u.at(q) == ']') {
                return named(u, LineKind::Header, u.after(begin), q, npos);
            }
        }
    }
    if (headersOnly) {
        return {};
    }
    std::size_t equals = begin;
    while (equals < end && u.at(equals) != '=') {
        equals = u.after(equals);
    }
    return equals < end ? named(u, LineKind::Key, begin, equals, equals)
                        : named(u, LineKind::Key, begin, end, npos);
}

} // namespace

Line detail::lineAt(const Units& u, std::size_t pos) {
    const std::size_t size = u.bytes.size();
    std::size_t end = pos;
    if (u.width == 1) {
        const std::size_t limit = std::min(u.tail, size);
        const char* data = u.bytes.data();
        end = static_cast<std::size_t>(
            std::find_if(data + pos, data + limit, [](char c) { return c == '\r' || c == '\n'; }) -
            data);
        end = end == limit ? size : end;
    } else {
        while (end < size && !isLineBreak(u.at(end))) {
            end = u.after(end);
        }
    }
    std::size_t next = end;
    if (end < size) {
        next = u.after(end);
        if (u.at(end) == '\r' && next < size && u.at(next) == '\n') {
            next = u.after(next);
        }
    }
    return {pos, end, next};
}

std::string_view trimIniBlanks(std::string_view text) {
    while (!text.empty() && isIniSpace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isIniSpace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

bool iniNamesEqual(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lowerAscii(x) == lowerAscii(y);
           });
}

std::string utf16BeAsLe(std::string bytes) {
    if (bytes.starts_with(kUtf16BeMark)) {
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            std::swap(bytes[i], bytes[i + 1]);
        }
    }
    return bytes;
}

IniDocument::IniDocument(std::string bytes, const CodePage& ansi)
    : bytes_(std::move(bytes)), ansi_(&ansi) {
    if (bytes_.starts_with(kUtf16LeMark) || bytes_.starts_with(kUtf16BeMark)) {
        encoding_ = bytes_[0] == '\xFF' ? FileEncoding::Utf16Le : FileEncoding::Utf16Be;
        markSize_ = kUtf16LeMark.size();
    } else if (bytes_.starts_with(kUtf8Mark)) {
        encoding_ = FileEncoding::Utf8;
        markSize_ = kUtf8Mark.size();
    }
    const std::string_view c = content();
    tail_ = encoding_ == FileEncoding::Utf8   ? cutShortUtf8Tail(c)
            : encoding_ != FileEncoding::Ansi ? c.size() - c.size() % 2
                                              : c.size();
}

std::string IniDocument::encodingName() const {
    constexpr auto kNames = std::to_array<const char*>({nullptr, "UTF-8", "UTF-16LE", "UTF-16BE"});
    return encoding_ == FileEncoding::Ansi ? ansi_->name()
                                           : kNames.at(static_cast<std::size_t>(encoding_));
}

void IniDocument::decode(std::size_t begin, std::size_t end, std::string& out) const {
    const std::string_view c = content();
    if (encoding_ == FileEncoding::Utf8) {
        appendUtf8FromFileUtf8(out, c, begin, end);
    } else if (encoding_ == FileEncoding::Ansi) {
        ansi_->decode(c.substr(begin, end - begin), out);
    } else {
        appendUtf8FromUtf16(out, c.substr(begin, end - begin),
                            encoding_ == FileEncoding::Utf16Le ? ByteOrder::Little
                                                               : ByteOrder::Big);
    }
}

IniDocument::Parsed IniDocument::parse(std::size_t pos, bool headersOnly) const {
    const std::string_view c = content();
    const Units file = fileUnits(c, encoding_, tail_);
    Parsed p;
    p.line = lineAt(file, pos);
    const std::string_view bytes = c.substr(p.line.begin, p.line.end - p.line.begin);
    // In a double-byte code page a second byte may look like "[", "]" or a letter.
    if (encoding_ == FileEncoding::Ansi && !ansi_->asciiBytesAreAscii() && !isAscii(bytes)) {
        std::string text;
        ansi_->decode(bytes, text);
        const Classified k = classify(Units{text}, 0, text.size(), headersOnly);
        p.kind = k.kind;
        p.name = text.substr(k.nameBegin, k.nameEnd - k.nameBegin);
        // "=" is one byte of its own in every code page, so the first one of the bytes is the
        // first one of the text.
        p.valueBegin = k.equals == npos ? npos : p.line.begin + bytes.find('=') + 1;
        return p;
    }
    const Classified k = classify(file, p.line.begin, p.line.end, headersOnly);
    p.kind = k.kind;
    decode(k.nameBegin, k.nameEnd, p.name);
    p.valueBegin = k.equals == npos ? npos : file.after(k.equals);
    return p;
}

IniDocument::Section IniDocument::scanSection(std::string_view wanted) const {
    Section s;
    const std::size_t size = content().size();
    s.bodyEnd = size;
    for (std::size_t pos = 0; pos < size;) {
        const Parsed p = parse(pos, !s.found);
        pos = p.line.next;
        if (p.kind == LineKind::Header) {
            if (s.found) {
                s.bodyEnd = p.line.begin; // only the first section of that name counts
                break;
            }
            if (!iniNamesEqual(p.name, wanted)) {
                continue;
            }
            s.found = true;
            s.bodyBegin = pos;
        } else if (p.valueBegin == npos) {
            continue; // not a "key=value" line
        }
        s.anchorEnd = p.line.end;
        s.anchorNext = p.line.next;
    }
    return s;
}

const IniDocument::Section& IniDocument::section(std::string_view name) const {
    const std::string_view wanted = trimIniBlanks(name);
    std::string lowered(wanted);
    std::ranges::transform(lowered, lowered.begin(), [](char c) { return lowerAscii(c); });
    if (const auto it = sections_.find(lowered); it != sections_.end()) {
        return it->second;
    }
    return sections_.emplace(std::move(lowered), scanSection(wanted)).first->second;
}

// Keys are not indexed: an index of a file of a million keys would take several times the
// file's size, while a walk over the section for each of the job's 23 keys stays linear.
std::optional<IniDocument::Parsed> IniDocument::findKey(const Section& s,
                                                        std::string_view key) const {
    for (std::size_t pos = s.bodyBegin; s.found && pos < s.bodyEnd;) {
        Parsed p = parse(pos, false);
        pos = p.line.next;
        if (p.kind == LineKind::Key && iniNamesEqual(p.name, key)) {
            return p; // the first line of a name hides later ones, even a key alone
        }
    }
    return std::nullopt;
}

std::optional<std::string> IniDocument::value(std::string_view sectionName,
                                              std::string_view key) const {
    const std::optional<Parsed> k = findKey(section(sectionName), trimIniBlanks(key));
    if (!k || k->valueBegin == npos) {
        return std::nullopt;
    }
    std::string text;
    decode(k->valueBegin, k->line.end, text);
    std::string_view v = trimIniBlanks(text);
    v = v.substr(0, v.find('\0'));
    if (v.size() >= 2 && isQuote(v.front()) && v.front() == v.back()) {
        v = v.substr(1, v.size() - 2);
    }
    return std::string(v);
}

} // namespace quentra::core
