// The POSIX side of reading, locking and atomically replacing a file.

#include "core/config_store.hpp"
#include "core/paths.hpp"
#include "core/platform/atomic_file.hpp"
#include "core/platform/temporary_file.hpp"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quentra::core {

using detail::fail;

namespace {

std::error_code errnoCode(int e) {
    return std::error_code(e, std::generic_category());
}

struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

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

// The reason a write to the existing file `path` is refused, or 0. Root may write any file, so
// for root the file's own bits decide: a file its owner may not write (chmod a-w) is refused
// as it is for everyone else, which is what the read-only attribute does on Windows.
int writeProtection(const std::string& path, const struct stat& st) {
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
        // Other reasons (a read-only file system) stop the write itself, with that reason.
        return errno == EACCES || errno == EPERM ? errno : 0;
    }
    if (::geteuid() == 0 && (st.st_mode & S_IWUSR) == 0) {
        return EACCES;
    }
    return 0;
}

// Whether a file exists at `target` (its status in `st`); throws for what may not be replaced.
bool statReplaceable(const std::string& target, struct stat& st) {
    if (::stat(target.c_str(), &st) != 0) {
        if (errno == ENOENT) {
            return false;
        }
        fail("Cannot write", target, errnoCode(errno));
    }
    if (S_ISDIR(st.st_mode)) {
        fail("Cannot write", target, errnoCode(EISDIR));
    }
    if (const int refusal = writeProtection(target, st)) {
        fail("Cannot write", target, errnoCode(refusal));
    }
    return true;
}

// Gives the fresh memory of a large buffer its pages in one call, where the system can, instead
// of one page fault per page as it is first written: on a virtual machine each fault is costly,
// and a large settings file's buffer has thousands of pages.
void populate(char* data, std::size_t size) {
#ifdef MADV_POPULATE_WRITE
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + page - 1) / page * page;
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + size) / page * page;
    if (end > begin + page) {
        // A refusal (an older kernel) only leaves the pages to come one fault at a time.
        (void)::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
    }
#else
    (void)data;
    (void)size;
#endif
}

} // namespace

FileContent readFileIfExists(const std::string& path) {
    // Non-blocking open, so that a pipe at the path cannot stall the reader.
    const Fd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
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
        fail("Cannot read", path, "not an ordinary file");
    }
    FileContent out;
    out.exists = true;
    // Read straight into the string, at the size the file has now and a byte more, so that the
    // end is seen without growing it; a file that grows meanwhile (or reports no size, as some
    // special files do) is read on in steps.
    const std::size_t expected = (st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0) + 1;
    out.bytes.reserve(expected);
    populate(out.bytes.data(), expected);
    out.bytes.resize(expected);
    std::size_t have = 0;
    for (;;) {
        if (have == out.bytes.size()) {
            out.bytes.resize(have + (1 << 16));
        }
        const ssize_t got = ::read(file.fd, out.bytes.data() + have, out.bytes.size() - have);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("Cannot read", path, errnoCode(errno));
        }
        if (got == 0) {
            break;
        }
        have += static_cast<std::size_t>(got);
    }
    out.bytes.resize(have);
    return out;
}

std::string resolveWriteTarget(const std::string& path) {
    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved == nullptr) {
            fail("Cannot write", path,
                 "the symbolic link leads to no file: " + errnoCode(errno).message());
        }
        target = resolved;
        std::free(resolved);
    }
    // Refused here, before a lock file appears beside something that cannot be replaced.
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            fail("Cannot write", path, errnoCode(EISDIR));
        }
        if (!S_ISREG(st.st_mode)) {
            fail("Cannot write", path, "not an ordinary file");
        }
        if (const int refusal = writeProtection(target, st)) {
            fail("Cannot write", path, errnoCode(refusal));
        }
    }
    return target;
}

FileLock::FileLock(const std::string& lockPath, std::chrono::milliseconds patience) : handle_(-1) {
    Fd file(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666));
    if (file.fd < 0 && (errno == EACCES || errno == EROFS)) {
        // An existing lock file can still be locked through a read-only descriptor; when
        // there is none, the reason to report is why it could not be created.
        const int createError = errno;
        file.fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        if (file.fd < 0 && errno == ENOENT) {
            errno = createError;
        }
    }
    if (file.fd < 0) {
        fail("Cannot lock", lockPath, errnoCode(errno));
    }
    int refusal = 0;
    const bool locked = detail::waitForLock(
        [&] {
            if (::flock(file.fd, LOCK_EX | LOCK_NB) == 0) {
                return true;
            }
            refusal = errno;
            if (refusal != EWOULDBLOCK && refusal != EINTR) {
                fail("Cannot lock", lockPath, errnoCode(refusal));
            }
            return false;
        },
        patience);
    if (!locked) {
        fail("Cannot lock", lockPath, errnoCode(refusal));
    }
    handle_ = file.fd;
    file.fd = -1;
}

FileLock::~FileLock() {
    ::close(static_cast<int>(handle_)); // releases the lock
}

namespace detail {

unsigned long currentProcessId() {
    return static_cast<unsigned long>(::getpid());
}

void checkReplaceable(const std::string& target) {
    struct stat st {};
    statReplaceable(target, st);
}

TemporaryFile::TemporaryFile(const std::string& target) : target_(target), handle_(-1) {
    struct stat existing {};
    const bool exists = statReplaceable(target, existing);
    for (unsigned attempt = 0; !open_; ++attempt) {
        path_ = temporaryNameFor(target, attempt);
        // A new file gets the usual permission bits less the umask; an existing file's bits
        // are copied below before anyone can see the new one under its name.
        const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                              exists ? 0600 : 0666);
        if (fd >= 0) {
            handle_ = fd;
            open_ = true;
        } else if (errno != EEXIST || attempt >= 100) {
            const int error = errno;
            path_.clear(); // nothing of ours to remove
            fail(errnoCode(error));
        }
    }
    // The owner first, as changing it may clear mode bits. Only a privileged writer may give
    // the file to another owner or group; for anyone else the replace would silently take the
    // file over, so it is refused.
    if (exists && (::fchown(static_cast<int>(handle_), existing.st_uid, existing.st_gid) != 0 ||
                   ::fchmod(static_cast<int>(handle_), existing.st_mode & 07777) != 0)) {
        const int error = errno;
        discard(); // no destructor runs for a constructor that throws
        fail(errnoCode(error));
    }
}

TemporaryFile::~TemporaryFile() {
    discard();
}

void TemporaryFile::discard() noexcept {
    close();
    if (!committed_ && !path_.empty()) {
        ::unlink(path_.c_str());
        path_.clear();
    }
}

void TemporaryFile::fail(const std::error_code& ec) const {
    detail::fail("Cannot write", target_, ec);
}

void TemporaryFile::close() noexcept {
    if (open_) {
        ::close(static_cast<int>(handle_));
        open_ = false;
    }
}

void TemporaryFile::write(std::string_view bytes) {
    const FileSizeSignalGuard guard;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote =
            ::write(static_cast<int>(handle_), bytes.data() + done, bytes.size() - done);
        if (wrote < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(errnoCode(errno));
        }
        done += static_cast<std::size_t>(wrote);
    }
}

void TemporaryFile::flush() {
    if (::fsync(static_cast<int>(handle_)) != 0) {
        fail(errnoCode(errno));
    }
    open_ = false;
    if (::close(static_cast<int>(handle_)) != 0) {
        fail(errnoCode(errno));
    }
}

void TemporaryFile::commit() {
    if (::rename(path_.c_str(), target_.c_str()) != 0) {
        fail(errnoCode(errno));
    }
    committed_ = true;
}

void syncDirectoryOf(const std::string& path) {
    // The rename is durable only once the directory is. File systems that cannot sync a
    // directory say EINVAL; there is nothing more to do on them.
    const std::string_view directory = splitPath(path).directory;
    const std::string dir = directory.empty() ? std::string(".") : std::string(directory);
    const Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.fd >= 0 && ::fsync(fd.fd) != 0 && errno != EINVAL && errno != ENOTSUP) {
        throw StoreError(
            "The new content of \"" + path +
            "\" is in place but may not survive a power loss: " + errnoCode(errno).message());
    }
}

} // namespace detail

} // namespace quentra::core
