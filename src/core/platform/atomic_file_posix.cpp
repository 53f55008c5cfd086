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
#include <sys/stat.h>
#include <unistd.h>

namespace quentra::core {

using detail::fail;
using detail::OwnedFile;

namespace {

std::error_code errnoCode(int e = errno) {
    return std::error_code(e, std::generic_category());
}

int fdOf(const OwnedFile& file) {
    return static_cast<int>(file.get());
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
        sigset_t pending;
        sigemptyset(&pending);
        if (!sigismember(&old_, SIGXFSZ) && sigpending(&pending) == 0 &&
            sigismember(&pending, SIGXFSZ)) {
            const timespec zero{};
            sigtimedwait(&set_, nullptr, &zero);
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
    return ::geteuid() == 0 && (st.st_mode & S_IWUSR) == 0 ? EACCES : 0;
}

} // namespace

FileContent readFileIfExists(const std::string& path) {
    // Non-blocking open, so that a pipe at the path cannot stall the reader.
    const OwnedFile file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat st {};
    if (!file.isOpen()) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return {};
        }
        fail("Cannot read", path, errnoCode());
    }
    if (::fstat(fdOf(file), &st) != 0) {
        fail("Cannot read", path, errnoCode());
    }
    if (S_ISDIR(st.st_mode)) {
        fail("Cannot read", path, errnoCode(EISDIR));
    }
    if (!S_ISREG(st.st_mode)) {
        fail("Cannot read", path, "not an ordinary file");
    }
    // Read straight into the string, at the size the file has now and a byte more, so that the
    // end is seen without growing it; a file that grows meanwhile (or reports no size, as some
    // special files do) is read on in steps.
    FileContent out{true, {}};
    const std::size_t expected = (st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0) + 1;
    out.bytes.resize(expected);
    std::size_t have = 0;
    for (;;) {
        if (have == out.bytes.size()) {
            out.bytes.resize(have + (1 << 16));
        }
        const ssize_t got = ::read(fdOf(file), out.bytes.data() + have, out.bytes.size() - have);
        if (got == 0) {
            break;
        }
        if (got < 0 && errno != EINTR) {
            fail("Cannot read", path, errnoCode());
        }
        have += got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    out.bytes.resize(have);
    return out;
}

WriteTarget checkWriteTarget(const std::string& path) {
    WriteTarget target{path};
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved == nullptr) {
            fail("Cannot write", path,
                 "the symbolic link leads to no file: " + errnoCode().message());
        }
        target.path = resolved;
        std::free(resolved);
    }
    if (::stat(target.path.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            fail("Cannot write", path, errnoCode());
        }
        return target;
    }
    if (S_ISDIR(st.st_mode)) {
        fail("Cannot write", path, errnoCode(EISDIR));
    }
    if (!S_ISREG(st.st_mode)) {
        fail("Cannot write", path, "not an ordinary file");
    }
    if (const int refusal = writeProtection(target.path, st)) {
        fail("Cannot write", path, errnoCode(refusal));
    }
    return {target.path, true, st.st_mode & 07777, st.st_uid, st.st_gid};
}

FileLock::FileLock(const std::string& lockPath, std::chrono::milliseconds patience) {
    OwnedFile file(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666));
    if (!file.isOpen() && (errno == EACCES || errno == EROFS)) {
        // An existing lock file can still be locked through a read-only descriptor; when
        // there is none, the reason to report is why it could not be created.
        const int createError = errno;
        file.reset(::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
        if (!file.isOpen() && errno == ENOENT) {
            errno = createError;
        }
    }
    if (!file.isOpen()) {
        fail("Cannot lock", lockPath, errnoCode());
    }
    int refusal = 0;
    const auto locked = [&] {
        if (::flock(fdOf(file), LOCK_EX | LOCK_NB) == 0) {
            return true;
        }
        refusal = errno;
        if (refusal != EWOULDBLOCK && refusal != EINTR) {
            fail("Cannot lock", lockPath, errnoCode(refusal));
        }
        return false;
    };
    if (!detail::keepTrying(locked, patience)) {
        detail::failInUse("Cannot lock", lockPath, errnoCode(refusal));
    }
    handle_ = file.release();
}

FileLock::~FileLock() {
    detail::closeFile(handle_); // releases the lock
}

namespace detail {

void closeFile(std::intptr_t file) noexcept {
    ::close(static_cast<int>(file));
}

void removeFile(const std::string& path) noexcept {
    ::unlink(path.c_str());
}

unsigned long currentProcessId() {
    return static_cast<unsigned long>(::getpid());
}

TemporaryFile::TemporaryFile(const WriteTarget& target) : target_(target.path) {
    for (unsigned attempt = 0; !file_.isOpen(); ++attempt) {
        path_ = temporaryNameFor(target_, attempt);
        // A new file gets the usual permission bits less the umask; an existing file's bits
        // are copied below before anyone can see the new one under its name.
        file_.reset(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                           target.exists ? 0600 : 0666));
        if (!file_.isOpen() && (errno != EEXIST || attempt >= 100)) {
            path_.clear(); // nothing of ours to remove
            fail(errnoCode());
        }
    }
    // The owner first, as changing it may clear mode bits. Only a privileged writer may give
    // the file to another owner or group; for anyone else the replace would silently take the
    // file over, so it is refused.
    if (target.exists && (::fchown(fdOf(file_), target.owner, target.group) != 0 ||
                          ::fchmod(fdOf(file_), target.mode) != 0)) {
        const std::error_code ec = errnoCode();
        file_.close();
        removeFile(path_); // no destructor runs for a constructor that throws
        fail(ec);
    }
}

void TemporaryFile::write(std::string_view bytes) {
    const FileSizeSignalGuard guard;
    while (!bytes.empty()) {
        const ssize_t wrote = ::write(fdOf(file_), bytes.data(), bytes.size());
        if (wrote < 0 && errno != EINTR) {
            fail(errnoCode());
        }
        bytes.remove_prefix(wrote > 0 ? static_cast<std::size_t>(wrote) : 0);
    }
}

void TemporaryFile::flush() {
    if (::fsync(fdOf(file_)) != 0 || ::close(static_cast<int>(file_.release())) != 0) {
        fail(errnoCode());
    }
}

void TemporaryFile::commit() {
    if (::rename(path_.c_str(), target_.c_str()) != 0) {
        fail(errnoCode());
    }
    path_.clear();
}

void syncDirectoryOf(const std::string& path) {
    // The rename is durable only once the directory is. File systems that cannot sync a
    // directory say EINVAL; there is nothing more to do on them.
    const std::string_view directory = splitPath(path).directory;
    const std::string dir = directory.empty() ? std::string(".") : std::string(directory);
    const OwnedFile file(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (file.isOpen() && ::fsync(fdOf(file)) != 0 && errno != EINVAL && errno != ENOTSUP) {
        throw StoreError(
            "The new content of \"" + path +
            "\" is in place but may not survive a power loss: " + errnoCode().message());
    }
}

} // namespace detail

} // namespace quentra::core
