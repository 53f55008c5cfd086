#include "core/ini_document.hpp"

#include "core/config_store.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace quentra::core {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = lowerAscii(c);
    }
    return out;
}

bool isQuote(char c) {
    return c == '"' || c == '\'';
}

bool holdsLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Whether any of the eight bytes at `p` is a CR or an LF (a zero byte in the word XORed
// with either one).
bool holdsLineBreak(const char* p) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
    std::uint64_t v = 0;
    std::memcpy(&v, p, sizeof v);
    const std::uint64_t lf = v ^ (kOnes * '\n');
    const std::uint64_t cr = v ^ (kOnes * '\r');
    return ((((lf - kOnes) & ~lf) | ((cr - kOnes) & ~cr)) & kHighs) != 0;
}

struct Line {
    std::size_t begin; // first byte of the content
    std::size_t end;   // one past the content, where the line end starts
    std::size_t next;  // first byte of the following line
};

// Walks the lines of a buffer; a CR, an LF or a CR LF ends a line.
class LineCursor {
public:
    explicit LineCursor(std::string_view bytes) : bytes_(bytes) {}

    bool next(Line& line) {
        if (pos_ >= bytes_.size()) {
            return false;
        }
        const char* data = bytes_.data();
        const std::size_t size = bytes_.size();
        std::size_t i = pos_;
        while (size - i >= 8 && !holdsLineBreak(data + i)) {
            i += 8;
        }
        while (i < size && data[i] != '\n' && data[i] != '\r') {
            ++i;
        }
        line.begin = pos_;
        line.end = i;
        if (i < size) {
            i += (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n') ? 2 : 1;
        }
        line.next = i;
        pos_ = i;
        return true;
    }

private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
};

enum class LineKind { Other, Header, Key };

struct Classified {
    LineKind kind = LineKind::Other;
    std::string_view name; // section or key name, blanks removed
};

Classified classify(std::string_view bytes, const Line& line) {
    Classified out;
    std::size_t p = line.begin;
    while (p < line.end && isBlank(bytes[p])) {
        ++p;
    }
    if (p == line.end || bytes[p] == ';' || bytes[p] == '#') {
        return out;
    }
    const std::string_view content = bytes.substr(p, line.end - p);
    if (content.front() == '[') {
        const std::size_t close = content.find(']');
        if (close != std::string_view::npos) {
            out.kind = LineKind::Header;
            out.name = trimIniBlanks(content.substr(1, close - 1));
        }
        return out;
    }
    const void* eq = std::memchr(content.data(), '=', content.size());
    if (eq != nullptr) {
        const auto offset = static_cast<std::size_t>(static_cast<const char*>(eq) - content.data());
        out.kind = LineKind::Key;
        out.name = trimIniBlanks(content.substr(0, offset));
    }
    return out;
}

// Whether the eight bytes at `p` are all ASCII.
bool eightAsciiBytes(const char* p) {
    std::uint64_t v = 0;
    std::memcpy(&v, p, sizeof v);
    return (v & 0x8080808080808080ULL) == 0;
}

bool endsInLineBreak(std::string_view bytes) {
    return !bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r');
}

} // namespace

std::string_view trimIniBlanks(std::string_view text) {
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && isBlank(text[b])) {
        ++b;
    }
    while (e > b && isBlank(text[e - 1])) {
        --e;
    }
    return text.substr(b, e - b);
}

bool iniNamesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

std::string encodeIniValue(std::string_view text) {
    if (holdsLineBreakOrNul(text)) {
        throw StoreError("A value holding a line break or a NUL character cannot be stored");
    }
    if (!isValidUtf8(text)) {
        throw StoreError("A value that is not UTF-8 text cannot be stored");
    }
    const bool blankAtEnd = !text.empty() && (isBlank(text.front()) || isBlank(text.back()));
    const bool quotedLook =
        text.size() >= 2 && isQuote(text.front()) && text.front() == text.back();
    if (blankAtEnd || quotedLook) {
        std::string out;
        out.reserve(text.size() + 2);
        out += '"';
        out += text;
        out += '"';
        return out;
    }
    return std::string(text);
}

void checkIniSectionName(std::string_view name) {
    const std::string_view n = trimIniBlanks(name);
    if (holdsLineBreakOrNul(n) || n.find(']') != std::string_view::npos || !isValidUtf8(n)) {
        throw StoreError("The section name \"" + std::string(n) + "\" cannot be stored");
    }
}

void checkIniKeyName(std::string_view name) {
    const std::string_view n = trimIniBlanks(name);
    if (holdsLineBreakOrNul(n) || n.find('=') != std::string_view::npos || !isValidUtf8(n) ||
        (!n.empty() && (n.front() == ';' || n.front() == '#' || n.front() == '['))) {
        throw StoreError("The key name \"" + std::string(n) + "\" cannot be stored");
    }
}

namespace {

std::uint32_t nameHash(std::string_view s) {
    // FNV-1a over the lower-cased bytes.
    std::uint64_t h = 1469598103934665603ULL;
    for (char c : s) {
        h ^= static_cast<unsigned char>(lowerAscii(c));
        h *= 1099511628211ULL;
    }
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

} // namespace

void IniDocument::KeyTable::grow() {
    std::vector<Slot> old(std::max<std::size_t>(16, slots_.size() * 2), Slot{kEmpty, 0, 0});
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& s : old) {
        if (s.keyBegin != kEmpty) {
            std::size_t i = s.hash & mask;
            while (slots_[i].keyBegin != kEmpty) {
                i = (i + 1) & mask;
            }
            slots_[i] = s;
        }
    }
}

void IniDocument::KeyTable::insertIfAbsent(std::string_view bytes, std::size_t keyBegin,
                                           std::size_t keyLength) {
    if (keyLength > UINT32_MAX) {
        return; // no name of that length is ever asked for
    }
    if ((count_ + 1) * 4 > slots_.size() * 3) {
        grow();
    }
    const std::string_view name = bytes.substr(keyBegin, keyLength);
    const std::uint32_t hash = nameHash(name);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        Slot& s = slots_[i];
        if (s.keyBegin == kEmpty) {
            s = Slot{keyBegin, static_cast<std::uint32_t>(keyLength), hash};
            ++count_;
            return;
        }
        if (s.hash == hash && iniNamesEqual(bytes.substr(s.keyBegin, s.keyLength), name)) {
            return; // the first of duplicate keys wins
        }
    }
}

std::optional<IniDocument::KeyLine> IniDocument::KeyTable::find(std::string_view bytes,
                                                                std::string_view name) const {
    if (slots_.empty()) {
        return std::nullopt;
    }
    const std::uint32_t hash = nameHash(name);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& s = slots_[i];
        if (s.keyBegin == kEmpty) {
            return std::nullopt;
        }
        if (s.hash == hash && iniNamesEqual(bytes.substr(s.keyBegin, s.keyLength), name)) {
            // Only blanks lie between the name and the first "=" of its line.
            std::size_t p = s.keyBegin + s.keyLength;
            while (bytes[p] != '=') {
                ++p;
            }
            const std::size_t valueBegin = p + 1;
            std::size_t e = valueBegin;
            while (e < bytes.size() && bytes[e] != '\n' && bytes[e] != '\r') {
                ++e;
            }
            return KeyLine{valueBegin, e};
        }
    }
}

IniDocument::IniDocument(std::string bytes, const CodePage& ansi)
    : bytes_(std::move(bytes)), ansi_(&ansi) {
    if (bytes_.starts_with(kUtf16LeMark)) {
        encoding_ = FileEncoding::Utf16Le;
        markSize_ = kUtf16LeMark.size();
    } else if (bytes_.starts_with(kUtf8Mark)) {
        encoding_ = FileEncoding::Utf8;
        markSize_ = kUtf8Mark.size();
    }
}

std::string_view IniDocument::text() const {
    const std::string_view content = std::string_view(bytes_).substr(markSize_);
    if (decoded_) {
        return textIsContent_ ? content : std::string_view(text_);
    }
    text_.clear();
    textIsContent_ = false;
    switch (encoding_) {
    case FileEncoding::Utf16Le:
        appendUtf8FromUtf16Le(text_, content);
        break;
    case FileEncoding::Utf8:
        if (isValidUtf8(content)) {
            textIsContent_ = true;
        } else {
            text_.reserve(content.size());
            for (std::size_t i = 0; i < content.size();) {
                const Utf8Step step = nextUtf8(content, i);
                appendUtf8(text_, step.codePoint);
                i += step.length;
            }
        }
        break;
    case FileEncoding::Ansi:
        // ASCII reads as itself in every ANSI code page.
        textIsContent_ = std::all_of(content.begin(), content.end(),
                                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        if (!textIsContent_) {
            ansi_->decode(content, text_);
        }
        break;
    }
    decoded_ = true;
    return textIsContent_ ? content : std::string_view(text_);
}

std::string IniDocument::encodingName() const {
    switch (encoding_) {
    case FileEncoding::Utf16Le:
        return "UTF-16LE";
    case FileEncoding::Utf8:
        return "UTF-8";
    case FileEncoding::Ansi:
        break;
    }
    return ansi_->name();
}

bool IniDocument::encodeText(std::string_view text, std::string& out) const {
    switch (encoding_) {
    case FileEncoding::Utf16Le:
        appendUtf16LeFromUtf8(out, text);
        return true;
    case FileEncoding::Utf8:
        out += text;
        return true;
    case FileEncoding::Ansi:
        break;
    }
    return ansi_->encode(text, out);
}

const IniDocument::SectionIndex& IniDocument::section(std::string_view name) const {
    const std::string_view wanted = trimIniBlanks(name);
    std::string lowered = lowerAscii(wanted);
    if (const auto it = sections_.find(lowered); it != sections_.end()) {
        return it->second;
    }
    SectionIndex index;
    const std::string_view bytes = text();
    LineCursor cursor(bytes);
    Line line{};
    while (cursor.next(line)) {
        const Classified c = classify(bytes, line);
        if (c.kind == LineKind::Header) {
            if (index.found) {
                break; // only the first section of that name counts
            }
            if (iniNamesEqual(c.name, wanted)) {
                index.found = true;
                index.anchorEnd = line.end;
                index.anchorNext = line.next;
            }
        } else if (c.kind == LineKind::Key && index.found) {
            index.keys.insertIfAbsent(bytes, static_cast<std::size_t>(c.name.data() - bytes.data()),
                                      c.name.size());
            index.anchorEnd = line.end;
            index.anchorNext = line.next;
        }
    }
    return sections_.emplace(std::move(lowered), std::move(index)).first->second;
}

std::optional<std::string> IniDocument::value(std::string_view sectionName,
                                              std::string_view key) const {
    const SectionIndex& index = section(sectionName);
    if (!index.found) {
        return std::nullopt;
    }
    const std::string_view doc = text();
    const auto line = index.keys.find(doc, trimIniBlanks(key));
    if (!line) {
        return std::nullopt;
    }
    std::string_view v =
        trimIniBlanks(doc.substr(line->valueBegin, line->valueEnd - line->valueBegin));
    if (v.size() >= 2 && isQuote(v.front()) && v.front() == v.back()) {
        v = v.substr(1, v.size() - 2);
    }
    return std::string(v);
}

std::string_view IniDocument::lineEnding() const {
    const std::string_view doc = text();
    const std::size_t i = doc.find_first_of("\r\n");
    if (i == std::string::npos) {
        return "\r\n";
    }
    if (doc[i] == '\n') {
        return "\n";
    }
    return (i + 1 < doc.size() && doc[i + 1] == '\n') ? std::string_view("\r\n")
                                                      : std::string_view("\r");
}

void IniDocument::apply(std::span<const IniPut> puts) {
    // Validate and merge first, so that an invalid put leaves the document untouched.
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
    if (merged.empty()) {
        return;
    }

    // The encoding the edit is written in, and whether it holds every text; an empty file takes
    // the ANSI code page where that holds them all.
    FileEncoding encoding = encoding_;
    const auto holds = [&](FileEncoding e, std::string_view text) {
        if (e != FileEncoding::Ansi) {
            return true; // UTF-8 and UTF-16 hold every valid text
        }
        std::string scratch;
        return ansi_->encode(text, scratch);
    };
    const auto holdsPut = [&](FileEncoding e, const Merged& m) {
        return holds(e, m.section) && holds(e, m.key) && holds(e, m.encoded);
    };
    if (bytes_.empty()) {
        const bool ansiHoldsAll = std::all_of(merged.begin(), merged.end(), [&](const Merged& m) {
            return holdsPut(FileEncoding::Ansi, m);
        });
        encoding = ansiHoldsAll ? FileEncoding::Ansi : FileEncoding::Utf16Le;
    } else {
        for (const Merged& m : merged) {
            if (holdsPut(encoding, m)) {
                continue;
            }
            const auto [what, text] = !holds(encoding, m.key) ? std::pair{"key name", m.key}
                                      : !holds(encoding, m.section)
                                          ? std::pair{"section name", m.section}
                                          : std::pair{"value", std::string_view(m.encoded)};
            const std::string character = firstUnencodableCharacter(*ansi_, text);
            const std::string which =
                character.empty() ? std::string("a character")
                                  : "\"" + character + "\" (" +
                                        codePointLabel(nextUtf8(character, 0).codePoint) + ")";
            throw UnencodableValueError(
                std::string(m.key),
                "The " + std::string(what) + " of \"" + std::string(m.key) + "\" holds " + which +
                    ", which cannot be stored in the file's encoding, " + encodingName() + ".");
        }
    }

    struct Splice {
        std::size_t pos;
        std::size_t erase;
        std::string text;
    };
    std::vector<Splice> splices;
    const std::string eol(lineEnding());
    const std::string_view doc = text();
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
                newSections.emplace_back(m.section, std::move(header));
                it = newSections.end() - 1;
            }
            it->second += line + eol;
            continue;
        }
        if (const auto k = index.keys.find(doc, m.key)) {
            splices.push_back(Splice{k->valueBegin, k->valueEnd - k->valueBegin, m.encoded});
            continue;
        }
        auto it = std::find_if(additions.begin(), additions.end(),
                               [&](const auto& a) { return a.first == &index; });
        if (it == additions.end()) {
            additions.emplace_back(&index, std::string());
            it = additions.end() - 1;
        }
        // A last line without a line end gets one before the new key, and the file keeps
        // ending without one. Otherwise the new key takes its neighbour's line end: a lone CR
        // from elsewhere in the file would join an LF that follows into one CR LF, and a blank
        // line would vanish.
        if (index.anchorNext > index.anchorEnd) {
            it->second += line;
            it->second.append(doc.substr(index.anchorEnd, index.anchorNext - index.anchorEnd));
        } else {
            it->second += eol + line;
        }
    }
    for (auto& [index, text] : additions) {
        const std::size_t pos =
            index->anchorNext > index->anchorEnd ? index->anchorNext : index->anchorEnd;
        splices.push_back(Splice{pos, 0, std::move(text)});
    }
    if (!newSections.empty()) {
        std::string text;
        if (!doc.empty() && !endsInLineBreak(doc)) {
            text += eol;
        }
        for (auto& s : newSections) {
            text += s.second;
        }
        splices.push_back(Splice{doc.size(), 0, std::move(text)});
    }
    std::stable_sort(splices.begin(), splices.end(),
                     [](const Splice& a, const Splice& b) { return a.pos < b.pos; });

    // The same edits on the stored bytes. Where the text is not the bytes themselves or UTF-16,
    // every splice lies next to a CR, LF or "=" of the text, or at its start or end, and those
    // characters stand one for one in the bytes, so counting them finds each place. Only the
    // spliced texts are encoded; every other byte, undecodable ones included, is copied.
    std::string mark = bytes_.substr(0, markSize_);
    if (bytes_.empty() && encoding == FileEncoding::Utf16Le) {
        mark = kUtf16LeMark;
    }
    std::string_view content = std::string_view(bytes_).substr(markSize_);
    const bool wide = encoding == FileEncoding::Utf16Le;
    std::string patched;
    if (wide && content.size() % 2 != 0 && !splices.empty() && splices.back().pos == doc.size()) {
        // Text goes after the odd last byte: it becomes the U+FFFD it read as, or everything
        // after it would be read a byte out of step.
        patched = content;
        patched.back() = '\xFD';
        patched += '\xFF';
        content = patched;
    }
    const std::size_t unit = wide ? 2 : 1;
    const auto isMarker = [](char c) { return c == '\r' || c == '\n' || c == '='; };
    const auto rawMarkerAt = [&](std::size_t i) {
        return isMarker(content[i]) && (!wide || content[i + 1] == '\0');
    };
    const auto nextRawMarker = [&](std::size_t from) {
        std::size_t i = from;
        while (i + unit <= content.size() && !rawMarkerAt(i)) {
            i += unit;
        }
        return i;
    };
    std::size_t textAt = 0; // a place in the text and the same place in the bytes
    std::size_t rawAt = 0;
    const auto rawPlace = [&](std::size_t pos) {
        if (pos == doc.size()) {
            return content.size();
        }
        if (textIsContent_) {
            return pos;
        }
        if (wide) {
            // Each character of the text is one UTF-16 unit, or two beyond U+FFFF; an unpaired
            // surrogate is one unit read as one U+FFFD. (An odd last byte lies at the end.)
            // ASCII, as most of a settings file is, goes eight characters at a time.
            std::size_t units = 0;
            while (textAt < pos) {
                if (pos - textAt >= 8 && eightAsciiBytes(doc.data() + textAt)) {
                    units += 8;
                    textAt += 8;
                    continue;
                }
                const auto b = static_cast<unsigned char>(doc[textAt]);
                units += static_cast<std::size_t>((b & 0xC0) != 0x80) + (b >= 0xF0 ? 1 : 0);
                ++textAt;
            }
            rawAt += 2 * units;
            return rawAt;
        }
        for (;;) {
            std::size_t m = textAt;
            while (m < pos && !isMarker(doc[m])) {
                ++m;
            }
            if (m >= pos) {
                break;
            }
            textAt = m + 1;
            rawAt = nextRawMarker(rawAt) + unit;
        }
        if (pos == textAt) {
            return rawAt;
        }
        return nextRawMarker(rawAt); // just before the CR, LF or "=" at `pos`
    };

    struct RawSplice {
        std::size_t pos;
        std::size_t erase;
        std::string bytes;
    };
    std::vector<RawSplice> rawSplices;
    rawSplices.reserve(splices.size());
    const FileEncoding previous = encoding_;
    encoding_ = encoding; // for encodeText; every text was checked to fit above
    for (const Splice& sp : splices) {
        const std::size_t begin = rawPlace(sp.pos);
        const std::size_t end = sp.erase == 0 ? begin : rawPlace(sp.pos + sp.erase);
        RawSplice raw{begin, end - begin, {}};
        if (!encodeText(sp.text, raw.bytes)) {
            encoding_ = previous;
            throw StoreError("The settings could not be put in the file's encoding, " +
                             encodingName());
        }
        rawSplices.push_back(std::move(raw));
    }
    // The text is done with: its memory goes before the new bytes take theirs, so that a large
    // file's Save holds two copies of the file at most.
    std::string().swap(text_);
    decoded_ = false;

    std::size_t rawGrow = 0;
    for (const RawSplice& raw : rawSplices) {
        rawGrow += raw.bytes.size();
    }
    std::string out;
    out.reserve(mark.size() + content.size() + rawGrow);
    out += mark;
    std::size_t rawCursor = 0;
    for (const RawSplice& raw : rawSplices) {
        out.append(content.substr(rawCursor, raw.pos - rawCursor));
        out += raw.bytes;
        rawCursor = raw.pos + raw.erase;
    }
    out.append(content.substr(rawCursor));
    // The index and the text point into the old bytes; the text is decoded again when next
    // asked for, and reads as the edited text: every splice lies between whole characters.
    sections_.clear();
    bytes_ = std::move(out);
    markSize_ = mark.size();
}

} // namespace quentra::core
