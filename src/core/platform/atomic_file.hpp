#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quentra::core {

// The whole content of a file, or exists == false when there is no file at the path (a
// dangling symbolic link included). Throws StoreError with the system's reason when something
// is there but cannot be read: a directory, a device or pipe, a file without read access;
// FileInUseError when another program holds it open for itself alone (Windows).
struct FileContent {
    bool exists = false;
    std::string bytes;
};
FileContent readFileIfExists(const std::string& path);

// The file that a write to a path replaces, as one look at it finds it: `path` is the path
// itself, or the file that a symbolic link there leads to, so that the link stays in place.
// What the new file takes over from an existing one: in `mode`, the permission bits on POSIX
// (with `owner` and `group`), the attributes on Windows.
struct WriteTarget {
    std::string path;
    bool exists = false;
    std::uint32_t mode = 0;
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
};
// Throws StoreError for a link whose target is missing, for a directory or other non-file
// there, and for a write-protected file (no write permission, for a writer whom permission bits
// do not bind none for its owner; the read-only attribute on Windows). A missing file is fine.
WriteTarget checkWriteTarget(const std::string& path);

// Replaces the file at `path` (checked by checkWriteTarget) with `pieces`, written one after
// another (so that a large file need not be put together in memory first), whole or not at
// all: a temporary file beside it is written, flushed to disk, given what the existing file
// has (checkWriteTarget) and put in its place; then the directory is synced. A replace that
// could not keep the file's owner is refused. On failure the temporary file is removed, the
// file at `path` is as it was, and StoreError carries the system's reason: FileInUseError when
// another program held the file open for the whole of a brief wait (Windows). A file-size
// limit (RLIMIT_FSIZE) is reported like a full disk instead of ending the process.
void replaceFileAtomically(const std::string& path, std::span<const std::string_view> pieces);

// Removes the temporary files that a writer of `path` killed before its rename left behind.
// Call it only while holding the lock that every writer of `path` takes: then no temporary of
// a live writer can exist.
void removeStaleTemporaries(const std::string& path);

// The parts of the above that atomic_file.cpp shares with the platform's own file
// (atomic_file_posix.cpp, atomic_file_windows.cpp).
namespace detail {

// Throws StoreError, or FileInUseError for `inUse`: `what` "path": the reason.
[[noreturn]] void fail(const std::string& what, const std::string& path, const std::string& reason,
                       bool inUse = false);

// A fresh name for a temporary file beside `target`: "." name ".tmp-" and four groups of
// digits (process, counter, clock, attempt), so that no two writers pick the same one.
std::string temporaryNameFor(const std::string& target, unsigned attempt);

unsigned long currentProcessId();

// A descriptor or HANDLE (-1 is none, INVALID_HANDLE_VALUE on Windows) closed with the object;
// then a `temporaryPath` that is set is removed. Cleanup only, and so silent on failure.
struct OwnedFile {
    explicit OwnedFile(std::intptr_t file) : handle(file) {}
    ~OwnedFile();
    OwnedFile(const OwnedFile&) = delete;
    OwnedFile& operator=(const OwnedFile&) = delete;

    std::intptr_t handle;
    std::string temporaryPath;
};

// The platform's steps of replaceFileAtomically; each failure throws StoreError naming the
// target with the system's reason. A new file at `path`, or -1 when a file of that name is
// there and `mayBeTaken`.
std::intptr_t createTemporary(const std::string& path, const WriteTarget& target, bool mayBeTaken);
// Given what the target has (owner and permission bits on POSIX), written with `pieces`,
// flushed to disk and closed (`file` is -1 then).
void fill(std::intptr_t& file, const WriteTarget& target, std::span<const std::string_view> pieces);
// Put in the target's place.
void putInPlace(const std::string& temporary, const std::string& target);
// Makes the replace of `path` durable.
void syncDirectoryOf(const std::string& path);

} // namespace detail

// An exclusive lock on the file `lockPath` (created when missing, never removed, so that
// every writer locks the same file), held until destruction. Waits for another holder for
// at most `patience`, then throws FileInUseError; a file system that refuses the lock gives
// StoreError.
class FileLock {
public:
    explicit FileLock(const std::string& lockPath,
                      std::chrono::milliseconds patience = std::chrono::seconds(30));
    ~FileLock();

private:
    detail::OwnedFile file_;
};

} // namespace quentra::core
