#include "core/platform/native_file_system.hpp"

#include <filesystem>
#include <limits>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace quentra::core {

namespace {

namespace fs = std::filesystem;

// Paths travel through the core as UTF-8; on Windows a plain std::string would be taken in the
// ANSI code page instead.
fs::path toPath(const std::string& path) {
    return fs::path(std::u8string(path.begin(), path.end()));
}

std::string describe(const std::string& path, const std::error_code& ec) {
    return "\"" + path + "\": " + ec.message();
}

} // namespace

bool NativeFileSystem::isOrdinaryFile(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    std::error_code ec;
    const fs::path p = toPath(path);
    if (!fs::is_regular_file(fs::status(p, ec)) || ec) {
        return false;
    }
#ifdef _WIN32
    // A hidden or system file is not found by the directory lookup the start-up relies on.
    const DWORD attributes = GetFileAttributesW(p.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    if ((attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0) {
        return false;
    }
#endif
    return true;
}

std::int32_t NativeFileSystem::fileLength(const std::string& path) {
    std::error_code ec;
    const fs::path p = toPath(path);
    if (path.empty()) {
        throw FileSystemError("no file name was given");
    }
    const std::uintmax_t size = fs::file_size(p, ec);
    if (ec) {
        throw FileSystemError(describe(path, ec));
    }
    if (size > static_cast<std::uintmax_t>(std::numeric_limits<std::int32_t>::max())) {
        throw FileSystemError("\"" + path + "\": the file is " + std::to_string(size) +
                              " bytes long, more than a 32-bit length can hold");
    }
    return static_cast<std::int32_t>(size);
}

} // namespace quentra::core
