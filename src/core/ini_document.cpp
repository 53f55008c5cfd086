#include "core/ini_document.hpp"

#include "core/config_store.hpp"

#include <algorithm>

namespace quentra::core {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";
constexpr std::size_t npos = std::string_view::npos;

bool isIniSpace(char32_t c) {
    return c == ' ' || (c >= 0x09 && c <= 0x0D) || c == 0x1A;
}

bool isLineBreak(char32_t c) {
    return c == '\r' || c == '\n';
}

bool isQuote(char32_t c) {
    return c == '"' || c == '\'';
}

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) { return lowerAscii(c); });
    return out;
}

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool holdsLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != npos;
}

// The code units of a run of bytes, found by byte offset: a file's own bytes (one or two
// bytes a unit), or a line's decoded text. From `tail` to the end lies one unit that is no
// ASCII character, whatever bytes it holds.
struct Units {
    std::string_view bytes;
    std::size_t width = 1;
    bool bigEndian = false;
    std::size_t tail = npos;

    char32_t at(std::size_t p) const {
        if (p >= tail) {
            return kReplacementCharacter;
        }
        const auto first = static_cast<unsigned char>(bytes[p]);
        if (width == 1) {
            return first;
        }
        const auto second = static_cast<unsigned char>(bytes[p + 1]);
        return bigEndian ? (char32_t{first} << 8 | second) : (char32_t{second} << 8 | first);
    }
    std::size_t after(std::size_t p) const { return p >= tail ? bytes.size() : p + width; }
    std::size_t before(std::size_t p) const { return p > tail ? tail : p - width; }
};

// The units of a file's content in its encoding.
Units fileUnits(std::string_view content, FileEncoding encoding, std::size_t tail) {
    const bool wide = encoding == FileEncoding::Utf16Le || encoding == FileEncoding::Utf16Be;
    return {content, wide ? 2u : 1u, encoding == FileEncoding::Utf16Be, tail};
}

struct Line {
    std::size_t begin; // first byte of the content
    std::size_t end;   // one past the content, where the line end starts
    std::size_t next;  // first byte of the following line
};

// The line that starts at `pos`; a CR, an LF or a CR LF ends it.
Line lineAt(const Units& u, std::size_t pos) {
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

enum class LineKind { Other, Header, Key };

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

std::string encodeIniValue(std::string_view text) {
    if (holdsLineBreakOrNul(text)) {
        throw StoreError("A value holding a line break or a NUL character cannot be stored");
    }
    if (!isValidUtf8(text, true)) {
        throw StoreError("A value that is not UTF-8 text cannot be stored");
    }
    const bool spaceAtEnd =
        !text.empty() && (isIniSpace(static_cast<unsigned char>(text.front())) ||
                          isIniSpace(static_cast<unsigned char>(text.back())));
    const bool quotedLook =
        text.size() >= 2 && isQuote(text.front()) && text.front() == text.back();
    return spaceAtEnd || quotedLook ? "\"" + std::string(text) + "\"" : std::string(text);
}

void checkIniSectionName(std::string_view name) {
    const std::string_view n = trimIniBlanks(name);
    if (holdsLineBreakOrNul(name) || n.find(']') != npos || !isValidUtf8(n)) {
        throw StoreError("The section name \"" + std::string(n) + "\" cannot be stored");
    }
}

void checkIniKeyName(std::string_view name) {
    const std::string_view n = trimIniBlanks(name);
    if (holdsLineBreakOrNul(name) || n.find('=') != npos || !isValidUtf8(n) ||
        (!n.empty() && (n.front() == ';' || n.front() == '#' || n.front() == '['))) {
        throw StoreError("The key name \"" + std::string(n) + "\" cannot be stored");
    }
}

IniDocument::IniDocument(std::string bytes, const CodePage& ansi)
    : bytes_(std::move(bytes)), ansi_(&ansi) {
    if (bytes_.starts_with(kUtf16LeMark) || bytes_.starts_with(kUtf16BeMark)) {
        encoding_ = bytes_[0] == '\xFF' ? FileEncoding::Utf16Le : FileEncoding::Utf16Be;
        markSize_ = 2;
    } else if (bytes_.starts_with(kUtf8Mark)) {
        encoding_ = FileEncoding::Utf8;
        markSize_ = kUtf8Mark.size();
    }
    const std::string_view c = content();
    tail_ = encoding_ == FileEncoding::Utf8 ? cutShortUtf8Tail(c)
            : markSize_ == 2                ? c.size() - c.size() % 2
                                            : c.size();
}

std::string IniDocument::encodingName() const {
    switch (encoding_) {
    case FileEncoding::Utf16Le:
        return "UTF-16LE";
    case FileEncoding::Utf16Be:
        return "UTF-16BE";
    case FileEncoding::Utf8:
        return "UTF-8";
    case FileEncoding::Ansi:
        break;
    }
    return ansi_->name();
}

void IniDocument::decode(std::size_t begin, std::size_t end, std::string& out) const {
    const std::string_view c = content();
    switch (encoding_) {
    case FileEncoding::Utf16Le:
    case FileEncoding::Utf16Be:
        appendUtf8FromUtf16(out, c.substr(begin, end - begin),
                            encoding_ == FileEncoding::Utf16Le ? ByteOrder::Little
                                                               : ByteOrder::Big);
        return;
    case FileEncoding::Utf8:
        appendUtf8FromFileUtf8(out, c, begin, end);
        return;
    case FileEncoding::Ansi:
        ansi_->decode(c.substr(begin, end - begin), out);
        return;
    }
}

bool IniDocument::holds(FileEncoding encoding, std::string_view text) const {
    std::string scratch;
    return encoding == FileEncoding::Utf16Le || encoding == FileEncoding::Utf16Be ||
           (encoding == FileEncoding::Utf8 ? !holdsSurrogate(text) : ansi_->encode(text, scratch));
}

std::string IniDocument::encode(FileEncoding encoding, std::string_view text) const {
    std::string out;
    if (encoding == FileEncoding::Utf16Le || encoding == FileEncoding::Utf16Be) {
        appendUtf16FromUtf8(out, text,
                            encoding == FileEncoding::Utf16Le ? ByteOrder::Little : ByteOrder::Big);
    } else if (encoding == FileEncoding::Utf8 || !ansi_->encode(text, out)) {
        out = text; // only texts that holds() passed come here
    }
    return out;
}

IniDocument::SectionIndex IniDocument::scanSection(std::string_view wanted) const {
    const std::string_view c = content();
    const Units file = fileUnits(c, encoding_, tail_);
    const bool decodeHighLines = encoding_ == FileEncoding::Ansi && !ansi_->asciiBytesAreAscii();
    SectionIndex index;
    std::string lineText;
    std::string name;
    for (std::size_t pos = 0; pos < c.size();) {
        const Line line = lineAt(file, pos);
        pos = line.next;
        // In a double-byte code page a second byte may look like "[", "]" or a letter.
        Units u = file;
        std::size_t begin = line.begin;
        std::size_t end = line.end;
        const bool decoded = decodeHighLines && !isAscii(c.substr(begin, end - begin));
        if (decoded) {
            lineText.clear();
            ansi_->decode(c.substr(begin, end - begin), lineText);
            u = Units{lineText};
            begin = 0;
            end = lineText.size();
        }
        const Classified k = classify(u, begin, end, !index.found);
        if (k.kind == LineKind::Other) {
            continue;
        }
        name.clear();
        if (decoded) {
            name = lineText.substr(k.nameBegin, k.nameEnd - k.nameBegin);
        } else {
            decode(k.nameBegin, k.nameEnd, name);
        }
        if (k.kind == LineKind::Header) {
            if (index.found) {
                break; // only the first section of that name counts
            }
            if (iniNamesEqual(name, wanted)) {
                index.found = true;
                index.anchorEnd = line.end;
                index.anchorNext = line.next;
            }
            continue;
        }
        // "=" is one byte of its own in every code page, so the first one of the bytes is the
        // first one of the text.
        std::size_t valueBegin = npos;
        if (k.equals != npos) {
            valueBegin = decoded ? c.find('=', line.begin) + 1 : u.after(k.equals);
            index.anchorEnd = line.end;
            index.anchorNext = line.next;
        }
        index.keys.try_emplace(lowerAscii(name), KeyLine{valueBegin, line.end});
    }
    return index;
}

const IniDocument::SectionIndex& IniDocument::section(std::string_view name) const {
    const std::string_view wanted = trimIniBlanks(name);
    std::string lowered = lowerAscii(wanted);
    if (const auto it = sections_.find(lowered); it != sections_.end()) {
        return it->second;
    }
    return sections_.emplace(std::move(lowered), scanSection(wanted)).first->second;
}

std::optional<std::string> IniDocument::value(std::string_view sectionName,
                                              std::string_view key) const {
    const SectionIndex& index = section(sectionName);
    const auto it = index.keys.find(lowerAscii(trimIniBlanks(key)));
    if (it == index.keys.end() || it->second.valueBegin == npos) {
        return std::nullopt;
    }
    std::string text;
    decode(it->second.valueBegin, it->second.end, text);
    std::string_view v = trimIniBlanks(text);
    v = v.substr(0, v.find('\0'));
    if (v.size() >= 2 && isQuote(v.front()) && v.front() == v.back()) {
        v = v.substr(1, v.size() - 2);
    }
    return std::string(v);
}

std::vector<std::string_view> IniDocument::Edit::pieces() const {
    std::vector<std::string_view> out;
    out.reserve(2 * splices_.size() + 3);
    const auto put = [&out](std::string_view s) {
        if (!s.empty()) {
            out.push_back(s);
        }
    };
    const auto stretch = [&](std::size_t from, std::size_t to) {
        if (!tailAs_.empty() && from <= tail_ && tail_ < to) {
            put(content_.substr(from, tail_ - from));
            put(tailAs_);
        } else {
            put(content_.substr(from, to - from));
        }
    };
    put(mark_);
    std::size_t cursor = 0;
    for (const Splice& splice : splices_) {
        stretch(cursor, splice.pos);
        put(splice.bytes);
        cursor = splice.pos + splice.erase;
    }
    stretch(cursor, content_.size());
    return out;
}

IniDocument::Edit IniDocument::edited(std::span<const IniPut> puts) const {
    // Validate and merge first, so that an invalid put leaves nothing made.
    struct Merged {
        std::string_view section;
        std::string_view key;
        std::string encoded;
    };
    std::vector<Merged> merged;
    for (const IniPut& put : puts) {
        checkIniSectionName(put.section);
        checkIniKeyName(put.key);
        std::string encoded = encodeIniValue(put.value);
        const std::string_view s = trimIniBlanks(put.section);
        const std::string_view k = trimIniBlanks(put.key);
        const auto same = std::find_if(merged.begin(), merged.end(), [&](const Merged& m) {
            return iniNamesEqual(m.section, s) && iniNamesEqual(m.key, k);
        });
        if (same != merged.end()) {
            same->encoded = std::move(encoded);
        } else {
            merged.push_back(Merged{s, k, std::move(encoded)});
        }
    }

    // An empty file takes the ANSI code page where that holds every text, else UTF-16LE.
    FileEncoding encoding = encoding_;
    // Where the first character of `text` lies that the encoding cannot hold, else its size.
    const auto firstUnheld = [&](std::string_view text) {
        std::size_t i = 0;
        for (std::size_t n = 0; i < text.size(); i += n) {
            n = nextUtf8(text, i, true).length;
            if (!holds(encoding, text.substr(i, n))) {
                break;
            }
        }
        return i;
    };
    const auto holdsPut = [&](const Merged& m) {
        return firstUnheld(m.key) == m.key.size() && firstUnheld(m.section) == m.section.size() &&
               firstUnheld(m.encoded) == m.encoded.size();
    };
    if (bytes_.empty() && !std::all_of(merged.begin(), merged.end(), holdsPut)) {
        encoding = FileEncoding::Utf16Le;
    }
    for (const Merged& m : merged) {
        for (const auto& [what, text] : {std::pair{"key name", m.key},
                                         {"section name", m.section},
                                         {"value", std::string_view(m.encoded)}}) {
            if (const std::size_t at = firstUnheld(text); at < text.size()) {
                const Utf8Step step = nextUtf8(text, at, true);
                throw UnencodableValueError(
                    std::string(m.key), "The " + std::string(what) + " of \"" + std::string(m.key) +
                                            "\" holds \"" +
                                            std::string(text.substr(at, step.length)) + "\" (" +
                                            codePointLabel(step.codePoint) +
                                            "), which cannot be stored in the file's encoding, " +
                                            encodingName() + ".");
            }
        }
    }

    const std::string_view doc = content();
    Edit edit;
    edit.mark_ = bytes_.empty() && encoding == FileEncoding::Utf16Le
                     ? kUtf16LeMark
                     : std::string_view(bytes_).substr(0, markSize_);
    edit.content_ = doc;
    edit.tail_ = tail_;
    if (merged.empty()) {
        return edit;
    }

    // New lines take the file's first line end, CR LF in a file that has none.
    std::string eol = "\r\n";
    const Units file = fileUnits(doc, encoding_, tail_);
    if (const Line first = lineAt(file, 0); first.end < doc.size()) {
        eol.clear();
        decode(first.end, first.next, eol);
    }
    std::vector<Edit::Splice> splices;
    // New keys of existing sections, by the section's anchor line; new sections in order.
    std::vector<std::pair<const SectionIndex*, std::string>> additions;
    std::vector<std::pair<std::string_view, std::string>> newSections;
    for (const Merged& m : merged) {
        const SectionIndex& index = section(m.section);
        const std::string line = std::string(m.key) + "=" + m.encoded;
        if (!index.found) {
            auto it = std::find_if(newSections.begin(), newSections.end(), [&](const auto& s) {
                return iniNamesEqual(s.first, m.section);
            });
            if (it == newSections.end()) {
                // Appended piece by piece: GCC 12 at -O3 takes "[" + std::string(...) for an
                // overlapping copy (a false -Wrestrict).
                std::string header = "[";
                header.append(m.section).append("]").append(eol);
                it = newSections.emplace(newSections.end(), m.section, std::move(header));
            }
            it->second += line + eol;
            continue;
        }
        if (const auto key = index.keys.find(lowerAscii(m.key)); key != index.keys.end()) {
            const KeyLine& k = key->second;
            splices.push_back(k.valueBegin == npos
                                  ? Edit::Splice{k.end, 0, encode(encoding, "=" + m.encoded)}
                                  : Edit::Splice{k.valueBegin, k.end - k.valueBegin,
                                                 encode(encoding, m.encoded)});
            continue;
        }
        auto it = std::find_if(additions.begin(), additions.end(),
                               [&](const auto& a) { return a.first == &index; });
        if (it == additions.end()) {
            it = additions.emplace(additions.end(), &index, std::string());
        }
        // A last line without a line end gets one before the new key, and the file keeps
        // ending without one. Otherwise the new key takes its neighbour's line end: a lone CR
        // from elsewhere in the file would join an LF that follows into one CR LF, and a blank
        // line would vanish.
        if (index.anchorNext > index.anchorEnd) {
            it->second += line;
            decode(index.anchorEnd, index.anchorNext, it->second);
        } else {
            it->second += eol + line;
        }
    }
    for (const auto& [index, text] : additions) {
        splices.push_back(
            {std::max(index->anchorNext, index->anchorEnd), 0, encode(encoding, text)});
    }
    if (!newSections.empty()) {
        std::string text;
        if (!doc.empty() && !isLineBreak(file.at(file.before(doc.size())))) {
            text += eol;
        }
        for (const auto& s : newSections) {
            text += s.second;
        }
        splices.push_back({doc.size(), 0, encode(encoding, text)});
    }
    std::stable_sort(splices.begin(), splices.end(),
                     [](const Edit::Splice& a, const Edit::Splice& b) { return a.pos < b.pos; });
    if (tail_ < doc.size() && splices.back().pos == doc.size()) {
        edit.tailAs_ = encoding_ == FileEncoding::Utf8      ? "\xEF\xBF\xBD"
                       : encoding_ == FileEncoding::Utf16Le ? "\xFD\xFF"
                                                            : "\xFF\xFD";
    }
    edit.splices_ = std::move(splices);
    return edit;
}

} // namespace quentra::core
