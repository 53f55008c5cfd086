// The lock beside Config.dat while another saver holds it (POSIX: flock). Windows has its row
// in windows_test.cpp.

#include "core/config_store.hpp"
#include "core/platform/atomic_file.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quentra::core {
namespace {

// Another saver holding the lock beside Config.dat, in this process or in another: past its
// patience the lock gives up with FileInUseError (which a commit passes on) naming the lock
// file and the system's reason, and it is taken once the holder lets go.
struct LockHolderCase {
    const char* name;
    // Takes the lock at the path; gives what lets go of it.
    std::function<std::function<void()>(const std::string& lockPath)> hold;
};

void PrintTo(const LockHolderCase& c, std::ostream* os) {
    *os << c.name;
}

class LockHeldElsewhere : public test_support::TempDirTest,
                          public ::testing::WithParamInterface<LockHolderCase> {};

TEST_P(LockHeldElsewhere, GivesUpWithFileInUseAndIsTakenOnceLetGo) {
    const std::string lockPath = file_.string() + ".lock";
    const std::function<void()> letGo = GetParam().hold(lockPath);
    try {
        const FileLock second(lockPath, std::chrono::milliseconds(50));
        ADD_FAILURE() << "locked while another holds the lock";
    } catch (const FileInUseError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot lock \"" + lockPath + "\": " + std::strerror(EWOULDBLOCK));
    }
    letGo();
    EXPECT_NO_THROW(FileLock{lockPath});
}

std::function<void()> holdInThisProcess(const std::string& lockPath) {
    auto held = std::make_shared<std::optional<FileLock>>();
    held->emplace(lockPath);
    return [held] { held->reset(); };
}

// A child takes the lock, says so through one pipe and holds it until the other is closed.
std::function<void()> holdInAnotherProcess(const std::string& lockPath) {
    int locked[2];
    int release[2];
    EXPECT_EQ(::pipe(locked), 0);
    EXPECT_EQ(::pipe(release), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(release[1]);
        char byte =
            ::flock(::open(lockPath.c_str(), O_RDWR | O_CREAT, 0666), LOCK_EX) == 0 ? 'y' : 'n';
        (void)!::write(locked[1], &byte, 1);
        (void)!::read(release[0], &byte, 1);
        ::_exit(0);
    }
    ::close(locked[1]);
    ::close(release[0]);
    char byte = 0;
    EXPECT_EQ(::read(locked[0], &byte, 1), 1);
    EXPECT_EQ(byte, 'y') << "the child could not take the lock";
    ::close(locked[0]);
    return [child, done = release[1]] {
        ::close(done);
        ::waitpid(child, nullptr, 0);
    };
}

INSTANTIATE_TEST_SUITE_P(Table, LockHeldElsewhere,
                         ::testing::Values(LockHolderCase{"AnotherSaverInThisProcess",
                                                          holdInThisProcess},
                                           LockHolderCase{"AnotherProcess", holdInAnotherProcess}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quentra::core
