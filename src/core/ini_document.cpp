#include "core/ini_document.hpp"

#include "core/config_store.hpp"

#include <algorithm>
#include <array>
#include <utility>

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

struct IniDocument::Parsed {
    Line line{};
    LineKind kind = LineKind::Other;
    std::string name;              // of a section or key line, decoded
    std::size_t valueBegin = npos; // just after the "=" of a key line
};

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
    constexpr std::array<const char*, 4> kNames{nullptr, "UTF-8", "UTF-16LE", "UTF-16BE"};
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

// `text` is UTF-8 that may hold unpaired surrogates, which only UTF-16 can hold.
bool IniDocument::holds(FileEncoding encoding, std::string_view text) const {
    std::string scratch;
    return encoding == FileEncoding::Utf16Le || encoding == FileEncoding::Utf16Be ||
           (encoding == FileEncoding::Utf8 ? isValidUtf8(text) : ansi_->encode(text, scratch));
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

std::vector<std::string_view> IniDocument::Edit::pieces() const {
    std::vector<std::string_view> out{mark_};
    std::size_t cursor = 0;
    for (const Splice& splice : splices_) {
        // An unreadable end (a UTF-16 file's odd last byte, a UTF-8 sequence cut short) reads
        // as one U+FFFD; with text after it, it is written as that U+FFFD, or it would read
        // differently.
        if (splice.pos == content_.size() && cursor <= tail_ && tail_ < content_.size()) {
            out.push_back(content_.substr(cursor, tail_ - cursor));
            out.push_back(tailAs_);
        } else {
            out.push_back(content_.substr(cursor, splice.pos - cursor));
        }
        out.push_back(splice.bytes);
        cursor = splice.pos + splice.erase;
    }
    out.push_back(content_.substr(cursor));
    return out;
}

struct IniDocument::MergedPut {
    std::string_view section; // as the put names it, trimmed
    std::string_view key;
    std::string encoded; // the value as it goes after "="
};

// All puts are checked before anything is made, so that an invalid one leaves nothing made. A
// later put of a key replaces the value of the first, in the first one's place.
std::vector<IniDocument::MergedPut> IniDocument::checkedAndMerged(std::span<const IniPut> puts) {
    std::vector<MergedPut> merged;
    for (const IniPut& put : puts) {
        checkIniSectionName(put.section);
        checkIniKeyName(put.key);
        MergedPut m{trimIniBlanks(put.section), trimIniBlanks(put.key), encodeIniValue(put.value)};
        const auto same = std::ranges::find_if(merged, [&](const MergedPut& o) {
            return iniNamesEqual(o.section, m.section) && iniNamesEqual(o.key, m.key);
        });
        if (same != merged.end()) {
            same->encoded = std::move(m.encoded);
        } else {
            merged.push_back(std::move(m));
        }
    }
    return merged;
}

// Each text is checked a character at a time: an empty file takes the ANSI code page where
// that holds every text, else UTF-16LE (which holds any); a file that exists keeps its own.
FileEncoding IniDocument::encodingFor(std::span<const MergedPut> merged) const {
    for (const MergedPut& m : merged) {
        for (const auto& [what, text] :
             {std::pair{"key name", m.key}, std::pair{"section name", m.section},
              std::pair{"value", std::string_view(m.encoded)}}) {
            for (std::size_t i = 0; i < text.size();) {
                const Utf8Step step = nextUtf8(text, i, true);
                const std::string_view character = text.substr(i, step.length);
                i += step.length;
                if (holds(encoding_, character)) {
                    continue;
                }
                if (bytes_.empty()) {
                    return FileEncoding::Utf16Le;
                }
                throw UnencodableValueError(
                    std::string(m.key), "The " + std::string(what) + " of \"" + std::string(m.key) +
                                            "\" holds \"" + std::string(character) + "\" (" +
                                            codePointLabel(step.codePoint) +
                                            "), which cannot be stored in the file's encoding, " +
                                            encodingName() + ".");
            }
        }
    }
    return encoding_;
}

// New lines take the file's first line end, CR LF in a file that has none.
std::string IniDocument::lineEnd() const {
    const Line first = lineAt(fileUnits(content(), encoding_, tail_), 0);
    if (first.end == content().size()) {
        return "\r\n";
    }
    std::string eol;
    decode(first.end, first.next, eol);
    return eol;
}

// The new value of existing key line `k`: after its "=", or with "=" after a key alone.
IniDocument::Edit::Splice IniDocument::valueSplice(const Parsed& k, std::string_view encoded,
                                                   FileEncoding encoding) const {
    if (k.valueBegin == npos) {
        return {k.line.end, 0, encode(encoding, "=" + std::string(encoded))};
    }
    return {k.valueBegin, k.line.end - k.valueBegin, encode(encoding, encoded)};
}

// The text of new key line `line` that goes after the anchor of existing section `s`.
std::string IniDocument::newKeyLine(const Section& s, std::string_view line,
                                    std::string_view eol) const {
    if (s.anchorNext == s.anchorEnd) {
        // A last line without a line end gets one before the new key, and the file keeps
        // ending without one.
        return std::string(eol).append(line);
    }
    // The new key takes its neighbour's line end: a lone CR from elsewhere in the file would
    // join an LF that follows into one CR LF, and a blank line would vanish.
    std::string text(line);
    decode(s.anchorEnd, s.anchorNext, text);
    return text;
}

// The puts of the section that `puts` starts with (the later ones that name it too): the
// splices of its existing keys, and its new lines after its anchor; the lines of a section the
// file lacks go to `newSections`, header first.
void IniDocument::editSection(std::span<const MergedPut> puts, FileEncoding encoding,
                              std::string_view eol, std::vector<Edit::Splice>& splices,
                              std::string& newSections) const {
    const std::string_view name = puts.front().section;
    const Section& s = section(name);
    std::string added;
    for (const MergedPut& m : puts) {
        if (!iniNamesEqual(m.section, name)) {
            continue;
        }
        const std::string line = std::string(m.key) + "=" + m.encoded;
        if (!s.found) {
            added.append(line).append(eol);
        } else if (const std::optional<Parsed> k = findKey(s, m.key)) {
            splices.push_back(valueSplice(*k, m.encoded, encoding));
        } else {
            added += newKeyLine(s, line, eol);
        }
    }
    if (!s.found) {
        newSections.append("[").append(name).append("]").append(eol).append(added);
    } else if (!added.empty()) {
        splices.push_back({s.anchorNext, 0, encode(encoding, added)});
    }
}

IniDocument::Edit IniDocument::edited(std::span<const IniPut> puts) const {
    const std::vector<MergedPut> merged = checkedAndMerged(puts);
    const FileEncoding encoding = encodingFor(merged);
    const std::string eol = lineEnd();
    std::vector<Edit::Splice> splices;
    std::string newSections;
    for (std::size_t i = 0; i < merged.size(); ++i) {
        const auto earlier = std::span(merged).first(i);
        if (std::ranges::none_of(earlier, [&](const MergedPut& m) {
                return iniNamesEqual(m.section, merged[i].section);
            })) {
            editSection(std::span(merged).subspan(i), encoding, eol, splices, newSections);
        }
    }
    const std::string_view doc = content();
    if (!newSections.empty()) {
        const Units file = fileUnits(doc, encoding_, tail_);
        if (!doc.empty() && !isLineBreak(file.at(file.before(doc.size())))) {
            newSections.insert(0, eol);
        }
        splices.push_back({doc.size(), 0, encode(encoding, newSections)});
    }
    // The first line of the new file, right after a UTF-8 mark, is a line end instead of a
    // header; splices at the start of the content come after it.
    if (encoding_ == FileEncoding::Utf8 &&
        (doc.empty() ? !newSections.empty() : parse(0, true).kind == LineKind::Header)) {
        splices.insert(splices.begin(), {0, 0, eol});
    }
    std::ranges::stable_sort(splices, {}, &Edit::Splice::pos);

    Edit edit;
    edit.mark_ = bytes_.empty() && encoding == FileEncoding::Utf16Le
                     ? kUtf16LeMark
                     : std::string_view(bytes_).substr(0, markSize_);
    edit.content_ = doc;
    edit.tail_ = tail_;
    edit.tailAs_ = encoding_ == FileEncoding::Utf8      ? "\xEF\xBF\xBD"
                   : encoding_ == FileEncoding::Utf16Le ? "\xFD\xFF"
                                                        : "\xFF\xFD";
    edit.splices_ = std::move(splices);
    return edit;
}

} // namespace quentra::core
