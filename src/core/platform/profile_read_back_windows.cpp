// The consumer's own reader: the system's profile API, through both of its forms.

#include "core/platform/ansi_code_page.hpp"
#include "core/platform/atomic_file.hpp"
#include "core/platform/held_file_windows.hpp"
#include "core/platform/profile_read_back.hpp"
#include "core/platform/wide_text.hpp"

#include <string_view>
#include <system_error>

#include <windows.h>

namespace quentra::core {

namespace {

// What the API gives for a missing key: no stored value can hold a line break.
constexpr std::wstring_view kAbsentW = L"\n-";
constexpr std::string_view kAbsentA = "\n-";

// The value as the API returns it, growing the buffer until it fits: a value cut short comes
// back as the buffer's size less one.
template <typename Char, typename Read>
std::optional<std::basic_string<Char>> readGrowing(std::basic_string_view<Char> absent, Read read) {
    std::basic_string<Char> buffer(256, Char{});
    for (;;) {
        const DWORD got = read(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (got + 2 < buffer.size()) {
            buffer.resize(got);
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    if (buffer == absent) {
        return std::nullopt;
    }
    return buffer;
}

// A name without a folder would be looked for in the Windows folder: always a full path.
std::wstring fullPathOf(const std::wstring& given) {
    const DWORD size = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD length =
        size == 0 ? 0 : GetFullPathNameW(given.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) {
        return given;
    }
    full.resize(length);
    return full;
}

} // namespace

ReadBack readAsTheConsumer(const std::string& path, std::span<const IniPut> puts) {
    const std::wstring file = fullPathOf(widen(path));
    // A virus scanner or sync client may hold the new file for a moment, without sharing it:
    // the API would then give every key its default, as if the file lacked them. Held open for
    // reading while the API reads it, sharing everything (as the API's own opening shares
    // reading), the file cannot be taken by such a holder, so a key the API misses is missing.
    DWORD e = ERROR_SUCCESS;
    const detail::OwnedFile guard(detail::openWaiting(
        path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL, HeldFile::NewFile, "Cannot read back", e));
    if (guard.handle == -1) {
        detail::fail("Cannot read back", path, std::system_category().message(static_cast<int>(e)));
    }
    // The ANSI form reads only where the path, the names and the value have an exact form in
    // the ANSI code page, as a consumer using it needs too.
    const CodePage& ansi = systemAnsiCodePage();
    std::string fileA;
    const bool ansiPath = !file.empty() && ansi.encode(narrow(file), fileA);

    ReadBack back{true, {}};
    std::vector<ConsumerReading>& readings = back.readings;
    for (std::size_t i = 0; i < puts.size(); ++i) {
        const IniPut& put = puts[i];
        const std::wstring section = widen(put.section);
        const std::wstring key = widen(put.key);
        const auto wide = readGrowing<wchar_t>(kAbsentW, [&](wchar_t* buffer, DWORD size) {
            return GetPrivateProfileStringW(section.c_str(), key.c_str(), kAbsentW.data(), buffer,
                                            size, file.c_str());
        });
        readings.push_back({i, wide ? std::optional(narrow(*wide)) : std::nullopt});

        std::string sectionA;
        std::string keyA;
        std::string valueA;
        if (!ansiPath || !ansi.encode(put.section, sectionA) || !ansi.encode(put.key, keyA) ||
            !ansi.encode(put.value, valueA)) {
            continue;
        }
        const auto bytes = readGrowing<char>(kAbsentA, [&](char* buffer, DWORD size) {
            return GetPrivateProfileStringA(sectionA.c_str(), keyA.c_str(), kAbsentA.data(), buffer,
                                            size, fileA.c_str());
        });
        std::optional<std::string> text;
        if (bytes) {
            text.emplace();
            ansi.decode(*bytes, *text);
        }
        readings.push_back({i, std::move(text)});
    }
    return back;
}

} // namespace quentra::core
