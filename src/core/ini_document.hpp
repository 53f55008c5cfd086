#pragma once

#include "core/text_encoding.hpp"

#include <cstddef>
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

// The value text as it goes after "=", quoted where blanks or quotes at its ends would be lost
// on reading. Throws StoreError for CR, LF or NUL, or text that is not UTF-8 (an unpaired
// surrogate read from a UTF-16 file is allowed).
std::string encodeIniValue(std::string_view text);

// Throw StoreError for names that would not read back as themselves (line breaks, NUL, "]" in a
// section name; "=" in a key name, or a key read as a comment or a header), or not UTF-8.
void checkIniSectionName(std::string_view name);
void checkIniKeyName(std::string_view name);

// Case-insensitive (ASCII) equality of two names, as the file's readers compare them.
bool iniNamesEqual(std::string_view a, std::string_view b);

// `text` without what the file's readers trim around names and values: blanks, tabs, the other
// ASCII white space (vertical tab, form feed, CR, LF) and the old end-of-file mark 1A.
std::string_view trimIniBlanks(std::string_view text);

// How a settings file's bytes are read, as the system's readers of such files read them: a
// file that starts with FF FE is UTF-16LE, one that starts with FE FF UTF-16BE, one that starts
// with EF BB BF is UTF-8, any other is in the ANSI code page.
enum class FileEncoding { Ansi, Utf8, Utf16Le, Utf16Be };

// The bytes of a UTF-16BE file as UTF-16LE with its mark, the same text (an odd last byte
// stays last); any other bytes as they are.
std::string utf16BeAsLe(std::string bytes);

// A conventional initialization file held as its original bytes. Lines are found and classified
// in the bytes themselves, whose CR, LF, "[", "]", "=" and blank units are never part of another
// character, except in a double-byte ANSI code page: there a line holding a byte over 7F is
// decoded first. Only the names compared and the values read or replaced are decoded. An edit
// changes only the values it names or adds lines, in the file's own encoding; every other byte
// stays as it was.
//
// Reading rules, as the consumer's profile API reads the file: white space (trimIniBlanks)
// around a line is ignored; a line that starts with ";" or "#" is a comment; one that starts
// with "[" and holds a later "]" opens the section named up to its last "]"; any other line is
// a key line of the section above it: "key=value" up to the first "=", or a key alone, which
// reads as absent but hides later lines of its name. Names compare without regard to ASCII case;
// white space around names and values is ignored, a name or value ends at a NUL, and one pair of
// matching quotes around a value is removed. The first of duplicate sections or keys wins.
// Lines end in CR LF, LF or CR. The byte-order mark is kept.
class IniDocument {
public:
    // `ansi` reads a file without a byte-order mark, and writes a new file whose texts it holds.
    explicit IniDocument(std::string bytes = {}, const CodePage& ansi = windows1252());

    // The value of the first key `key` in the first section `section`, if it has one.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    // The new file, with every put stored: an existing key's value is replaced in place (a key
    // alone gains "=" and the value), a new key goes after the last key line of its section, a
    // missing section at the end. Later puts of a key win. An empty document becomes a file in
    // the ANSI code page without a mark when that holds every text, else UTF-16LE with its
    // mark; a file that exists keeps its encoding, and a text it cannot hold throws
    // UnencodableValueError. One invalid put throws, and nothing is made. In a UTF-8 file, a
    // section header never stays on the mark's line: a reader that takes the mark for text
    // (Windows' profile API) would not see the header there, nor any key below it.
    class Edit {
    public:
        // The new file's bytes in order: the changed lines, and between them views of the
        // document's bytes (valid while it lives), so that a large file is not copied.
        std::vector<std::string_view> pieces() const;

    private:
        friend class IniDocument;
        struct Splice {
            std::size_t pos; // in the content as read
            std::size_t erase;
            std::string bytes;
        };
        std::string_view mark_;
        std::string_view content_;    // the bytes after the mark, as read
        std::size_t tail_ = 0;        // see IniDocument::tail_
        std::string_view tailAs_;     // U+FFFD in the file's encoding
        std::vector<Splice> splices_; // in order, none overlapping
    };
    Edit edited(std::span<const IniPut> puts) const;

    FileEncoding encoding() const { return encoding_; }
    // "Windows-1252", "UTF-8", "UTF-16LE", "UTF-16BE".
    std::string encodingName() const;

private:
    struct Parsed; // a line, classified
    struct Section {
        bool found = false;
        std::size_t bodyBegin = 0; // its lines, after the header, up to the next header
        std::size_t bodyEnd = 0;
        // The line after which new keys go: the last "key=value" line, else the header line.
        std::size_t anchorEnd = 0;  // end of that line's content
        std::size_t anchorNext = 0; // start of the line after it
    };

    // The line at `pos`, classified; with `headersOnly` any line but a header is Other.
    Parsed parse(std::size_t pos, bool headersOnly) const;
    // Found on first use of a section name and kept: the job's lookups search the file once.
    const Section& section(std::string_view name) const;
    Section scanSection(std::string_view wanted) const;
    std::optional<Parsed> findKey(const Section& section, std::string_view key) const;
    // Appends the text of the content's bytes [begin, end).
    void decode(std::size_t begin, std::size_t end, std::string& out) const;
    bool holds(FileEncoding encoding, std::string_view text) const;
    std::string encode(FileEncoding encoding, std::string_view text) const;
    std::string_view content() const { return std::string_view(bytes_).substr(markSize_); }

    // The steps of edited().
    struct MergedPut; // the last value put to one key
    static std::vector<MergedPut> checkedAndMerged(std::span<const IniPut> puts);
    FileEncoding encodingFor(std::span<const MergedPut> merged) const;
    std::string lineEnd() const;
    Edit::Splice valueSplice(const Parsed& k, std::string_view encoded,
                             FileEncoding encoding) const;
    std::string newKeyLine(const Section& s, std::string_view line, std::string_view eol) const;
    void editSection(std::span<const MergedPut> puts, FileEncoding encoding, std::string_view eol,
                     std::vector<Edit::Splice>& splices, std::string& newSections) const;

    std::string bytes_; // the file as it is stored, mark included
    FileEncoding encoding_ = FileEncoding::Ansi;
    std::size_t markSize_ = 0;
    // Where an unreadable end of the content starts (a UTF-16 file's odd last byte, a UTF-8
    // sequence cut short), which reads as one U+FFFD; the content's size when there is none.
    std::size_t tail_ = 0;
    const CodePage* ansi_;
    mutable std::unordered_map<std::string, Section> sections_; // by lower-cased name
};

} // namespace quentra::core
