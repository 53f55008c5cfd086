#pragma once

#include "core/file_system.hpp"

#include <filesystem>

namespace quentra::core {

// FileSystem over the operating system (std::filesystem, plus file attributes on Windows).
class NativeFileSystem final : public FileSystem {
public:
    bool isOrdinaryFile(const std::string& path) override;
    std::int32_t fileLength(const std::string& path) override;
};

namespace detail {
// Whether the system's directory lookup passes over the file at `path`, as it does over a
// hidden or system file on Windows; never elsewhere. Each platform's file has its own.
bool skippedByDirectoryLookup(const std::filesystem::path& path);
} // namespace detail

} // namespace quentra::core
