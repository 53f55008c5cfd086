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
// U+FFFD in UTF-16LE.
constexpr std::string_view kReplacementUnit = "\xFD\xFF";

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

constexpr std::uint64_t kByteOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kByteHighs = 0x8080808080808080ULL;
constexpr std::uint64_t kUnitOnes = 0x0001000100010001ULL;
constexpr std::uint64_t kUnitHighs = 0x8000800080008000ULL;

// Whether any of the eight bytes at `p` is a CR or an LF (a zero byte in the word XORed
// with either one).
bool holdsLineBreak(const char* p) {
    std::uint64_t v = 0;
    std::memcpy(&v, p, sizeof v);
    const std::uint64_t lf = v ^ (kByteOnes * '\n');
    const std::uint64_t cr = v ^ (kByteOnes * '\r');
    return ((((lf - kByteOnes) & ~lf) | ((cr - kByteOnes) & ~cr)) & kByteHighs) != 0;
}

// The same for the eight UTF-16LE units (16 bytes) at `p`: a zero unit in either word XORed
// with a CR or an LF unit.
bool holdsWideLineBreak(const char* p) {
    std::uint64_t v[2] = {};
    std::memcpy(v, p, sizeof v);
    std::uint64_t zeros = 0;
    for (const std::uint64_t w : v) {
        const std::uint64_t lf = w ^ (kUnitOnes * '\n');
        const std::uint64_t cr = w ^ (kUnitOnes * '\r');
        zeros |= ((lf - kUnitOnes) & ~lf) | ((cr - kUnitOnes) & ~cr);
    }
    return (zeros & kUnitHighs) != 0;
}

bool isBlankUnit(char32_t u) {
    return u == ' ' || u == '\t';
}

bool isLineBreakUnit(char32_t u) {
    return u == '\n' || u == '\r';
}

// The units that lines and names are found in: the bytes of text in which ASCII stands for
// itself (narrow), or the 16-bit units of UTF-16LE bytes (wide). Places are byte offsets
// either way. The odd last byte of wide bytes is a unit of its own, which like the U+FFFD it
// reads as is no ASCII character.
template <bool Wide> struct Units {
    static constexpr std::size_t kSize = Wide ? 2 : 1;
    // Bytes that blockHoldsLineBreak looks at.
    static constexpr std::size_t kBlock = Wide ? 16 : 8;

    static char32_t at(std::string_view s, std::size_t p) {
        if constexpr (Wide) {
            if (s.size() - p < 2) {
                return kReplacementCharacter;
            }
            return static_cast<char32_t>(static_cast<unsigned char>(s[p]) |
                                         (static_cast<unsigned char>(s[p + 1]) << 8));
        } else {
            return static_cast<unsigned char>(s[p]);
        }
    }

    // The place after the unit at `p`.
    static std::size_t after(std::string_view s, std::size_t p) {
        if constexpr (Wide) {
            return std::min(p + 2, s.size());
        } else {
            (void)s;
            return p + 1;
        }
    }

    static bool blockHoldsLineBreak(const char* p) {
        if constexpr (Wide) {
            return holdsWideLineBreak(p);
        } else {
            return holdsLineBreak(p);
        }
    }

    // The bytes [begin, end) as UTF-8 text; wide ones decoded into `scratch`.
    static std::string_view text(std::string_view s, std::size_t begin, std::size_t end,
                                 std::string& scratch) {
        if constexpr (Wide) {
            scratch.clear();
            // Names and values are short and nearly always ASCII: their low bytes are the text.
            for (std::size_t p = begin; p < end; p += 2) {
                if (at(s, p) >= 0x80) {
                    scratch.clear();
                    appendUtf8FromUtf16Le(scratch, s.substr(begin, end - begin));
                    return scratch;
                }
                scratch += s[p];
            }
            return scratch;
        } else {
            (void)scratch;
            return s.substr(begin, end - begin);
        }
    }

    // The first unit `c` (ASCII) in [from, to), else `to`.
    static std::size_t find(std::string_view s, std::size_t from, std::size_t to, char c) {
        if constexpr (Wide) {
            for (std::size_t p = from; p < to; p = after(s, p)) {
                if (at(s, p) == static_cast<char32_t>(c)) {
                    return p;
                }
            }
            return to;
        } else {
            const void* hit = std::memchr(s.data() + from, c, to - from);
            return hit == nullptr
                       ? to
                       : static_cast<std::size_t>(static_cast<const char*>(hit) - s.data());
        }
    }
};

struct Line {
    std::size_t begin; // first byte of the content
    std::size_t end;   // one past the content, where the line end starts
    std::size_t next;  // first byte of the following line
};

// Walks the lines of a buffer; a CR, an LF or a CR LF ends a line.
template <bool Wide> class LineCursor {
    using U = Units<Wide>;

public:
    explicit LineCursor(std::string_view bytes) : bytes_(bytes) {}

    bool next(Line& line) {
        if (pos_ >= bytes_.size()) {
            return false;
        }
        const std::size_t size = bytes_.size();
        std::size_t i = pos_;
        while (size - i >= U::kBlock && !U::blockHoldsLineBreak(bytes_.data() + i)) {
            i += U::kBlock;
        }
        while (i < size && !isLineBreakUnit(U::at(bytes_, i))) {
            i = U::after(bytes_, i);
        }
        line.begin = pos_;
        line.end = i;
        if (i < size) {
            const std::size_t afterBreak = U::after(bytes_, i);
            const bool crLf =
                U::at(bytes_, i) == '\r' && afterBreak < size && U::at(bytes_, afterBreak) == '\n';
            i = crLf ? U::after(bytes_, afterBreak) : afterBreak;
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
    // The section or key name, blanks removed.
    std::size_t nameBegin = 0;
    std::size_t nameEnd = 0;
};

template <bool Wide> Classified classify(std::string_view bytes, const Line& line) {
    using U = Units<Wide>;
    const auto trimmed = [&](std::size_t b, std::size_t e, LineKind kind) {
        while (b < e && isBlankUnit(U::at(bytes, b))) {
            b += U::kSize;
        }
        while (e > b && isBlankUnit(U::at(bytes, e - U::kSize))) {
            e -= U::kSize;
        }
        return Classified{kind, b, e};
    };
    std::size_t p = line.begin;
    while (p < line.end && isBlankUnit(U::at(bytes, p))) {
        p = U::after(bytes, p);
    }
    if (p == line.end) {
        return {};
    }
    const char32_t first = U::at(bytes, p);
    if (first == ';' || first == '#') {
        return {};
    }
    if (first == '[') {
        const std::size_t open = U::after(bytes, p);
        const std::size_t close = U::find(bytes, open, line.end, ']');
        return close == line.end ? Classified{} : trimmed(open, close, LineKind::Header);
    }
    const std::size_t eq = U::find(bytes, p, line.end, '=');
    return eq == line.end ? Classified{} : trimmed(p, eq, LineKind::Key);
}

// Whether the name at [begin, end) is `wanted` (UTF-8), without regard to ASCII case.
template <bool Wide>
bool nameAtEquals(std::string_view bytes, std::size_t begin, std::size_t end,
                  std::string_view wanted, std::string& scratch) {
    using U = Units<Wide>;
    if constexpr (Wide) {
        // ASCII names, as nearly all are, compare unit by unit without being decoded.
        for (std::size_t p = begin; p < end; p += 2) {
            if (U::at(bytes, p) >= 0x80) {
                return iniNamesEqual(U::text(bytes, begin, end, scratch), wanted);
            }
        }
        if ((end - begin) / 2 != wanted.size()) {
            return false;
        }
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            if (lowerAscii(static_cast<char>(bytes[begin + 2 * i])) != lowerAscii(wanted[i])) {
                return false;
            }
        }
        return true;
    } else {
        (void)scratch;
        return iniNamesEqual(bytes.substr(begin, end - begin), wanted);
    }
}

template <bool Wide> bool endsInLineBreak(std::string_view bytes) {
    if (bytes.empty()) {
        return false;
    }
    // An odd last byte of wide bytes is not a line end.
    const std::size_t last = !Wide ? bytes.size() - 1 : bytes.size() - 2 + bytes.size() % 2;
    return isLineBreakUnit(Units<Wide>::at(bytes, last));
}

template <bool Wide> std::string_view firstLineEnding(std::string_view bytes) {
    using U = Units<Wide>;
    LineCursor<Wide> cursor(bytes);
    Line line{};
    if (!cursor.next(line) || line.end == bytes.size()) {
        return "\r\n";
    }
    if (U::at(bytes, line.end) == '\n') {
        return "\n";
    }
    return line.next - line.end == 2 * U::kSize ? std::string_view("\r\n") : std::string_view("\r");
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

template <class NameAt>
void IniDocument::KeyTable::insertIfAbsent(std::size_t keyBegin, std::size_t keyLength,
                                           std::string_view name, const NameAt& nameAt) {
    if (keyLength > UINT32_MAX) {
        return; // no name of that length is ever asked for
    }
    if ((count_ + 1) * 4 > slots_.size() * 3) {
        grow();
    }
    const std::uint32_t hash = nameHash(name);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        Slot& s = slots_[i];
        if (s.keyBegin == kEmpty) {
            s = Slot{keyBegin, static_cast<std::uint32_t>(keyLength), hash};
            ++count_;
            return;
        }
        if (s.hash == hash && iniNamesEqual(nameAt(s.keyBegin, s.keyLength), name)) {
            return; // the first of duplicate keys wins
        }
    }
}

template <class NameAt>
std::optional<std::size_t> IniDocument::KeyTable::find(std::string_view name,
                                                       const NameAt& nameAt) const {
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
        if (s.hash == hash && iniNamesEqual(nameAt(s.keyBegin, s.keyLength), name)) {
            return s.keyBegin + s.keyLength;
        }
    }
}

namespace {

// How the key table reads the name of a key it holds: as UTF-8, from the scanned bytes, into
// `scratch` where they must be decoded.
template <bool Wide> auto heldNameIn(std::string_view scanned, std::string& scratch) {
    return [scanned, &scratch](std::size_t begin, std::size_t length) {
        return Units<Wide>::text(scanned, begin, begin + length, scratch);
    };
}

// The value of the key line whose name ends at `nameEnd`.
template <bool Wide>
std::pair<std::size_t, std::size_t> valueAfterName(std::string_view bytes, std::size_t nameEnd) {
    using U = Units<Wide>;
    // Only blanks lie between the name and the first "=" of its line.
    const std::size_t valueBegin = U::after(bytes, U::find(bytes, nameEnd, bytes.size(), '='));
    std::size_t e = valueBegin;
    while (e < bytes.size() && !isLineBreakUnit(U::at(bytes, e))) {
        e = U::after(bytes, e);
    }
    return {valueBegin, e};
}

} // namespace

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
    const std::string_view bytes = content();
    if (decoded_) {
        return textIsContent_ ? bytes : std::string_view(text_);
    }
    text_.clear();
    textIsContent_ = false;
    switch (encoding_) {
    case FileEncoding::Utf16Le:
        break; // scanned as it is; never asked for
    case FileEncoding::Utf8:
        if (isValidUtf8(bytes)) {
            textIsContent_ = true;
        } else {
            text_.reserve(bytes.size());
            for (std::size_t i = 0; i < bytes.size();) {
                const Utf8Step step = nextUtf8(bytes, i);
                appendUtf8(text_, step.codePoint);
                i += step.length;
            }
        }
        break;
    case FileEncoding::Ansi:
        // ASCII reads as itself in every ANSI code page.
        textIsContent_ = std::all_of(bytes.begin(), bytes.end(),
                                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        if (!textIsContent_) {
            ansi_->decode(bytes, text_);
        }
        break;
    }
    decoded_ = true;
    return textIsContent_ ? bytes : std::string_view(text_);
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

bool IniDocument::encodeText(FileEncoding encoding, std::string_view text, std::string& out) const {
    switch (encoding) {
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

template <bool Wide>
IniDocument::SectionIndex IniDocument::scanSection(std::string_view scanned,
                                                   std::string_view wanted) const {
    using U = Units<Wide>;
    SectionIndex index;
    std::string name;
    std::string held;
    const auto heldName = heldNameIn<Wide>(scanned, held);
    LineCursor<Wide> cursor(scanned);
    Line line{};
    while (cursor.next(line)) {
        const Classified c = classify<Wide>(scanned, line);
        if (c.kind == LineKind::Header) {
            if (index.found) {
                break; // only the first section of that name counts
            }
            if (nameAtEquals<Wide>(scanned, c.nameBegin, c.nameEnd, wanted, name)) {
                index.found = true;
                index.anchorEnd = line.end;
                index.anchorNext = line.next;
            }
        } else if (c.kind == LineKind::Key && index.found) {
            index.keys.insertIfAbsent(c.nameBegin, c.nameEnd - c.nameBegin,
                                      U::text(scanned, c.nameBegin, c.nameEnd, name), heldName);
            index.anchorEnd = line.end;
            index.anchorNext = line.next;
        }
    }
    return index;
}

const IniDocument::SectionIndex& IniDocument::section(std::string_view name) const {
    const std::string_view wanted = trimIniBlanks(name);
    std::string lowered = lowerAscii(wanted);
    if (const auto it = sections_.find(lowered); it != sections_.end()) {
        return it->second;
    }
    SectionIndex index =
        wide() ? scanSection<true>(content(), wanted) : scanSection<false>(text(), wanted);
    return sections_.emplace(std::move(lowered), std::move(index)).first->second;
}

template <bool Wide>
std::optional<std::string> IniDocument::valueIn(std::string_view scanned, const SectionIndex& index,
                                                std::string_view key) const {
    using U = Units<Wide>;
    std::string held;
    const auto nameEnd = index.keys.find(trimIniBlanks(key), heldNameIn<Wide>(scanned, held));
    if (!nameEnd) {
        return std::nullopt;
    }
    // Only the value is decoded; blanks and quotes are ASCII, and as such are found in its text.
    const auto [begin, end] = valueAfterName<Wide>(scanned, *nameEnd);
    std::string decoded;
    std::string_view v = trimIniBlanks(U::text(scanned, begin, end, decoded));
    if (v.size() >= 2 && isQuote(v.front()) && v.front() == v.back()) {
        v = v.substr(1, v.size() - 2);
    }
    return std::string(v);
}

std::optional<std::string> IniDocument::value(std::string_view sectionName,
                                              std::string_view key) const {
    const SectionIndex& index = section(sectionName);
    if (!index.found) {
        return std::nullopt;
    }
    return wide() ? valueIn<true>(content(), index, key) : valueIn<false>(text(), index, key);
}

std::string_view IniDocument::lineEnding() const {
    return wide() ? firstLineEnding<true>(content()) : firstLineEnding<false>(text());
}

std::vector<std::string_view> IniDocument::Edit::pieces() const {
    std::vector<std::string_view> out;
    out.reserve(2 * splices_.size() + 2);
    const auto put = [&out](std::string_view s) {
        if (!s.empty()) {
            out.push_back(s);
        }
    };
    // The content as written, [from, to): the bytes as read, but an odd last byte as FD FF.
    const std::size_t kept = content_.size() - (oddTail_ ? 1 : 0);
    const auto stretch = [&](std::size_t from, std::size_t to) {
        if (from < kept) {
            put(content_.substr(from, std::min(to, kept) - from));
        }
        if (to > kept) {
            const std::size_t tailFrom = std::max(from, kept);
            put(kReplacementUnit.substr(tailFrom - kept, to - tailFrom));
        }
    };
    put(mark_);
    std::size_t cursor = 0;
    for (const Splice& splice : splices_) {
        stretch(cursor, splice.pos);
        put(splice.bytes);
        cursor = splice.pos + splice.erase;
    }
    stretch(cursor, kept + (oddTail_ ? kReplacementUnit.size() : 0));
    return out;
}

std::size_t IniDocument::Edit::size() const {
    std::size_t total = mark_.size() + content_.size() + (oddTail_ ? 1 : 0);
    for (const Splice& splice : splices_) {
        total += splice.bytes.size();
        total -= splice.erase;
    }
    return total;
}

IniDocument::Edit IniDocument::edited(std::span<const IniPut> puts) const {
    return wide() ? editIn<true>(content(), puts) : editIn<false>(text(), puts);
}

template <bool Wide>
IniDocument::Edit IniDocument::editIn(std::string_view doc, std::span<const IniPut> puts) const {
    using U = Units<Wide>;
    Edit edit;
    edit.mark_ = std::string_view(bytes_).substr(0, markSize_);
    edit.content_ = content();
    edit.encoding_ = encoding_;

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
        return edit;
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
    // New keys of existing sections, by the section's anchor line; new sections in order.
    std::vector<std::pair<const SectionIndex*, std::string>> additions;
    std::vector<std::pair<std::string_view, std::string>> newSections;
    std::string held;
    const auto heldName = heldNameIn<Wide>(doc, held);

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
        if (const auto nameEnd = index.keys.find(m.key, heldName)) {
            const auto [begin, end] = valueAfterName<Wide>(doc, *nameEnd);
            splices.push_back(Splice{begin, end - begin, m.encoded});
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
            std::string scratch;
            it->second.append(U::text(doc, index.anchorEnd, index.anchorNext, scratch));
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
        if (!doc.empty() && !endsInLineBreak<Wide>(doc)) {
            text += eol;
        }
        for (auto& s : newSections) {
            text += s.second;
        }
        splices.push_back(Splice{doc.size(), 0, std::move(text)});
    }
    std::stable_sort(splices.begin(), splices.end(),
                     [](const Splice& a, const Splice& b) { return a.pos < b.pos; });

    // The same edits on the stored bytes. UTF-16LE bytes are the places themselves, and so is a
    // text that is the bytes. Elsewhere every splice lies next to a CR, LF or "=" of the text,
    // or at its start or end, and those characters stand one for one in the bytes, so counting
    // them finds each place. Only the spliced texts are encoded; every other byte, undecodable
    // ones included, is copied.
    if (bytes_.empty() && encoding == FileEncoding::Utf16Le) {
        edit.mark_ = kUtf16LeMark;
    }
    const std::string_view content = edit.content_;
    // Text that goes after the odd last byte of UTF-16LE bytes makes it the U+FFFD it read as,
    // or everything after it would be read a byte out of step.
    edit.oddTail_ =
        Wide && content.size() % 2 != 0 && !splices.empty() && splices.back().pos == doc.size();
    const std::size_t contentEnd = content.size() + (edit.oddTail_ ? 1 : 0);
    const auto isMarker = [](char c) { return c == '\r' || c == '\n' || c == '='; };
    const auto nextRawMarker = [&](std::size_t from) {
        std::size_t i = from;
        while (i < content.size() && !isMarker(content[i])) {
            ++i;
        }
        return i;
    };
    std::size_t textAt = 0; // a place in the text and the same place in the bytes
    std::size_t rawAt = 0;
    const auto rawPlace = [&](std::size_t pos) {
        if (pos == doc.size()) {
            return contentEnd;
        }
        if (Wide || textIsContent_) {
            return pos;
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
            rawAt = nextRawMarker(rawAt) + 1;
        }
        if (pos == textAt) {
            return rawAt;
        }
        return nextRawMarker(rawAt); // just before the CR, LF or "=" at `pos`
    };

    edit.splices_.reserve(splices.size());
    for (const Splice& sp : splices) {
        const std::size_t begin = rawPlace(sp.pos);
        const std::size_t end = sp.erase == 0 ? begin : rawPlace(sp.pos + sp.erase);
        Edit::Splice raw{begin, end - begin, {}};
        if (!encodeText(encoding, sp.text, raw.bytes)) {
            throw StoreError("The settings could not be put in the file's encoding, " +
                             encodingName());
        }
        edit.splices_.push_back(std::move(raw));
    }
    edit.encoding_ = encoding;
    // A decoded text is done with: its memory goes before the new bytes are written.
    std::string().swap(text_);
    decoded_ = false;
    return edit;
}

void IniDocument::apply(std::span<const IniPut> puts) {
    const Edit edit = edited(puts);
    if (edit.splices_.empty() && edit.mark_.size() == markSize_) {
        return;
    }
    std::string out;
    out.reserve(edit.size());
    for (const std::string_view piece : edit.pieces()) {
        out += piece;
    }
    // The index points into the old bytes; the text is decoded again when next asked for, and
    // reads as the edited text: every splice lies between whole characters.
    sections_.clear();
    std::string().swap(text_);
    decoded_ = false;
    encoding_ = edit.encoding_;
    markSize_ = edit.mark_.size();
    bytes_ = std::move(out);
}

} // namespace quentra::core
