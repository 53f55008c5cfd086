#pragma once

// What the reading and the editing of an IniDocument share: the lines of a file, found in its
// bytes.

#include "core/ini_document.hpp"

#include <cstddef>
#include <string>
#include <string_view>

namespace quentra::core {

namespace detail {

inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
inline constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
inline constexpr std::string_view kUtf16BeMark = "\xFE\xFF";
inline constexpr std::size_t npos = std::string_view::npos;

inline bool isIniSpace(char32_t c) {
    return c == ' ' || (c >= 0x09 && c <= 0x0D) || c == 0x1A;
}

inline bool isLineBreak(char32_t c) {
    return c == '\r' || c == '\n';
}

inline bool isQuote(char32_t c) {
    return c == '"' || c == '\'';
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
inline Units fileUnits(std::string_view content, FileEncoding encoding, std::size_t tail) {
    const bool wide = encoding == FileEncoding::Utf16Le || encoding == FileEncoding::Utf16Be;
    return {content, wide ? 2u : 1u, encoding == FileEncoding::Utf16Be, tail};
}

struct Line {
    std::size_t begin; // first byte of the content
    std::size_t end;   // one past the content, where the line end starts
    std::size_t next;  // first byte of the following line
};

// The line that starts at `pos`; a CR, an LF or a CR LF ends it.
Line lineAt(const Units& u, std::size_t pos);

enum class LineKind { Other, Header, Key };

} // namespace detail

struct IniDocument::Parsed {
    detail::Line line{};
    detail::LineKind kind = detail::LineKind::Other;
    std::string name;                      // of a section or key line, decoded
    std::size_t valueBegin = detail::npos; // just after the "=" of a key line
};

} // namespace quentra::core
