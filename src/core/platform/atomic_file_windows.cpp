// The Windows side of reading, locking and atomically replacing a file. Paths arrive as UTF-8
// and go to the wide-character API.

#include "core/platform/atomic_file.hpp"
#include "core/platform/wide_text.hpp"

#include <algorithm>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include <windows.h>

namespace quentra::core {

using detail::fail;
using detail::OwnedFile;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::string why(DWORD e = GetLastError()) {
    return std::system_category().message(static_cast<int>(e));
}

HANDLE handleOf(std::intptr_t file) {
    return reinterpret_cast<HANDLE>(file);
}

std::intptr_t openFile(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                       DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    return reinterpret_cast<std::intptr_t>(
        CreateFileW(widen(path).c_str(), access, share, nullptr, disposition, attributes, nullptr));
}

// Another program holds the file open (the consumer, a text editor, a virus scanner).
bool isInUse(DWORD e) {
    return e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION || e == ERROR_ACCESS_DENIED ||
           e == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

} // namespace

FileContent readFileIfExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(widen(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        fail("Cannot read", path, std::make_error_code(std::errc::is_a_directory).message());
    }
    const OwnedFile file(openFile(path, GENERIC_READ, kShareAll, OPEN_EXISTING));
    if (file.handle == -1) {
        const DWORD e = GetLastError();
        if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) {
            return {};
        }
        fail("Cannot read", path, why(e),
             e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION);
    }
    FileContent out{true, {}};
    LARGE_INTEGER size{};
    if (GetFileSizeEx(handleOf(file.handle), &size) && size.QuadPart > 0) {
        out.bytes.reserve(static_cast<std::size_t>(size.QuadPart));
    }
    char buffer[1 << 16];
    DWORD got = 0;
    do {
        if (!ReadFile(handleOf(file.handle), buffer, sizeof buffer, &got, nullptr)) {
            fail("Cannot read", path, why());
        }
        out.bytes.append(buffer, got);
    } while (got != 0);
    return out;
}

WriteTarget checkWriteTarget(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return {path}; // missing, or a reason the write itself will meet and report
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        fail("Cannot write", path, std::make_error_code(std::errc::is_a_directory).message());
    }
    // Windows refuses to replace a read-only file, but Wine would: refused here on both alike.
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        fail("Cannot write", path, why(ERROR_ACCESS_DENIED));
    }
    return {path, true, attributes};
}

FileLock::FileLock(const std::string& lockPath, std::chrono::milliseconds patience)
    : file_(openFile(lockPath, GENERIC_READ | GENERIC_WRITE, kShareAll, OPEN_ALWAYS)) {
    if (file_.handle == -1) {
        fail("Cannot lock", lockPath, why());
    }
    // Another holder may let go at any moment: tried again, a little later each time.
    const auto deadline = std::chrono::steady_clock::now() + patience;
    OVERLAPPED at{};
    for (auto pause = std::chrono::milliseconds(1);
         !LockFileEx(handleOf(file_.handle), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                     1, 0, &at);
         pause = std::min(pause * 2, std::chrono::milliseconds(20))) {
        const DWORD refusal = GetLastError();
        const bool held = refusal == ERROR_LOCK_VIOLATION || refusal == ERROR_IO_PENDING;
        if (!held || std::chrono::steady_clock::now() >= deadline) {
            fail("Cannot lock", lockPath, why(refusal), held);
        }
        std::this_thread::sleep_for(pause);
    }
}

FileLock::~FileLock() {
    OVERLAPPED at{};
    UnlockFileEx(handleOf(file_.handle), 0, 1, 0, &at);
}

namespace detail {

OwnedFile::~OwnedFile() {
    if (handle != -1) {
        CloseHandle(handleOf(handle));
    }
    if (!temporaryPath.empty()) {
        DeleteFileW(widen(temporaryPath).c_str());
    }
}

unsigned long currentProcessId() {
    return GetCurrentProcessId();
}

std::intptr_t createTemporary(const std::string& path, const WriteTarget& target, bool mayBeTaken) {
    // Created with the target's attributes (hidden, system, ...), which a rename keeps: a
    // ReplaceFileW carries them over too, but not Wine's, nor MoveFileExW.
    const DWORD kept = target.mode & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    const std::intptr_t file =
        openFile(path, GENERIC_WRITE, 0, CREATE_NEW, kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
    if (file == -1 && (GetLastError() != ERROR_FILE_EXISTS || !mayBeTaken)) {
        fail("Cannot write", target.path, why());
    }
    return file;
}

void fill(std::intptr_t& file, const WriteTarget& target,
          std::span<const std::string_view> pieces) {
    for (std::string_view bytes : pieces) {
        while (!bytes.empty()) {
            DWORD wrote = 0;
            const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
            if (!WriteFile(handleOf(file), bytes.data(), chunk, &wrote, nullptr)) {
                fail("Cannot write", target.path, why());
            }
            bytes.remove_prefix(wrote);
        }
    }
    if (!FlushFileBuffers(handleOf(file))) {
        fail("Cannot write", target.path, why());
    }
    CloseHandle(handleOf(std::exchange(file, -1)));
}

// ReplaceFileW keeps the replaced file's attributes and security. When it fails other than for a
// holder of the file, MoveFileExW still puts the file in place: when there is none to replace
// yet, when the new file could not take the old one's name, on file systems or paths it cannot
// handle (Wine's refuses relative ones). The old file goes to a backup name of ours (given none,
// Wine's leaves a file of its own behind on each failure), removed once the new file is in place
// and put back should neither be. A holder may let go in a moment: tried again for about 2 s.
void putInPlace(const std::string& temporary, const std::string& target) {
    const std::wstring from = widen(temporary);
    const std::wstring to = widen(target);
    const std::wstring backup = widen(temporaryNameFor(target, 0));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (auto pause = std::chrono::milliseconds(1);;
         pause = std::min(pause * 2, std::chrono::milliseconds(20))) {
        DWORD e = ERROR_SUCCESS;
        if (!ReplaceFileW(to.c_str(), from.c_str(), backup.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS,
                          nullptr, nullptr)) {
            e = GetLastError();
            if (!isInUse(e)) {
                e = MoveFileExW(from.c_str(), to.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                        ? ERROR_SUCCESS
                        : GetLastError();
            }
        }
        if (GetFileAttributesW(to.c_str()) != INVALID_FILE_ATTRIBUTES) {
            DeleteFileW(backup.c_str());
        } else {
            MoveFileExW(backup.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
        }
        if (e == ERROR_SUCCESS) {
            return;
        }
        if (!isInUse(e) || std::chrono::steady_clock::now() >= deadline) {
            fail("Cannot write", target, why(e), isInUse(e));
        }
        std::this_thread::sleep_for(pause);
    }
}

void syncDirectoryOf(const std::string& path) {
    // ReplaceFileW has no write-through, which MOVEFILE_WRITE_THROUGH gave the rename: a flush
    // of the file in its new place has NTFS write out its log, the rename included. Best
    // effort, as a holder of the file may refuse the open.
    const OwnedFile file(openFile(path, GENERIC_WRITE, kShareAll, OPEN_EXISTING));
    if (file.handle != -1) {
        FlushFileBuffers(handleOf(file.handle));
    }
}

} // namespace detail

} // namespace quentra::core
