#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quentra::core {

// U+FFFD: what an undecodable byte sequence reads as.
inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Texts are UTF-8. A text read from a UTF-16 file may also hold an unpaired surrogate, which the
// system's readers return as it is; it is kept in the generalized UTF-8 form (ED A0 80 for
// D800), so that a value read and written back stays the same unit.

// Appends the UTF-8 form of a code point or of an unpaired surrogate.
void appendUtf8(std::string& out, char32_t codePoint);

// The next character of UTF-8 text at `pos`: its code point and how many bytes it takes. An
// ill-formed sequence gives U+FFFD and the length of its longest well-formed start (at least
// 1), so that every byte string decodes and each ill-formed part gives one U+FFFD. With
// `surrogates`, the generalized form of an unpaired surrogate is well-formed too.
struct Utf8Step {
    char32_t codePoint;
    std::size_t length;
    bool wellFormed;
};
Utf8Step nextUtf8(std::string_view text, std::size_t pos, bool surrogates = false);

// With `surrogates`, unpaired surrogates are allowed, but not a high one right before a low one.
bool isValidUtf8(std::string_view text, bool surrogates = false);

enum class ByteOrder { Little, Big };

// UTF-16 bytes to text: unpaired surrogates kept (see above), an odd trailing byte gives U+FFFD.
void appendUtf8FromUtf16(std::string& out, std::string_view bytes,
                         ByteOrder order = ByteOrder::Little);
// Text (surrogates allowed) to UTF-16 bytes.
void appendUtf16FromUtf8(std::string& out, std::string_view text,
                         ByteOrder order = ByteOrder::Little);

// The bytes [from, to) of `bytes`, UTF-8 from a file, to text as the system's conversion reads
// them: each undecodable part gives a U+FFFD, and a sequence that the end of `bytes` cuts short
// takes every byte up to that end into its one U+FFFD. No sequence runs past a CR, LF or any
// other ASCII byte before that end.
void appendUtf8FromFileUtf8(std::string& out, std::string_view bytes, std::size_t from,
                            std::size_t to);
// Where such a cut-short sequence at the end of `bytes` starts; bytes.size() when none does.
std::size_t cutShortUtf8Tail(std::string_view bytes);

// A single- or double-byte code page of the system ("ANSI" code page).
class CodePage {
public:
    virtual ~CodePage() = default;

    // As users know it: "Windows-1252".
    virtual std::string name() const = 0;

    // False for a double-byte code page, where the second byte of a character may be that of an
    // ASCII letter, "[", "]" or "\".
    virtual bool asciiBytesAreAscii() const { return true; }

    // Appends the text of `bytes` as UTF-8. Every byte sequence decodes. CR, LF and "=" decode
    // from their own bytes and from nothing else, so that lines and key lines are found alike
    // in the bytes and in the text.
    virtual void decode(std::string_view bytes, std::string& out) const = 0;

    // Appends `text` (valid UTF-8) in the code page. False when a character has no exact form
    // in it; `out` is then unspecified.
    virtual bool encode(std::string_view text, std::string& out) const = 0;
};

// Windows-1252 by a table of our own, the same on every machine. Its five unassigned bytes
// decode to the C1 controls of the same number, as Windows decodes them.
const CodePage& windows1252();

// "U+6F22".
std::string codePointLabel(char32_t codePoint);

} // namespace quentra::core
