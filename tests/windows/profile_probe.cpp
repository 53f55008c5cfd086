// Reads section "FILE INFO" of a settings file through the system's own profile API and prints
// each key as "key=value", one a line, in UTF-8: what the upgrade consumer on Windows will read.
// Usage: profile_probe <path of Config.dat>. Exit status 2 for a usage error, 1 when the section
// holds no key.
#include "probe_output.hpp"

#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr wchar_t kSection[] = L"FILE INFO";

// Returns what the profile API returned for `key` (all key names, double-NUL separated, when
// `key` is null), growing the buffer until the answer fits.
std::wstring profileString(const wchar_t* key, const std::wstring& file) {
    std::vector<wchar_t> buffer(4096);
    for (;;) {
        const DWORD got = GetPrivateProfileStringW(kSection, key, L"", buffer.data(),
                                                   static_cast<DWORD>(buffer.size()), file.c_str());
        // A full buffer is reported as its size less one (a value) or less two (the key list).
        if (got + 2 < buffer.size()) {
            return {buffer.data(), got};
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        writeUtf8(L"usage: profile_probe <settings file>\n");
        return 2;
    }
    // A bare name would be looked for in the Windows directory.
    std::vector<wchar_t> full(32768);
    const DWORD length =
        GetFullPathNameW(argv[1], static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size()) {
        writeUtf8(L"cannot make a full path of the argument\n");
        return 2;
    }
    const std::wstring file(full.data(), length);

    const std::wstring keys = profileString(nullptr, file);
    int count = 0;
    for (std::size_t start = 0; start < keys.size();) {
        const std::size_t end = keys.find(L'\0', start);
        const std::wstring key = keys.substr(start, end - start);
        if (key.empty()) {
            break;
        }
        writeUtf8(key + L"=" + profileString(key.c_str(), file) + L"\n");
        ++count;
        start = end == std::wstring::npos ? keys.size() : end + 1;
    }
    return count > 0 ? 0 : 1;
}
