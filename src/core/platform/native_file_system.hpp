#pragma once

#include "core/file_system.hpp"

namespace quentra::core {

// FileSystem over the operating system (std::filesystem, plus file attributes on Windows).
class NativeFileSystem final : public FileSystem {
public:
    bool isOrdinaryFile(const std::string& path) override;
    std::int32_t fileLength(const std::string& path) override;
};

} // namespace quentra::core
