#include "core/platform/native_file_system.hpp"

#include "core/in_quotes.hpp"

#include <filesystem>
#include <limits>
#include <string>
#include <system_error>

namespace quentra::core {

namespace {

namespace fs = std::filesystem;

// Paths travel through the core as UTF-8; on Windows a plain std::string would be taken in the
// ANSI code page instead.
fs::path toPath(const std::string& path) {
    return fs::path(std::u8string(path.begin(), path.end()));
}

std::string describe(const std::string& path, const std::error_code& ec) {
    return inQuotes(path) + ": " + ec.message();
}

} // namespace

bool NativeFileSystem::isOrdinaryFile(const std::string& path) {
    std::error_code ec;
    const fs::path p = toPath(path);
    return !path.empty() && fs::is_regular_file(fs::status(p, ec)) && !ec &&
           !detail::skippedByDirectoryLookup(p);
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
        throw FileSystemError(inQuotes(path) + ": the file is " + std::to_string(size) +
                              " bytes long, more than a 32-bit length can hold");
    }
    return static_cast<std::int32_t>(size);
}

} // namespace quentra::core
