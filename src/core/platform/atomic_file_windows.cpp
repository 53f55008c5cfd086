// The Windows side of reading, locking and atomically replacing a file. Paths arrive as UTF-8
// and go to the wide-character API.

#include "core/platform/atomic_file.hpp"
#include "core/platform/held_file_windows.hpp"
#include "core/platform/wide_text.hpp"

#include <algorithm>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <windows.h>

#include <aclapi.h>

namespace quentra::core {

using detail::fail;
using detail::failHeld;
using detail::openWaiting;
using detail::OwnedFile;
using detail::retryFor;

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

bool isHeld(DWORD e) {
    return e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION;
}

// Which of `from` and `to` another program holds, so that the rename of one over the other was
// refused with `e`; none for any other refusal. A rename over a file held open is refused as
// ERROR_ACCESS_DENIED, like one the user may not make: an open of each file for deletion,
// sharing everything, tells the two apart, and names the held one for a sharing violation too.
// A sharing violation there is a holder that does not share deletion; a denial is a permission
// fault; a target that opens has a holder that shares deletion or maps the file (which still
// stops a rename over it), or one that has just let go.
struct Holder {
    std::optional<HeldFile> file;
    DWORD error = ERROR_SUCCESS;
};
Holder holderOf(DWORD e, const std::wstring& from, const std::wstring& to) {
    if (!isHeld(e) && e != ERROR_ACCESS_DENIED) {
        return {};
    }
    bool targetOpens = false;
    for (const std::wstring* path : {&to, &from}) {
        const HANDLE file = CreateFileW(path->c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            targetOpens = targetOpens || path == &to;
        } else if (GetLastError() == ERROR_SHARING_VIOLATION) {
            return {path == &to ? HeldFile::Settings : HeldFile::NewFile, ERROR_SHARING_VIOLATION};
        } else if (GetLastError() == ERROR_ACCESS_DENIED) {
            return isHeld(e) ? Holder{HeldFile::Settings, e} : Holder{};
        }
    }
    return isHeld(e) || targetOpens ? Holder{HeldFile::Settings, e} : Holder{};
}

// The file's own access rules (its DACL) as a self-relative security descriptor: its explicit
// entries, and whether it takes those of its folder, which a new file beside it inherits alike.
// None when they cannot be read (no right to): the new file then has the folder's, as a file
// saved for the first time.
std::vector<unsigned char> accessRulesOf(const std::string& path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(widen(path).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return {};
    }
    std::vector<unsigned char> rules;
    if (dacl != nullptr) {
        const auto* bytes = static_cast<const unsigned char*>(descriptor);
        rules.assign(bytes, bytes + GetSecurityDescriptorLength(descriptor));
    }
    LocalFree(descriptor);
    return rules;
}

} // namespace

FileContent readFileIfExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(widen(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        fail("Cannot read", path, std::make_error_code(std::errc::is_a_directory).message());
    }
    DWORD e = ERROR_SUCCESS;
    const OwnedFile file(openWaiting(path, GENERIC_READ, kShareAll, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, HeldFile::Settings, "Cannot read", e));
    if (file.handle == -1) {
        if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) {
            return {};
        }
        fail("Cannot read", path, why(e));
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
    return {path, true, attributes, 0, 0, accessRulesOf(path)};
}

// The lock file is hidden, so that the consumer's folder shows the user only what is theirs.
FileLock::FileLock(const std::string& lockPath, std::chrono::milliseconds patience) : file_(-1) {
    DWORD e = ERROR_SUCCESS;
    file_.handle = openWaiting(lockPath, GENERIC_READ | GENERIC_WRITE, kShareAll, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_HIDDEN, HeldFile::Lock, "Cannot lock", e);
    if (file_.handle == -1) {
        fail("Cannot lock", lockPath, why(e));
    }
    // Another holder may let go at any moment: tried again, a little later each time.
    DWORD refusal = ERROR_SUCCESS;
    const bool locked = retryFor(patience, [&] {
        OVERLAPPED at{};
        if (LockFileEx(handleOf(file_.handle), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY,
                       0, 1, 0, &at)) {
            return true;
        }
        refusal = GetLastError();
        if (refusal != ERROR_LOCK_VIOLATION && refusal != ERROR_IO_PENDING) {
            fail("Cannot lock", lockPath, why(refusal));
        }
        return false;
    });
    if (!locked) {
        failHeld(HeldFile::Lock, "Cannot lock", lockPath, why(refusal));
    }
}

FileLock::~FileLock() {
    OVERLAPPED at{};
    UnlockFileEx(handleOf(file_.handle), 0, 1, 0, &at);
}

namespace detail {

std::intptr_t openWaiting(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                          DWORD attributes, HeldFile held, const std::string& what, DWORD& error) {
    std::intptr_t file = -1;
    const bool opened = retryFor(detail::kMomentaryHolderPatience, [&] {
        file = openFile(path, access, share, disposition, attributes);
        error = file == -1 ? GetLastError() : ERROR_SUCCESS;
        return file != -1 || !isHeld(error);
    });
    if (!opened) {
        failHeld(held, what, path, why(error));
    }
    return file;
}

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
    // Created with the target's attributes (hidden, system, ...), which the rename keeps, and
    // with the right to change its access rules only when there are rules to take over (fill).
    const DWORD kept = target.mode & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    const DWORD access = GENERIC_WRITE | (target.accessRules.empty() ? 0 : WRITE_DAC);
    DWORD e = ERROR_SUCCESS;
    const std::intptr_t file =
        openWaiting(path, access, 0, CREATE_NEW, kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL,
                    HeldFile::NewFile, "Cannot write", e);
    if (file == -1 && (e != ERROR_FILE_EXISTS || !mayBeTaken)) {
        fail("Cannot write", target.path, why(e));
    }
    return file;
}

void fill(std::intptr_t& file, const WriteTarget& target,
          std::span<const std::string_view> pieces) {
    // The old file's access rules. A volume that keeps none (FAT) refuses them: the new file
    // then keeps its folder's, as when the old rules cannot be read.
    if (!target.accessRules.empty()) {
        auto* descriptor = const_cast<unsigned char*>(target.accessRules.data());
        BOOL present = FALSE;
        BOOL defaulted = FALSE;
        PACL dacl = nullptr;
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        if (GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) &&
            GetSecurityDescriptorControl(descriptor, &control, &revision)) {
            const DWORD protection = (control & SE_DACL_PROTECTED) != 0
                                         ? PROTECTED_DACL_SECURITY_INFORMATION
                                         : UNPROTECTED_DACL_SECURITY_INFORMATION;
            SetSecurityInfo(handleOf(file), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | protection,
                            nullptr, nullptr, dacl, nullptr);
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
// none; the new file already has the old one's attributes and access rules. A holder of either
// file may let go in a moment: tried again for a while. Any other refusal, a permission fault
// among them, is reported at once.
void putInPlace(const std::string& temporary, const std::string& target) {
    const std::wstring from = widen(temporary);
    const std::wstring to = widen(target);
    Holder held;
    const bool renamed = retryFor(detail::kMomentaryHolderPatience, [&] {
        if (MoveFileExW(from.c_str(), to.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        const DWORD e = GetLastError();
        held = holderOf(e, from, to);
        if (!held.file) {
            fail("Cannot write", target, why(e));
        }
        return false;
    });
    if (!renamed) {
        const bool newFile = held.file == HeldFile::NewFile;
        failHeld(*held.file, "Cannot write", newFile ? temporary : target, why(held.error));
    }
}

void syncDirectoryOf(const std::string&) {
    // MOVEFILE_WRITE_THROUGH returns once the rename is on the disk.
}

} // namespace detail

} // namespace quentra::core
