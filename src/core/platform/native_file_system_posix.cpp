// Directory lookups on POSIX systems find every file: a leading "." hides a name only from
// listings, never from a lookup of the name itself.

#include "core/platform/native_file_system.hpp"

namespace quentra::core::detail {

bool skippedByDirectoryLookup(const std::filesystem::path& /*path*/) {
    return false;
}

} // namespace quentra::core::detail
