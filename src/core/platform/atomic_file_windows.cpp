// The Windows side of reading, locking and atomically replacing a file. Paths arrive as UTF-8
// and go to the wide-character API.

#include "core/config_store.hpp"
#include "core/platform/atomic_file.hpp"
#include "core/platform/temporary_file.hpp"
#include "core/platform/wide_text.hpp"

#include <algorithm>
#include <string>

#include <windows.h>

namespace quentra::core {

using detail::fail;

namespace {

std::error_code systemError(DWORD e) {
    return std::error_code(static_cast<int>(e), std::system_category());
}

std::error_code lastError() {
    return systemError(GetLastError());
}

bool isMissing(DWORD e) {
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND;
}

HANDLE asHandle(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

struct Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    Handle() = default;
    explicit Handle(HANDLE handle) : h(handle) {}
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
};

} // namespace

FileContent readFileIfExists(const std::string& path) {
    const std::wstring wide = widen(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD e = GetLastError();
        if (isMissing(e)) {
            return {};
        }
        fail("Cannot read", path, systemError(e));
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        fail("Cannot read", path, std::make_error_code(std::errc::is_a_directory));
    }
    const Handle file(CreateFileW(wide.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.h == INVALID_HANDLE_VALUE) {
        const DWORD e = GetLastError();
        if (isMissing(e)) {
            return {};
        }
        fail("Cannot read", path, systemError(e));
    }
    FileContent out;
    out.exists = true;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file.h, &size) && size.QuadPart > 0) {
        out.bytes.reserve(static_cast<std::size_t>(size.QuadPart));
    }
    char buffer[1 << 16];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.h, buffer, sizeof buffer, &got, nullptr)) {
            fail("Cannot read", path, lastError());
        }
        if (got == 0) {
            break;
        }
        out.bytes.append(buffer, got);
    }
    return out;
}

std::string resolveWriteTarget(const std::string& path) {
    detail::checkReplaceable(path);
    return path;
}

FileLock::FileLock(const std::string& lockPath, std::chrono::milliseconds patience)
    : handle_(reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE)) {
    Handle file(CreateFileW(widen(lockPath).c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.h == INVALID_HANDLE_VALUE) {
        fail("Cannot lock", lockPath, lastError());
    }
    DWORD refusal = 0;
    const bool locked = detail::waitForLock(
        [&] {
            OVERLAPPED at{};
            if (LockFileEx(file.h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                           &at)) {
                return true;
            }
            refusal = GetLastError();
            if (refusal != ERROR_LOCK_VIOLATION && refusal != ERROR_IO_PENDING) {
                fail("Cannot lock", lockPath, systemError(refusal));
            }
            return false;
        },
        patience);
    if (!locked) {
        fail("Cannot lock", lockPath, systemError(refusal));
    }
    handle_ = reinterpret_cast<std::intptr_t>(file.h);
    file.h = INVALID_HANDLE_VALUE;
}

FileLock::~FileLock() {
    OVERLAPPED at{};
    UnlockFileEx(asHandle(handle_), 0, 1, 0, &at);
    CloseHandle(asHandle(handle_));
}

namespace detail {

unsigned long currentProcessId() {
    return GetCurrentProcessId();
}

void checkReplaceable(const std::string& target) {
    const DWORD attributes = GetFileAttributesW(widen(target).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return; // missing, or a reason the write itself will meet and report
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        fail("Cannot write", target, std::make_error_code(std::errc::is_a_directory));
    }
    // Windows refuses to replace a read-only file; refused here so that it is refused the
    // same way everywhere (Wine would replace it).
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        fail("Cannot write", target, systemError(ERROR_ACCESS_DENIED));
    }
}

TemporaryFile::TemporaryFile(const std::string& target)
    : target_(target), handle_(reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE)) {
    checkReplaceable(target);
    for (unsigned attempt = 0; !open_; ++attempt) {
        path_ = temporaryNameFor(target, attempt);
        const HANDLE h = CreateFileW(widen(path_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            handle_ = reinterpret_cast<std::intptr_t>(h);
            open_ = true;
        } else if (GetLastError() != ERROR_FILE_EXISTS || attempt >= 100) {
            const std::error_code ec = lastError();
            path_.clear(); // nothing of ours to remove
            fail(ec);
        }
    }
}

TemporaryFile::~TemporaryFile() {
    discard();
}

void TemporaryFile::discard() noexcept {
    close();
    if (!committed_ && !path_.empty()) {
        DeleteFileW(widen(path_).c_str());
        path_.clear();
    }
}

void TemporaryFile::fail(const std::error_code& ec) const {
    detail::fail("Cannot write", target_, ec);
}

void TemporaryFile::close() noexcept {
    if (open_) {
        CloseHandle(asHandle(handle_));
        open_ = false;
    }
}

void TemporaryFile::write(std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD wrote = 0;
        if (!WriteFile(asHandle(handle_), bytes.data() + done, chunk, &wrote, nullptr)) {
            fail(lastError());
        }
        done += wrote;
    }
}

void TemporaryFile::flush() {
    if (!FlushFileBuffers(asHandle(handle_))) {
        fail(lastError());
    }
    close();
}

void TemporaryFile::commit() {
    const std::wstring from = widen(path_);
    const std::wstring to = widen(target_);
    // A reader elsewhere (the consumer, a virus scanner, a store reading without the lock) may
    // hold the target open for a moment; Windows then refuses the replace, so try again briefly.
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(from.c_str(), to.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
            committed_ = true;
            return;
        }
        const DWORD e = GetLastError();
        if ((e != ERROR_ACCESS_DENIED && e != ERROR_SHARING_VIOLATION) || attempt >= 39) {
            fail(systemError(e));
        }
        Sleep(50);
    }
}

void syncDirectoryOf(const std::string& /*path*/) {
    // MOVEFILE_WRITE_THROUGH returns only once the move is on disk.
}

} // namespace detail

} // namespace quentra::core
