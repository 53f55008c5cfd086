#pragma once

// The pieces of an atomic replace (atomic_file.cpp puts them together). The platform's own
// parts live in atomic_file_posix.cpp and atomic_file_windows.cpp; the naming of temporary
// files and the removal of stale ones in stale_temporaries.cpp.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

namespace quentra::core::detail {

// Throws StoreError: `what` "path": the reason.
[[noreturn]] void fail(const std::string& what, const std::string& path, const std::error_code& ec);
[[noreturn]] void fail(const std::string& what, const std::string& path, const std::string& reason);

// Calls `tryLock` until it returns true, waiting a little longer each time (up to 20 ms);
// false once `patience` has passed.
bool waitForLock(const std::function<bool()>& tryLock, std::chrono::milliseconds patience);

// A fresh name for a temporary file beside `target`: "." name ".tmp-" and four groups of
// digits (process, counter, clock, attempt), so that no two writers pick the same one.
std::string temporaryNameFor(const std::string& target, unsigned attempt);
// True for exactly the names that temporaryNameFor makes for a file named `base`.
bool isTemporaryOf(std::string_view name, std::string_view base);

unsigned long currentProcessId();

// Refuses (StoreError) a target that a replace must leave alone: a directory, or an existing
// file that is write-protected. A missing target is fine.
void checkReplaceable(const std::string& target);

// A temporary file created beside `target` with the permissions and owner of the file it will
// replace; it is removed again by the destructor unless commit() put it in the target's place.
// Every failure throws StoreError naming the target and giving the system's reason.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    void write(std::string_view bytes);
    // Flushed to disk and closed.
    void flush();
    // Renamed over the target.
    void commit();

private:
    [[noreturn]] void fail(const std::error_code& ec) const;
    void close() noexcept;
    // Closes and removes the file unless it was committed.
    void discard() noexcept;

    std::string target_;
    std::string path_;
    std::intptr_t handle_; // a descriptor, or a HANDLE on Windows
    bool open_ = false;
    bool committed_ = false;
};

// Makes a rename in the directory of `path` durable.
void syncDirectoryOf(const std::string& path);

} // namespace quentra::core::detail
