#pragma once

// The pieces of an atomic replace that atomic_file.cpp puts together. The platform's own parts
// live in atomic_file_posix.cpp and atomic_file_windows.cpp.

#include "core/platform/atomic_file.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

namespace quentra::core::detail {

// Throw StoreError, or FileInUseError for failInUse: `what` "path": the reason.
[[noreturn]] void fail(const std::string& what, const std::string& path, const std::error_code& ec);
[[noreturn]] void fail(const std::string& what, const std::string& path, const std::string& reason);
[[noreturn]] void failInUse(const std::string& what, const std::string& path,
                            const std::error_code& ec);

// Calls `attempt` until it returns true, waiting a little longer each time (up to 20 ms);
// false once `patience` has passed. For a lock or a file that another holder may let go.
bool keepTrying(const std::function<bool()>& attempt, std::chrono::milliseconds patience);

// A fresh name for a temporary file beside `target`: "." name ".tmp-" and four groups of
// digits (process, counter, clock, attempt), so that no two writers pick the same one.
std::string temporaryNameFor(const std::string& target, unsigned attempt);

// The platform's two small calls, which only clean up and so say nothing of a failure: closing
// a descriptor or HANDLE, and removing a file. And the process's id.
void closeFile(std::intptr_t file) noexcept;
void removeFile(const std::string& path) noexcept;
unsigned long currentProcessId();

// A descriptor or HANDLE, closed with the object; -1 is none (INVALID_HANDLE_VALUE on Windows).
class OwnedFile {
public:
    explicit OwnedFile(std::intptr_t file = -1) : file_(file) {}
    ~OwnedFile() { close(); }
    OwnedFile(const OwnedFile&) = delete;
    OwnedFile& operator=(const OwnedFile&) = delete;

    std::intptr_t get() const { return file_; }
    bool isOpen() const { return file_ != -1; }
    std::intptr_t release() { return std::exchange(file_, -1); }
    void reset(std::intptr_t file) {
        close();
        file_ = file;
    }
    void close() noexcept {
        if (isOpen()) {
            closeFile(release());
        }
    }

private:
    std::intptr_t file_;
};

// A temporary file beside the target that takes over the target's permissions and owner
// (POSIX) or attributes (Windows); it is removed again by the destructor unless commit() put it
// in the target's place. Every failure throws StoreError naming the target with the reason.
class TemporaryFile {
public:
    explicit TemporaryFile(const WriteTarget& target);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    void write(std::string_view bytes);
    // Flushed to disk and closed.
    void flush();
    // Put in the target's place.
    void commit();

private:
    [[noreturn]] void fail(const std::error_code& ec) const;

    std::string target_;
    std::string path_; // empty once nothing of ours is left to remove
    OwnedFile file_;
};

// Makes the replace of `path` durable.
void syncDirectoryOf(const std::string& path);

} // namespace quentra::core::detail
