#pragma once

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
// otherwise be lost on reading. Throws StoreError for a text holding CR, LF or NUL.
std::string encodeIniValue(std::string_view text);

// Throw StoreError for names that could not be written so that they read back as the same
// name (line breaks, NUL, "]" in a section name; "=" in a key name, or a key that would read
// as a comment or a section line).
void checkIniSectionName(std::string_view name);
void checkIniKeyName(std::string_view name);

// Case-insensitive (ASCII) equality of two names, as the file's readers compare them.
bool iniNamesEqual(std::string_view a, std::string_view b);

// Blanks (space, tab) removed from both ends.
std::string_view trimIniBlanks(std::string_view text);

// A conventional initialization file held as its original bytes. Lookups and edits never
// touch bytes they do not concern: serialising an unedited document gives back the input
// exactly, and an edit changes only the value of the key it names or adds lines.
//
// Reading rules: a line whose first non-blank is ";" or "#" is a comment; "[name]" opens a
// section; "key=value" is a key line of the section above it; anything else is kept and
// ignored. Names compare without regard to ASCII case, blanks around names and values are
// ignored, one pair of matching quotes around a value is removed, and the first of duplicate
// sections or keys wins. A UTF-8 byte-order mark at the start is skipped and kept. Lines end
// in CR LF, LF or CR.
class IniDocument {
public:
    explicit IniDocument(std::string bytes = {});

    // The value of the first key `key` in the first section `section`, if there is one.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    // Stores every put: an existing key's value is replaced in place (its key text and line
    // end kept), a new key goes after the last key line of its section, a missing section at
    // the end. When one put is invalid, nothing is changed. Later puts of a key win.
    void apply(std::span<const IniPut> puts);

    const std::string& bytes() const { return bytes_; }

private:
    struct KeyLine {
        std::size_t valueBegin; // just after "="
        std::size_t valueEnd;   // end of the line's content
    };
    // The first key line of each name in one section, by case-insensitive name. Open
    // addressing over 16-byte slots that point into the bytes: a hostile file may hold
    // millions of keys in the section, and a node-based map would cost several times more.
    class KeyTable {
    public:
        void insertIfAbsent(std::string_view bytes, std::size_t keyBegin, std::size_t keyLength);
        std::optional<KeyLine> find(std::string_view bytes, std::string_view name) const;

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
    std::string_view lineEnding() const;

    std::string bytes_;
    mutable std::unordered_map<std::string, SectionIndex> sections_; // by lower-cased name
};

} // namespace quentra::core
