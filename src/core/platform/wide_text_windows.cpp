#include "core/platform/wide_text.hpp"

#include "core/text_encoding.hpp"

#include <cstring>

namespace quentra::core {

// Our own conversions rather than the system's: a value read from a UTF-16 Config.dat may hold
// an unpaired surrogate, which must reach the window and come back from it as the same unit.

std::wstring widen(std::string_view utf8) {
    std::string bytes;
    appendUtf16FromUtf8(bytes, utf8);
    std::wstring wide(bytes.size() / sizeof(wchar_t), L'\0');
    std::memcpy(wide.data(), bytes.data(), bytes.size());
    return wide;
}

std::string narrow(std::wstring_view utf16) {
    std::string text;
    appendUtf8FromUtf16(text, std::string_view(reinterpret_cast<const char*>(utf16.data()),
                                               utf16.size() * sizeof(wchar_t)));
    return text;
}

} // namespace quentra::core
