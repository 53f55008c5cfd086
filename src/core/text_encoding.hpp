#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quentra::core {

// U+FFFD: what an undecodable byte sequence reads as.
inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Appends the UTF-8 form of a code point (a scalar value: no surrogates).
void appendUtf8(std::string& out, char32_t codePoint);

// The next character of UTF-8 text at `pos`: its code point and how many bytes it takes. An
// ill-formed sequence gives U+FFFD and the length of its longest well-formed start (at least
// 1), so that every byte string decodes and each ill-formed part gives one U+FFFD.
struct Utf8Step {
    char32_t codePoint;
    std::size_t length;
    bool wellFormed;
};
Utf8Step nextUtf8(std::string_view text, std::size_t pos);

bool isValidUtf8(std::string_view text);

// UTF-16LE bytes to UTF-8: an unpaired surrogate and an odd trailing byte give U+FFFD.
void appendUtf8FromUtf16Le(std::string& out, std::string_view bytes);
// Valid UTF-8 to UTF-16LE bytes.
void appendUtf16LeFromUtf8(std::string& out, std::string_view text);

// A single- or double-byte code page of the system ("ANSI" code page).
class CodePage {
public:
    virtual ~CodePage() = default;

    // As users know it: "Windows-1252".
    virtual std::string name() const = 0;

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

// The first character of valid UTF-8 `text` that `page` cannot hold; empty when it holds all.
std::string firstUnencodableCharacter(const CodePage& page, std::string_view text);

// "U+6F22".
std::string codePointLabel(char32_t codePoint);

} // namespace quentra::core
