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
using detail::failInUse;
using detail::OwnedFile;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::error_code systemError(DWORD e = GetLastError()) {
    return std::error_code(static_cast<int>(e), std::system_category());
}

HANDLE handleOf(const OwnedFile& file) {
    return reinterpret_cast<HANDLE>(file.get());
}

OwnedFile openFile(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                   DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    return OwnedFile(reinterpret_cast<std::intptr_t>(CreateFileW(
        widen(path).c_str(), access, share, nullptr, disposition, attributes, nullptr)));
}

// Another program holds the file open (the consumer, a text editor, a virus scanner).
bool isInUse(DWORD e) {
    return e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION || e == ERROR_ACCESS_DENIED ||
           e == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

// ReplaceFileW keeps the replaced file's attributes and security. Where it fails for another
// reason than a holder of the file, MoveFileExW can still put the file in place: when there is
// no file to replace yet, when the new file could not take the old one's name, and on file
// systems or paths that ReplaceFileW cannot handle (Wine's refuses relative ones). The old file
// goes to a backup name of ours, as Wine's ReplaceFileW leaves a file of its own behind on each
// failure when given none; the backup is removed once the new file is in place, and put back
// should neither be.
DWORD replace(const std::wstring& from, const std::wstring& to, const std::wstring& backup) {
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
    return e;
}

} // namespace

FileContent readFileIfExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(widen(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        fail("Cannot read", path, std::make_error_code(std::errc::is_a_directory));
    }
    const OwnedFile file = openFile(path, GENERIC_READ, kShareAll, OPEN_EXISTING);
    if (!file.isOpen()) {
        const DWORD e = GetLastError();
        if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) {
            return {};
        }
        if (e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION) {
            failInUse("Cannot read", path, systemError(e));
        }
        fail("Cannot read", path, systemError(e));
    }
    FileContent out{true, {}};
    LARGE_INTEGER size{};
    if (GetFileSizeEx(handleOf(file), &size) && size.QuadPart > 0) {
        out.bytes.reserve(static_cast<std::size_t>(size.QuadPart));
    }
    char buffer[1 << 16];
    DWORD got = 0;
    do {
        if (!ReadFile(handleOf(file), buffer, sizeof buffer, &got, nullptr)) {
            fail("Cannot read", path, systemError());
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
        fail("Cannot write", path, std::make_error_code(std::errc::is_a_directory));
    }
    // Windows refuses to replace a read-only file; refused here so that it is refused the
    // same way everywhere (Wine would replace it).
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        fail("Cannot write", path, systemError(ERROR_ACCESS_DENIED));
    }
    return {path, true, attributes};
}

FileLock::FileLock(const std::string& lockPath, std::chrono::milliseconds patience) {
    OwnedFile file = openFile(lockPath, GENERIC_READ | GENERIC_WRITE, kShareAll, OPEN_ALWAYS);
    if (!file.isOpen()) {
        fail("Cannot lock", lockPath, systemError());
    }
    DWORD refusal = 0;
    const auto locked = [&] {
        OVERLAPPED at{};
        if (LockFileEx(handleOf(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                       &at)) {
            return true;
        }
        refusal = GetLastError();
        if (refusal != ERROR_LOCK_VIOLATION && refusal != ERROR_IO_PENDING) {
            fail("Cannot lock", lockPath, systemError(refusal));
        }
        return false;
    };
    if (!detail::keepTrying(locked, patience)) {
        failInUse("Cannot lock", lockPath, systemError(refusal));
    }
    handle_ = file.release();
}

FileLock::~FileLock() {
    OVERLAPPED at{};
    UnlockFileEx(reinterpret_cast<HANDLE>(handle_), 0, 1, 0, &at);
    detail::closeFile(handle_);
}

namespace detail {

void closeFile(std::intptr_t file) noexcept {
    CloseHandle(reinterpret_cast<HANDLE>(file));
}

void removeFile(const std::string& path) noexcept {
    DeleteFileW(widen(path).c_str());
}

unsigned long currentProcessId() {
    return GetCurrentProcessId();
}

TemporaryFile::TemporaryFile(const WriteTarget& target) : target_(target.path) {
    // Created with the target's attributes (hidden, system, ...), which a rename keeps: a
    // ReplaceFileW carries them over too, but not Wine's, nor MoveFileExW.
    const DWORD kept = target.mode & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    for (unsigned attempt = 0; !file_.isOpen(); ++attempt) {
        path_ = temporaryNameFor(target_, attempt);
        file_.reset(
            openFile(path_, GENERIC_WRITE, 0, CREATE_NEW, kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL)
                .release());
        if (!file_.isOpen() && (GetLastError() != ERROR_FILE_EXISTS || attempt >= 100)) {
            const std::error_code ec = systemError();
            path_.clear(); // nothing of ours to remove
            fail(ec);
        }
    }
}

void TemporaryFile::write(std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD wrote = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        if (!WriteFile(handleOf(file_), bytes.data(), chunk, &wrote, nullptr)) {
            fail(systemError());
        }
        bytes.remove_prefix(wrote);
    }
}

void TemporaryFile::flush() {
    if (!FlushFileBuffers(handleOf(file_))) {
        fail(systemError());
    }
    file_.close();
}

void TemporaryFile::commit() {
    const std::wstring from = widen(path_);
    const std::wstring to = widen(target_);
    const std::wstring backup = widen(temporaryNameFor(target_, 0));
    // A holder of the target may let go in a moment: tried again for about 2 s.
    DWORD e = ERROR_SUCCESS;
    const auto replaced = [&] {
        e = replace(from, to, backup);
        if (e != ERROR_SUCCESS && !isInUse(e)) {
            fail(systemError(e));
        }
        return e == ERROR_SUCCESS;
    };
    if (!keepTrying(replaced, std::chrono::seconds(2))) {
        failInUse("Cannot write", target_, systemError(e));
    }
    path_.clear();
}

void syncDirectoryOf(const std::string& path) {
    // ReplaceFileW has no write-through, which MOVEFILE_WRITE_THROUGH gave the rename: a flush
    // of the file in its new place has NTFS write out its log, the rename included. Best
    // effort, as a holder of the file may refuse the open.
    const OwnedFile file = openFile(path, GENERIC_WRITE, kShareAll, OPEN_EXISTING);
    if (file.isOpen()) {
        FlushFileBuffers(handleOf(file));
    }
}

} // namespace detail

} // namespace quentra::core
