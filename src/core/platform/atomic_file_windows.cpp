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

#include <aclapi.h>

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

// Whether another program holds `from` or `to` so that the rename of one over the other was
// refused with `e`, and then the error that says so; ERROR_SUCCESS for any other refusal. A
// rename over a file held open is refused as ERROR_ACCESS_DENIED, like one the user may not
// make: an open of each file for deletion, sharing everything, tells the two apart. A sharing
// violation there is a holder that does not share deletion; a denial is a permission fault; a
// target that opens has a holder that shares deletion or maps the file (which still stops a
// rename over it), or one that has just let go.
DWORD holderOf(DWORD e, const std::wstring& from, const std::wstring& to) {
    if (e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION) {
        return e;
    }
    if (e != ERROR_ACCESS_DENIED) {
        return ERROR_SUCCESS;
    }
    bool targetOpens = false;
    for (const std::wstring* path : {&to, &from}) {
        const HANDLE file = CreateFileW(path->c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            targetOpens = targetOpens || path == &to;
        } else if (GetLastError() == ERROR_SHARING_VIOLATION) {
            return ERROR_SHARING_VIOLATION;
        } else if (GetLastError() == ERROR_ACCESS_DENIED) {
            return ERROR_SUCCESS;
        }
    }
    return targetOpens ? e : ERROR_SUCCESS;
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
    // Created with the target's attributes (hidden, system, ...), which the rename keeps; open
    // to take over its access rules too (fill).
    const DWORD kept = target.mode & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    const std::intptr_t file = openFile(path, GENERIC_WRITE | WRITE_DAC, 0, CREATE_NEW,
                                        kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
    if (file == -1 && (GetLastError() != ERROR_FILE_EXISTS || !mayBeTaken)) {
        fail("Cannot write", target.path, why());
    }
    return file;
}

void fill(std::intptr_t& file, const WriteTarget& target,
          std::span<const std::string_view> pieces) {
    // The old file's own access rules (its DACL): its explicit entries, and whether it takes
    // those of its folder, which a new file beside it inherits alike. When they cannot be read
    // (no right to), the new file has the folder's, as a file saved for the first time.
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (target.exists &&
        GetNamedSecurityInfoW(widen(target.path).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, &dacl, nullptr, &descriptor) == ERROR_SUCCESS) {
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        GetSecurityDescriptorControl(descriptor, &control, &revision);
        const DWORD protection = (control & SE_DACL_PROTECTED) != 0
                                     ? PROTECTED_DACL_SECURITY_INFORMATION
                                     : UNPROTECTED_DACL_SECURITY_INFORMATION;
        const DWORD e = dacl == nullptr ? ERROR_SUCCESS
                                        : SetSecurityInfo(handleOf(file), SE_FILE_OBJECT,
                                                          DACL_SECURITY_INFORMATION | protection,
                                                          nullptr, nullptr, dacl, nullptr);
        LocalFree(descriptor);
        if (e != ERROR_SUCCESS) {
            fail("Cannot write", target.path, why(e));
        }
    }
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

// One rename over the old file, so that a reader finds the old file or the new one and never
// none; the new file already has the old one's attributes and access rules. A holder of the
// file may let go in a moment: tried again for about 2 s. Any other refusal, a permission fault
// among them, is reported at once.
void putInPlace(const std::string& temporary, const std::string& target) {
    const std::wstring from = widen(temporary);
    const std::wstring to = widen(target);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (auto pause = std::chrono::milliseconds(1);;
         pause = std::min(pause * 2, std::chrono::milliseconds(20))) {
        if (MoveFileExW(from.c_str(), to.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return;
        }
        const DWORD e = GetLastError();
        const DWORD held = holderOf(e, from, to);
        if (held == ERROR_SUCCESS) {
            fail("Cannot write", target, why(e));
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            fail("Cannot write", target, why(held), true);
        }
        std::this_thread::sleep_for(pause);
    }
}

void syncDirectoryOf(const std::string&) {
    // MOVEFILE_WRITE_THROUGH returns once the rename is on the disk.
}

} // namespace detail

} // namespace quentra::core
