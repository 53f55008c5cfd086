#pragma once

#include "core/text_encoding.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quentra::core {

// One value to store: `value` is the text as it must read back, not yet quoted.
struct IniPut {
    std::string section;
    std::string key;
    std::string value;
};

// The value text as it goes after "=", quoted where blanks or quotes at its ends would
// otherwise be lost on reading. Throws StoreError for a text holding CR, LF or NUL, or one that
// is not UTF-8.
std::string encodeIniValue(std::string_view text);

// Throw StoreError for names that could not be written so that they read back as the same
// name (line breaks, NUL, "]" in a section name; "=" in a key name, or a key that would read
// as a comment or a section line), and names that are not UTF-8.
void checkIniSectionName(std::string_view name);
void checkIniKeyName(std::string_view name);

// Case-insensitive (ASCII) equality of two names, as the file's readers compare them.
bool iniNamesEqual(std::string_view a, std::string_view b);

// Blanks (space, tab) removed from both ends.
std::string_view trimIniBlanks(std::string_view text);

// How a settings file's bytes are read, as the system's readers of such files read them: a
// file that starts with FF FE is UTF-16LE, one that starts with EF BB BF is UTF-8, any other
// is in the ANSI code page.
enum class FileEncoding { Ansi, Utf8, Utf16Le };

// A conventional initialization file held as its original bytes. A UTF-16LE file is indexed and
// looked up in its own bytes, and only the lines asked for are decoded; any other file through its
// text (UTF-8), which is the bytes themselves where they are ASCII or valid UTF-8. Lookups and
// edits never touch bytes they do not concern: serialising an unedited document gives back the
// input exactly, and an edit changes only the value of the key it names or adds lines, in the
// file's own encoding, whatever bytes the rest of the file holds.
//
// Reading rules, on the decoded text: a line whose first non-blank is ";" or "#" is a comment;
// "[name]" opens a section; "key=value" is a key line of the section above it; anything else
// is kept and ignored. Names compare without regard to ASCII case, blanks around names and
// values are ignored, one pair of matching quotes around a value is removed, and the first of
// duplicate sections or keys wins. Lines end in CR LF, LF or CR. The byte-order mark is kept.
class IniDocument {
public:
    // `ansi` reads a file without a byte-order mark, and writes a new file whose texts it holds.
    explicit IniDocument(std::string bytes = {}, const CodePage& ansi = windows1252());

    // The value of the first key `key` in the first section `section`, if there is one.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    // Stores every put: an existing key's value is replaced in place (its key text and line
    // end kept), a new key goes after the last key line of its section, a missing section at
    // the end. When one put is invalid, nothing is changed. Later puts of a key win. An empty
    // document becomes a file in the ANSI code page without a mark when that holds every text,
    // else UTF-16LE with its mark; a file that exists keeps its encoding, and a text it cannot
    // hold throws UnencodableValueError.
    void apply(std::span<const IniPut> puts);

    // The file as apply() would make it, without changing the document. The stretches that the
    // puts leave alone are views of this document's bytes, so that a large file is written back
    // without a second copy of it; valid while the document lives unchanged.
    class Edit {
    public:
        // The new file's bytes in order, in a few stretches.
        std::vector<std::string_view> pieces() const;
        std::size_t size() const;

    private:
        friend class IniDocument;
        struct Splice {
            std::size_t pos; // in the content as written (see oddTail)
            std::size_t erase;
            std::string bytes;
        };
        std::string_view mark_;
        std::string_view content_; // the bytes after the mark, as read
        // A UTF-16LE file's odd last byte, written as the U+FFFD it read as (FD FF) because
        // text goes after it.
        bool oddTail_ = false;
        std::vector<Splice> splices_; // in order, none overlapping
        FileEncoding encoding_ = FileEncoding::Ansi;
    };
    // Throws as apply() does.
    Edit edited(std::span<const IniPut> puts) const;

    const std::string& bytes() const { return bytes_; }
    FileEncoding encoding() const { return encoding_; }
    // "Windows-1252", "UTF-8", "UTF-16LE".
    std::string encodingName() const;

private:
    // The first key line of each name in one section, by case-insensitive name. Open
    // addressing over 16-byte slots that point into the scanned bytes: a hostile file may hold
    // millions of keys in the section, and a node-based map would cost several times more.
    class KeyTable {
    public:
        // `name` is the key's name as UTF-8; `nameAt(begin, length)` gives the name of a key
        // already held, as UTF-8, in a buffer other than `name`'s.
        template <class NameAt>
        void insertIfAbsent(std::size_t keyBegin, std::size_t keyLength, std::string_view name,
                            const NameAt& nameAt);
        // The place just after the name of the key `name`, if the table holds it.
        template <class NameAt>
        std::optional<std::size_t> find(std::string_view name, const NameAt& nameAt) const;

    private:
        struct Slot {
            std::uint64_t keyBegin;
            std::uint32_t keyLength;
            std::uint32_t hash;
        };
        static constexpr std::uint64_t kEmpty = ~std::uint64_t{0};
        void grow();
        std::vector<Slot> slots_;
        std::size_t count_ = 0;
    };
    struct SectionIndex {
        bool found = false;
        // The line after which new keys go: the last key line, else the header line.
        std::size_t anchorEnd = 0;  // end of that line's content
        std::size_t anchorNext = 0; // start of the line after it
        KeyTable keys;
    };

    // Built on first use of a section name and kept until the bytes change, so that many
    // lookups cost one pass over the file.
    const SectionIndex& section(std::string_view name) const;
    template <bool Wide>
    SectionIndex scanSection(std::string_view scanned, std::string_view wanted) const;
    template <bool Wide>
    std::optional<std::string> valueIn(std::string_view scanned, const SectionIndex& index,
                                       std::string_view key) const;
    template <bool Wide> Edit editIn(std::string_view doc, std::span<const IniPut> puts) const;
    std::string_view lineEnding() const;
    bool encodeText(FileEncoding encoding, std::string_view text, std::string& out) const;

    std::string bytes_; // the file as it is stored, mark included
    FileEncoding encoding_ = FileEncoding::Ansi;
    std::size_t markSize_ = 0;
    const CodePage* ansi_;
    bool wide() const { return encoding_ == FileEncoding::Utf16Le; }
    // The bytes after the mark, which a UTF-16LE file's index and lookups scan as they are.
    std::string_view content() const { return std::string_view(bytes_).substr(markSize_); }
    // Those of any other file as text, decoded on first use after the bytes change. When that
    // would give the same bytes (ASCII, or UTF-8 after its mark) nothing is copied.
    std::string_view text() const;
    mutable bool decoded_ = false;
    mutable bool textIsContent_ = false;
    mutable std::string text_;
    mutable std::unordered_map<std::string, SectionIndex> sections_; // by lower-cased name
};

} // namespace quentra::core
