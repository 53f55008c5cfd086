#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quentra::core {

// The whole content of a file, or exists == false when there is no file at the path (a
// dangling symbolic link included). Throws StoreError with the system's reason when something
// is there but cannot be read: a directory, a device or pipe, a file without read access.
struct FileContent {
    bool exists = false;
    std::string bytes;
};
FileContent readFileIfExists(const std::string& path);

// The file that a write to `path` replaces: `path` itself, or the file that a symbolic link
// at `path` leads to, so that the link stays in place. Throws StoreError for a link whose
// target is missing, for a directory or other non-file there, and for a write-protected file.
std::string resolveWriteTarget(const std::string& path);

// An exclusive lock on the file `lockPath` (created when missing, never removed, so that
// every writer locks the same file), held until destruction. Waits for another holder for
// at most `patience`, then throws StoreError; so does a file system that refuses the lock.
class FileLock {
public:
    explicit FileLock(const std::string& lockPath,
                      std::chrono::milliseconds patience = std::chrono::seconds(30));
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    std::intptr_t handle_; // a descriptor, or a HANDLE on Windows
};

// Replaces the file at `path` with `pieces`, written one after another (so that a large file
// need not be put together in memory first), whole or not at all: a temporary file beside it
// is written, flushed to disk, given the existing file's permission bits and owner and renamed
// over it; then the directory is synced. A write-protected file (no write permission, for a
// writer whom permission bits do not bind none for its owner; the read-only attribute on
// Windows) is refused, and so is a replace that could not keep the file's owner. On failure
// the temporary file is removed, the file at `path` is as it was, and StoreError carries the
// system's reason. A file-size limit (RLIMIT_FSIZE) is reported like a full disk instead of
// ending the process.
void replaceFileAtomically(const std::string& path, std::span<const std::string_view> pieces);

// Removes the temporary files that a writer of `path` killed before its rename left behind.
// Call it only while holding the lock that every writer of `path` takes: then no temporary of
// a live writer can exist.
void removeStaleTemporaries(const std::string& path);

} // namespace quentra::core
