#include "core/ini_document.hpp"

#include "core/config_store.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace quentra::core {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

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

struct Line {
    std::size_t begin; // first byte of the content
    std::size_t end;   // one past the content, where the line end starts
    std::size_t next;  // first byte of the following line
};

// Walks the lines of a buffer; a CR, an LF or a CR LF ends a line.
class LineCursor {
public:
    explicit LineCursor(std::string_view bytes)
        : bytes_(bytes), pos_(bytes.starts_with(kBom) ? kBom.size() : 0) {}

    bool next(Line& line) {
        if (pos_ >= bytes_.size()) {
            return false;
        }
        const char* data = bytes_.data();
        const std::size_t size = bytes_.size();
        std::size_t i = pos_;
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
    std::size_t pos_;
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
    if (holdsLineBreakOrNul(n) || n.find(']') != std::string_view::npos) {
        throw StoreError("The section name \"" + std::string(n) + "\" cannot be stored");
    }
}

void checkIniKeyName(std::string_view name) {
    const std::string_view n = trimIniBlanks(name);
    if (holdsLineBreakOrNul(n) || n.find('=') != std::string_view::npos ||
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

IniDocument::IniDocument(std::string bytes) : bytes_(std::move(bytes)) {}

const IniDocument::SectionIndex& IniDocument::section(std::string_view name) const {
    const std::string_view wanted = trimIniBlanks(name);
    std::string lowered = lowerAscii(wanted);
    if (const auto it = sections_.find(lowered); it != sections_.end()) {
        return it->second;
    }
    SectionIndex index;
    const std::string_view bytes = bytes_;
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
    const auto line = index.keys.find(bytes_, trimIniBlanks(key));
    if (!line) {
        return std::nullopt;
    }
    std::string_view v = trimIniBlanks(
        std::string_view(bytes_).substr(line->valueBegin, line->valueEnd - line->valueBegin));
    if (v.size() >= 2 && isQuote(v.front()) && v.front() == v.back()) {
        v = v.substr(1, v.size() - 2);
    }
    return std::string(v);
}

std::string_view IniDocument::lineEnding() const {
    const std::size_t i = bytes_.find_first_of("\r\n");
    if (i == std::string::npos) {
        return "\r\n";
    }
    if (bytes_[i] == '\n') {
        return "\n";
    }
    return (i + 1 < bytes_.size() && bytes_[i + 1] == '\n') ? std::string_view("\r\n")
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
        if (const auto k = index.keys.find(bytes_, m.key)) {
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
            it->second.append(bytes_, index.anchorEnd, index.anchorNext - index.anchorEnd);
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
        const std::size_t contentStart = bytes_.starts_with(kBom) ? kBom.size() : 0;
        std::string text;
        if (bytes_.size() > contentStart && !endsInLineBreak(bytes_)) {
            text += eol;
        }
        for (auto& s : newSections) {
            text += s.second;
        }
        splices.push_back(Splice{bytes_.size(), 0, std::move(text)});
    }

    std::stable_sort(splices.begin(), splices.end(),
                     [](const Splice& a, const Splice& b) { return a.pos < b.pos; });
    std::size_t grow = 0;
    for (const Splice& s : splices) {
        grow += s.text.size();
    }
    std::string out;
    out.reserve(bytes_.size() + grow);
    std::size_t cursor = 0;
    for (const Splice& s : splices) {
        out.append(bytes_, cursor, s.pos - cursor);
        out += s.text;
        cursor = s.pos + s.erase;
    }
    out.append(bytes_, cursor, std::string::npos);
    sections_.clear(); // the index points into the old bytes
    bytes_ = std::move(out);
}

} // namespace quentra::core
