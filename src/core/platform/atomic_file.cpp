#include "core/platform/atomic_file.hpp"

#include "core/config_store.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quentra::core {

namespace {

std::atomic<unsigned> tempCounter{0};

std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

[[noreturn]] void fail(const std::string& what, const std::string& path,
                       const std::error_code& ec) {
    throw StoreError(what + " " + quoted(path) + ": " + ec.message());
}

// Waits a little longer each time, up to 20 ms, while another writer holds the lock.
template <class TryLock> bool waitForLock(TryLock tryLock, std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (tryLock()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
}

std::string::size_type lastSeparator(const std::string& path) {
#ifdef _WIN32
    return path.find_last_of("\\/");
#else
    return path.find_last_of('/');
#endif
}

// A fresh name in the directory of `path`, hidden on POSIX, unique per process and call.
std::string tempNameFor(const std::string& path, unsigned attempt) {
    const auto slash = lastSeparator(path);
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
#ifdef _WIN32
    const unsigned long pid = GetCurrentProcessId();
#else
    const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
    const auto stamp = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    return dir + "." + base + ".tmp-" + std::to_string(pid) + "-" +
           std::to_string(tempCounter.fetch_add(1)) + "-" + std::to_string(stamp % 1000000) + "-" +
           std::to_string(attempt);
}

#ifdef _WIN32

std::wstring widen(const std::string& s) {
    if (s.empty()) {
        return {};
    }
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

std::error_code lastError() {
    return std::error_code(static_cast<int>(GetLastError()), std::system_category());
}

bool isMissing(DWORD e) {
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND;
}

struct Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
        }
    }
};

#else

std::error_code errnoCode(int e) {
    return std::error_code(e, std::generic_category());
}

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

std::string directoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Keeps a file-size limit from killing the process during the write: SIGXFSZ is blocked on
// this thread, and one raised by our own write is taken back before the mask is restored, so
// the write fails with EFBIG and is reported like a full disk.
class FileSizeSignalGuard {
public:
    FileSizeSignalGuard() {
        sigemptyset(&set_);
        sigaddset(&set_, SIGXFSZ);
        pthread_sigmask(SIG_BLOCK, &set_, &old_);
    }
    ~FileSizeSignalGuard() {
        if (!sigismember(&old_, SIGXFSZ)) {
            sigset_t pending;
            sigemptyset(&pending);
            if (sigpending(&pending) == 0 && sigismember(&pending, SIGXFSZ)) {
                const timespec zero{};
                sigtimedwait(&set_, nullptr, &zero);
            }
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    FileSizeSignalGuard(const FileSizeSignalGuard&) = delete;
    FileSizeSignalGuard& operator=(const FileSizeSignalGuard&) = delete;

private:
    sigset_t set_{};
    sigset_t old_{};
};

#endif

} // namespace

#ifdef _WIN32

FileContent readFileIfExists(const std::string& path) {
    const std::wstring wide = widen(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD e = GetLastError();
        if (isMissing(e)) {
            return {};
        }
        fail("Cannot read", path, std::error_code(static_cast<int>(e), std::system_category()));
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        fail("Cannot read", path, std::make_error_code(std::errc::is_a_directory));
    }
    Handle file;
    file.h = CreateFileW(wide.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file.h == INVALID_HANDLE_VALUE) {
        const DWORD e = GetLastError();
        if (isMissing(e)) {
            return {};
        }
        fail("Cannot read", path, std::error_code(static_cast<int>(e), std::system_category()));
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
    const DWORD attributes = GetFileAttributesW(widen(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        fail("Cannot write", path, std::make_error_code(std::errc::is_a_directory));
    }
    return path;
}

FileLock::FileLock(const std::string& lockPath, std::chrono::milliseconds patience)
    : handle_(INVALID_HANDLE_VALUE) {
    HANDLE h = CreateFileW(widen(lockPath).c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        fail("Cannot lock", lockPath, lastError());
    }
    DWORD refusal = 0;
    const bool locked = waitForLock(
        [&] {
            OVERLAPPED at{};
            if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
                return true;
            }
            refusal = GetLastError();
            if (refusal != ERROR_LOCK_VIOLATION && refusal != ERROR_IO_PENDING) {
                CloseHandle(h);
                fail("Cannot lock", lockPath,
                     std::error_code(static_cast<int>(refusal), std::system_category()));
            }
            return false;
        },
        patience);
    if (!locked) {
        CloseHandle(h);
        fail("Cannot lock", lockPath,
             std::error_code(static_cast<int>(refusal), std::system_category()));
    }
    handle_ = h;
}

FileLock::~FileLock() {
    OVERLAPPED at{};
    UnlockFileEx(static_cast<HANDLE>(handle_), 0, 1, 0, &at);
    CloseHandle(static_cast<HANDLE>(handle_));
}

void replaceFileAtomically(const std::string& path, std::string_view bytes) {
    const std::wstring target = widen(path);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        fail("Cannot write", path, std::make_error_code(std::errc::is_a_directory));
    }
    std::string tempPath;
    Handle file;
    for (unsigned attempt = 0; file.h == INVALID_HANDLE_VALUE; ++attempt) {
        tempPath = tempNameFor(path, attempt);
        file.h = CreateFileW(widen(tempPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file.h == INVALID_HANDLE_VALUE &&
            (GetLastError() != ERROR_FILE_EXISTS || attempt >= 100)) {
            fail("Cannot write", path, lastError());
        }
    }
    const std::wstring wideTemp = widen(tempPath);
    const auto abandon = [&](const std::error_code& ec) {
        CloseHandle(file.h);
        file.h = INVALID_HANDLE_VALUE;
        DeleteFileW(wideTemp.c_str());
        fail("Cannot write", path, ec);
    };
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD wrote = 0;
        if (!WriteFile(file.h, bytes.data() + done, chunk, &wrote, nullptr)) {
            abandon(lastError());
        }
        done += wrote;
    }
    if (!FlushFileBuffers(file.h)) {
        abandon(lastError());
    }
    CloseHandle(file.h);
    file.h = INVALID_HANDLE_VALUE;
    // A reader elsewhere (the consumer, a virus scanner, a store reading without the lock) may
    // hold the target open for a moment; Windows then refuses the replace, so try again briefly.
    bool moved = false;
    for (int attempt = 0; attempt < 40 && !moved; ++attempt) {
        moved = MoveFileExW(wideTemp.c_str(), target.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        if (!moved) {
            const DWORD e = GetLastError();
            if (e != ERROR_ACCESS_DENIED && e != ERROR_SHARING_VIOLATION) {
                break;
            }
            Sleep(50);
            SetLastError(e);
        }
    }
    if (!moved) {
        const std::error_code ec = lastError();
        DeleteFileW(wideTemp.c_str());
        fail("Cannot write", path, ec);
    }
}

#else

FileContent readFileIfExists(const std::string& path) {
    // Non-blocking open, so that a pipe at the path cannot stall the reader.
    Fd file;
    file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (file.fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return {};
        }
        fail("Cannot read", path, errnoCode(errno));
    }
    struct stat st {};
    if (::fstat(file.fd, &st) != 0) {
        fail("Cannot read", path, errnoCode(errno));
    }
    if (S_ISDIR(st.st_mode)) {
        fail("Cannot read", path, errnoCode(EISDIR));
    }
    if (!S_ISREG(st.st_mode)) {
        throw StoreError("Cannot read " + quoted(path) + ": not an ordinary file");
    }
    FileContent out;
    out.exists = true;
    if (st.st_size > 0) {
        out.bytes.reserve(static_cast<std::size_t>(st.st_size));
    }
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(file.fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("Cannot read", path, errnoCode(errno));
        }
        if (got == 0) {
            break;
        }
        out.bytes.append(buffer, static_cast<std::size_t>(got));
    }
    return out;
}

std::string resolveWriteTarget(const std::string& path) {
    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved == nullptr) {
            throw StoreError("Cannot write " + quoted(path) +
                             ": the symbolic link leads to no file: " + errnoCode(errno).message());
        }
        target = resolved;
        std::free(resolved);
    }
    // Refused here, before a lock file appears beside something that cannot be replaced.
    if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode)) {
            fail("Cannot write", path, errnoCode(EISDIR));
        }
        throw StoreError("Cannot write " + quoted(path) + ": not an ordinary file");
    }
    return target;
}

FileLock::FileLock(const std::string& lockPath, std::chrono::milliseconds patience) : fd_(-1) {
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0 && (errno == EACCES || errno == EROFS)) {
        // An existing lock file can still be locked through a read-only descriptor; when
        // there is none, the reason to report is why it could not be created.
        const int createError = errno;
        fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        if (fd < 0 && errno == ENOENT) {
            errno = createError;
        }
    }
    if (fd < 0) {
        fail("Cannot lock", lockPath, errnoCode(errno));
    }
    int refusal = 0;
    const bool locked = waitForLock(
        [&] {
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                return true;
            }
            refusal = errno;
            if (refusal != EWOULDBLOCK && refusal != EINTR) {
                ::close(fd);
                fail("Cannot lock", lockPath, errnoCode(refusal));
            }
            return false;
        },
        patience);
    if (!locked) {
        ::close(fd);
        fail("Cannot lock", lockPath, errnoCode(refusal));
    }
    fd_ = fd;
}

FileLock::~FileLock() {
    ::close(fd_); // releases the lock
}

void replaceFileAtomically(const std::string& path, std::string_view bytes) {
    struct stat existing {};
    bool exists = false;
    if (::stat(path.c_str(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode)) {
            fail("Cannot write", path, errnoCode(EISDIR));
        }
        exists = true;
    } else if (errno != ENOENT) {
        fail("Cannot write", path, errnoCode(errno));
    }

    std::string tempPath;
    Fd file;
    for (unsigned attempt = 0; file.fd < 0; ++attempt) {
        tempPath = tempNameFor(path, attempt);
        // A new file gets the usual permission bits less the umask; an existing file's bits
        // are copied below before anyone can see the new one under its name.
        file.fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                         exists ? 0600 : 0666);
        if (file.fd < 0 && (errno != EEXIST || attempt >= 100)) {
            fail("Cannot write", path, errnoCode(errno));
        }
    }
    const auto abandon = [&](int error) {
        ::close(file.fd);
        file.fd = -1;
        ::unlink(tempPath.c_str());
        fail("Cannot write", path, errnoCode(error));
    };

    if (exists) {
        if (::fchmod(file.fd, existing.st_mode & 07777) != 0) {
            abandon(errno);
        }
        // Keeping the owner only works for a privileged writer; otherwise the writer owns it.
        if (::fchown(file.fd, existing.st_uid, existing.st_gid) != 0) {
            errno = 0;
        }
    }
    {
        FileSizeSignalGuard guard;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t wrote = ::write(file.fd, bytes.data() + done, bytes.size() - done);
            if (wrote < 0) {
                if (errno == EINTR) {
                    continue;
                }
                abandon(errno);
            }
            done += static_cast<std::size_t>(wrote);
        }
    }
    if (::fsync(file.fd) != 0) {
        abandon(errno);
    }
    const int fd = file.fd;
    file.fd = -1;
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(tempPath.c_str());
        fail("Cannot write", path, errnoCode(error));
    }
    if (::rename(tempPath.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(tempPath.c_str());
        fail("Cannot write", path, errnoCode(error));
    }
    // The rename is durable only once the directory is. File systems that cannot sync a
    // directory say EINVAL; there is nothing more to do on them.
    Fd dir;
    dir.fd = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir.fd >= 0 && ::fsync(dir.fd) != 0 && errno != EINVAL && errno != ENOTSUP) {
        throw StoreError(
            "The new content of " + quoted(path) +
            " is in place but may not survive a power loss: " + errnoCode(errno).message());
    }
}

#endif

namespace {

// Matches what tempNameFor makes for a file named `base`: "." base ".tmp-" then four groups of
// digits joined by "-", and nothing else, so that another file's temporaries never match.
bool isTemporaryOf(std::string_view name, std::string_view base) {
    const std::string prefix = "." + std::string(base) + ".tmp-";
    if (!name.starts_with(prefix)) {
        return false;
    }
    name.remove_prefix(prefix.size());
    int groups = 0;
    while (!name.empty()) {
        std::size_t digits = 0;
        while (digits < name.size() && name[digits] >= '0' && name[digits] <= '9') {
            ++digits;
        }
        if (digits == 0) {
            return false;
        }
        ++groups;
        name.remove_prefix(digits);
        if (!name.empty()) {
            if (name.front() != '-') {
                return false;
            }
            name.remove_prefix(1);
            if (name.empty()) {
                return false;
            }
        }
    }
    return groups == 4;
}

} // namespace

void removeStaleTemporaries(const std::string& path) {
    namespace fs = std::filesystem;
    const auto slash = lastSeparator(path);
    const std::string dir =
        slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::error_code ec;
    fs::directory_iterator it(fs::path(std::u8string(dir.begin(), dir.end())), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::u8string name = it->path().filename().u8string();
        if (isTemporaryOf(std::string_view(reinterpret_cast<const char*>(name.data()), name.size()),
                          base)) {
            std::error_code ignored;
            fs::remove(it->path(), ignored);
        }
    }
}

} // namespace quentra::core
