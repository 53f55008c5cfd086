#include "core/platform/program_directory.hpp"

#include "core/platform/wide_text.hpp"

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace quentra::core {

std::string programDirectory() {
    // GetModuleFileNameW truncates silently to the buffer, so the buffer grows until the whole
    // name fits; a path may be up to 32767 characters long.
    std::vector<wchar_t> buffer(MAX_PATH);
    DWORD length = 0;
    for (;;) {
        length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            throw std::runtime_error("the program's own path is not known (error " +
                                     std::to_string(GetLastError()) + ")");
        }
        if (length < buffer.size()) {
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    // Everything up to the last "\" of the file's path, that "\" included: a root directory
    // ("C:\", "\\server\share\") keeps the one it has and gets no second.
    const std::wstring path(buffer.data(), length);
    const std::size_t slash = path.find_last_of(L'\\');
    const std::wstring directory = slash == std::wstring::npos ? L".\\" : path.substr(0, slash + 1);

    return narrow(directory);
}

} // namespace quentra::core
