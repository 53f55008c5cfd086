#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace quentra::core {

struct FileSystemError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The two file-system services the core needs. The real implementation is in
// platform/native_file_system.hpp; tests use fakes.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Whether an ordinary file exists at `path`: a directory, or on Windows a hidden or system
    // file, counts as absent.
    virtual bool isOrdinaryFile(const std::string& path) = 0;

    // Length in bytes of the named file. Throws FileSystemError when the file does not exist,
    // cannot be reached, or is longer than a signed 32-bit length can say.
    virtual std::int32_t fileLength(const std::string& path) = 0;
};

} // namespace quentra::core
