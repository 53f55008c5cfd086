#include "core/platform/ansi_code_page.hpp"

#include <windows.h>

#include <limits>
#include <string>
#include <vector>

namespace quentra::core {

namespace {

// The system's ANSI code page through the system's own conversions, so that the program reads
// and writes a file without a mark exactly as the profile API does.
class SystemCodePage final : public CodePage {
public:
    SystemCodePage() : codePage_(GetACP()) {}

    bool asciiBytesAreAscii() const override {
        CPINFO info{};
        return codePage_ == CP_UTF8 || !GetCPInfo(codePage_, &info) || info.MaxCharSize == 1;
    }

    std::string name() const override {
        return codePage_ == CP_UTF8 ? std::string("UTF-8") : "Windows-" + std::to_string(codePage_);
    }

    void decode(std::string_view bytes, std::string& out) const override {
        out.reserve(out.size() + bytes.size());
        // Converted piece by piece between CR, LF and "=", so that a broken double-byte
        // character can never swallow one of them.
        std::size_t begin = 0;
        while (begin < bytes.size()) {
            std::size_t end = begin;
            bool ascii = true;
            while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n' &&
                   bytes[end] != '=') {
                ascii = ascii && static_cast<unsigned char>(bytes[end]) < 0x80;
                ++end;
            }
            const std::string_view piece = bytes.substr(begin, end - begin);
            if (ascii) {
                out += piece;
            } else {
                decodePiece(piece, out);
            }
            if (end < bytes.size()) {
                out += bytes[end];
                ++end;
            }
            begin = end;
        }
    }

    bool encode(std::string_view text, std::string& out) const override {
        std::string wide;
        appendUtf16FromUtf8(wide, text);
        if (wide.empty()) {
            return true;
        }
        const auto units = static_cast<int>(wide.size() / 2);
        const auto* source = reinterpret_cast<const wchar_t*>(wide.data());
        const bool utf8 = codePage_ == CP_UTF8;
        BOOL usedDefault = FALSE;
        const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
        const int size = WideCharToMultiByte(codePage_, flags, source, units, nullptr, 0, nullptr,
                                             utf8 ? nullptr : &usedDefault);
        if (size <= 0 || usedDefault) {
            return false;
        }
        std::string bytes(static_cast<std::size_t>(size), '\0');
        WideCharToMultiByte(codePage_, flags, source, units, bytes.data(), size, nullptr,
                            utf8 ? nullptr : &usedDefault);
        if (usedDefault) {
            return false;
        }
        // Only an exact form counts: the bytes must read back as the same text.
        std::string back;
        decode(bytes, back);
        if (back != text) {
            return false;
        }
        out += bytes;
        return true;
    }

private:
    void decodePiece(std::string_view piece, std::string& out) const {
        // A piece beyond what one call takes (a line of gigabytes) goes in parts.
        constexpr std::size_t kMaxPart = std::numeric_limits<int>::max() / 2;
        for (std::size_t at = 0; at < piece.size(); at += kMaxPart) {
            const std::string_view part = piece.substr(at, kMaxPart);
            const auto length = static_cast<int>(part.size());
            const int units = MultiByteToWideChar(codePage_, 0, part.data(), length, nullptr, 0);
            if (units <= 0) {
                for (std::size_t i = 0; i < part.size(); ++i) {
                    appendUtf8(out, kReplacementCharacter);
                }
                continue;
            }
            std::vector<wchar_t> wide(static_cast<std::size_t>(units));
            MultiByteToWideChar(codePage_, 0, part.data(), length, wide.data(), units);
            appendUtf8FromUtf16(out, std::string_view(reinterpret_cast<const char*>(wide.data()),
                                                      wide.size() * sizeof(wchar_t)));
        }
    }

    UINT codePage_;
};

} // namespace

const CodePage& systemAnsiCodePage() {
    static const SystemCodePage page;
    return page;
}

} // namespace quentra::core
