// Editing a settings file: the puts checked, merged and spliced into the file's own bytes.

#include "core/ini_document.hpp"

#include "core/config_store.hpp"
#include "core/in_quotes.hpp"
#include "core/ini_lines.hpp"

#include <algorithm>
#include <utility>

namespace quentra::core {

using namespace detail;

namespace {

bool holdsLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != npos;
}

} // namespace

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
        throw StoreError("The section name " + inQuotes(n) + " cannot be stored");
    }
}

void checkIniKeyName(std::string_view name) {
    const std::string_view n = trimIniBlanks(name);
    if (holdsLineBreakOrNul(name) || n.find('=') != npos || !isValidUtf8(n) ||
        (!n.empty() && (n.front() == ';' || n.front() == '#' || n.front() == '['))) {
        throw StoreError("The key name " + inQuotes(n) + " cannot be stored");
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
                    std::string(m.key), "The " + std::string(what) + " of " + inQuotes(m.key) +
                                            " holds " + inQuotes(character) + " (" +
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
