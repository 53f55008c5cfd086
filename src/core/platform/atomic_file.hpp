#pragma once

#include "core/config_store.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quentra::core {

// The whole content of a file; exists == false when nothing is at the path (a dangling symbolic
// link included). Throws StoreError with the system's reason when something there cannot be read
// (a directory, a device or pipe, a file without read access), FileInUseError when another
// program holds it open for itself alone (Windows).
struct FileContent {
    bool exists = false;
    std::string bytes;
};
FileContent readFileIfExists(const std::string& path);

// The file a write to a path replaces: the path itself, or the file a symbolic link there leads
// to, so that the link stays. The new file takes over an existing one's `mode`: the permission
// bits (with `owner` and `group`) on POSIX, the attributes on Windows, where `accessRules` holds
// the old file's own access rules (a security descriptor with its DACL) when they can be read.
struct WriteTarget {
    std::string path;
    bool exists = false;
    std::uint32_t mode = 0;
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    std::vector<unsigned char> accessRules{};
};
// Throws StoreError for a dangling link, a directory or other non-file, and a write-protected
// file (for root: one its owner may not write; on Windows: read-only). A missing file is fine.
WriteTarget checkWriteTarget(const std::string& path);

// Replaces the file at `path` with `pieces` written one after another (a large file need not be
// put together in memory), whole or not at all, keeping what checkWriteTarget found where the
// volume keeps it; a replace that would take another user's file over is refused. `check`, when
// given, sees the new file written and flushed under its temporary path before it takes the old
// one's place, and may refuse it by throwing. On failure the file is as it was, no temporary file
// is left, and StoreError gives the system's reason (FileInUseError when another program held the
// file through a brief wait, on Windows), or check's own error. NotDurableError when the new file
// is in place but its folder could not be flushed. A file-size limit (RLIMIT_FSIZE) fails like a
// full disk instead of ending the process.
using TemporaryCheck = std::function<void(const std::string& temporaryPath)>;
void replaceFileAtomically(const std::string& path, std::span<const std::string_view> pieces,
                           const TemporaryCheck& check = {});

// Removes the temporary files that writers of `path` killed before their rename left behind.
// Call it only under the lock every writer of `path` takes: then no live writer has one.
void removeStaleTemporaries(const std::string& path);

// What atomic_file.cpp shares with atomic_file_posix.cpp and atomic_file_windows.cpp.
namespace detail {

// Throw StoreError, or FileInUseError naming `held`: `what` "path": the reason.
[[noreturn]] void fail(const std::string& what, const std::string& path, const std::string& reason);
[[noreturn]] void failHeld(HeldFile held, const std::string& what, const std::string& path,
                           const std::string& reason);

// How long each step of a save waits for a program that holds a file for a moment: a virus
// scanner, an indexer or a sync client opens each new file in a folder it watches, often
// without sharing it.
inline constexpr std::chrono::milliseconds kMomentaryHolderPatience{2000};

// Calls `attempt` until it returns true or `patience` has passed since the first call, pausing
// a little longer each time (1 ms doubling to 20 ms); false when the time ran out. An attempt
// throws for a failure that no wait can mend.
bool retryFor(std::chrono::milliseconds patience, const std::function<bool()>& attempt);

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

// The platform's steps of replaceFileAtomically, each throwing StoreError for the target.
// createTemporary gives -1 when a file is at `path` and `mayBeTaken`; fill gives the file what
// the target has (owner and mode on POSIX, the DACL on Windows), writes, flushes and closes it
// (-1 then).
std::intptr_t createTemporary(const std::string& path, const WriteTarget& target, bool mayBeTaken);
void fill(std::intptr_t& file, const WriteTarget& target, std::span<const std::string_view> pieces);
// Renames `temporary` over `target` in one step, so that a reader finds the old file or the
// new one and never none.
void putInPlace(const std::string& temporary, const std::string& target);
// Throws NotDurableError.
void syncDirectoryOf(const std::string& path);

} // namespace detail

// An exclusive lock on the file `lockPath` (created when missing and never removed, so that every
// writer locks the same file), held until destruction. Throws FileInUseError when another holder
// keeps it past `patience`, StoreError when the file system refuses the lock.
class FileLock {
public:
    explicit FileLock(const std::string& lockPath,
                      std::chrono::milliseconds patience = std::chrono::seconds(30));
    ~FileLock();

private:
    detail::OwnedFile file_;
};

} // namespace quentra::core
