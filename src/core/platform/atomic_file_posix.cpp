// The POSIX side of reading, locking and atomically replacing a file.

#include "core/config_store.hpp"
#include "core/in_quotes.hpp"
#include "core/paths.hpp"
#include "core/platform/atomic_file.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quentra::core {

using detail::fail;
using detail::failHeld;
using detail::OwnedFile;
using detail::retryFor;

namespace {

std::string why(int e = errno) {
    return std::generic_category().message(e);
}

int fdOf(std::intptr_t file) {
    return static_cast<int>(file);
}

// Only an ordinary file is read or replaced.
void checkOrdinary(const std::string& what, const std::string& path, mode_t mode) {
    if (!S_ISREG(mode)) {
        fail(what, path, S_ISDIR(mode) ? why(EISDIR) : "not an ordinary file");
    }
}

// The old file's owner, group and permission bits, given to its replacement where they differ.
// The owner first, as changing it may clear mode bits. Only a privileged writer may give the file
// to another owner or group: anyone else's replace would take another user's file over, and is
// refused. A volume that keeps no owners or modes (FAT and exFAT, many network and desktop
// mounts) shows every file with the same ones and refuses to change them: ENOSYS, ENOTSUP, or
// EPERM for a file that is already the writer's. There the new file has all it can have, and the
// replace goes on as a first save does.
void keepOwnerAndMode(int file, const WriteTarget& target) {
    struct stat now {};
    if (::fstat(file, &now) != 0) {
        fail("Cannot write", target.path, why());
    }
    const auto keepsNone = [](int e) { return e == ENOSYS || e == ENOTSUP; };
    if ((now.st_uid != target.owner || now.st_gid != target.group) &&
        ::fchown(file, target.owner, target.group) != 0 &&
        !(keepsNone(errno) || (errno == EPERM && target.owner == ::geteuid()))) {
        fail("Cannot write", target.path, why());
    }
    // The new file is the writer's own: only a volume without modes refuses to change them.
    if ((now.st_mode & 07777) != target.mode && ::fchmod(file, target.mode) != 0 &&
        !(keepsNone(errno) || errno == EPERM)) {
        fail("Cannot write", target.path, why());
    }
}

} // namespace

FileContent readFileIfExists(const std::string& path) {
    // Non-blocking open, so that a pipe at the path cannot stall the reader.
    const OwnedFile file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (file.handle == -1 && (errno == ENOENT || errno == ENOTDIR)) {
        return {};
    }
    struct stat st {};
    if (file.handle == -1 || ::fstat(fdOf(file.handle), &st) != 0) {
        fail("Cannot read", path, why());
    }
    checkOrdinary("Cannot read", path, st.st_mode);
    // Read straight into the string, at the file's size and a byte more, so that the end is seen
    // without growing it; a file that grows meanwhile or says size 0 (/proc) is read in steps.
    FileContent out{true, {}};
    out.bytes.resize((st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0) + 1);
    std::size_t have = 0;
    for (ssize_t got = -1; got != 0;) {
        if (have == out.bytes.size()) {
            out.bytes.resize(have + (1 << 16));
        }
        got = ::read(fdOf(file.handle), out.bytes.data() + have, out.bytes.size() - have);
        if (got < 0 && errno != EINTR) {
            fail("Cannot read", path, why());
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
            fail("Cannot write", path, "the symbolic link leads to no file: " + why());
        }
        target.path = resolved;
        std::free(resolved);
    }
    if (::stat(target.path.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            fail("Cannot write", path, why());
        }
        return target;
    }
    checkOrdinary("Cannot write", path, st.st_mode);
    // Root may write any file, so for root the owner's write bit decides: a file chmod a-w is
    // refused as for everyone else, as the read-only attribute is on Windows. Other reasons (a
    // read-only file system) stop the write itself, with that reason.
    int refusal = ::faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) != 0 ? errno : 0;
    if (refusal == 0 && ::geteuid() == 0 && (st.st_mode & S_IWUSR) == 0) {
        refusal = EACCES;
    }
    if (refusal == EACCES || refusal == EPERM) {
        fail("Cannot write", path, why(refusal));
    }
    return {target.path, true, st.st_mode & 07777, st.st_uid, st.st_gid};
}

FileLock::FileLock(const std::string& lockPath, std::chrono::milliseconds patience)
    : file_(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666)) {
    const int createError = errno;
    if (file_.handle == -1 && (createError == EACCES || createError == EROFS)) {
        // An existing lock file can be locked through a read-only descriptor too.
        file_.handle = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    }
    if (file_.handle == -1) { // without a lock file, the reason is why it could not be created
        fail("Cannot lock", lockPath, why(errno == ENOENT ? createError : errno));
    }
    // Another holder may let go at any moment: tried again, a little later each time.
    int refusal = 0;
    const bool locked = retryFor(patience, [&] {
        if (::flock(fdOf(file_.handle), LOCK_EX | LOCK_NB) == 0) {
            return true;
        }
        refusal = errno;
        if (refusal != EWOULDBLOCK && refusal != EINTR) {
            fail("Cannot lock", lockPath, why(refusal));
        }
        return false;
    });
    if (!locked) {
        failHeld(HeldFile::Lock, "Cannot lock", lockPath, why(refusal));
    }
}

FileLock::~FileLock() = default; // closing the descriptor releases the lock

namespace detail {

OwnedFile::~OwnedFile() {
    if (handle != -1) {
        ::close(fdOf(handle));
    }
    if (!temporaryPath.empty()) {
        ::unlink(temporaryPath.c_str());
    }
}

unsigned long currentProcessId() {
    return static_cast<unsigned long>(::getpid());
}

std::intptr_t createTemporary(const std::string& path, const WriteTarget& target, bool mayBeTaken) {
    // A new file gets the usual permission bits less the umask; an existing file's bits are
    // copied (fill) before anyone can see the new one under its name.
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                            target.exists ? 0600 : 0666);
    if (file == -1 && (errno != EEXIST || !mayBeTaken)) {
        fail("Cannot write", target.path, why());
    }
    return file;
}

void fill(std::intptr_t& file, const WriteTarget& target,
          std::span<const std::string_view> pieces) {
    if (target.exists) {
        keepOwnerAndMode(fdOf(file), target);
    }
    // A file-size limit must not kill the process: SIGXFSZ is blocked on this thread during the
    // write, and one raised by it is taken back before the mask is restored, so the write fails
    // with EFBIG and is reported like a full disk.
    sigset_t fileSize{};
    sigset_t old{};
    sigemptyset(&fileSize);
    sigaddset(&fileSize, SIGXFSZ);
    pthread_sigmask(SIG_BLOCK, &fileSize, &old);
    int error = 0;
    for (std::string_view bytes : pieces) {
        while (error == 0 && !bytes.empty()) {
            const ssize_t wrote = ::write(fdOf(file), bytes.data(), bytes.size());
            error = wrote < 0 && errno != EINTR ? errno : 0;
            bytes.remove_prefix(wrote > 0 ? static_cast<std::size_t>(wrote) : 0);
        }
    }
    if (!sigismember(&old, SIGXFSZ)) {
        const timespec zero{};
        sigtimedwait(&fileSize, nullptr, &zero); // takes a pending one, or returns at once
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (error != 0 || ::fsync(fdOf(file)) != 0 || ::close(fdOf(std::exchange(file, -1))) != 0) {
        fail("Cannot write", target.path, why(error != 0 ? error : errno));
    }
}

void putInPlace(const std::string& temporary, const std::string& target) {
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        fail("Cannot write", target, why());
    }
}

void syncDirectoryOf(const std::string& path) {
    // The rename is durable only once the directory is. File systems that cannot sync a
    // directory say EINVAL; there is nothing more to do on them.
    const OwnedFile file(::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (file.handle != -1 && ::fsync(fdOf(file.handle)) != 0 && errno != EINVAL &&
        errno != ENOTSUP) {
        throw NotDurableError("Cannot flush the folder of " + inQuotes(path) + ": " + why());
    }
}

} // namespace detail

} // namespace quentra::core
