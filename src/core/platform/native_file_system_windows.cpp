// The directory lookup that the start-up relies on passes over hidden and system files on
// Windows.

#include "core/platform/native_file_system.hpp"

#include <windows.h>

namespace quentra::core::detail {

bool skippedByDirectoryLookup(const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ||
           (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
}

} // namespace quentra::core::detail
