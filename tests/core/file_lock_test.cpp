// The lock beside Config.dat while another saver holds it (POSIX: flock; Windows: LockFileEx).

#include "core/config_store.hpp"
#include "core/platform/atomic_file.hpp"
#include "core/platform/ini_file_store.hpp"
#include "support/settings_file_support.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#ifdef __linux__
#include <poll.h>
#include <sys/inotify.h>
#endif
#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace quentra::core {
namespace {

namespace fs = std::filesystem;

using test_support::readFile;

// Another saver holding the lock beside Config.dat, in this process or in another: past its
// patience the lock gives up with FileInUseError (which a commit passes on) naming the lock
// file and the system's reason, and it is taken once the holder lets go. A commit made while
// the lock is held waits, writes nothing, and goes through once the holder lets go.
struct LockHolderCase {
    const char* name;
    // Takes the lock at the path; gives what lets go of it.
    std::function<std::function<void()>(const std::string& lockPath)> hold;
};

void PrintTo(const LockHolderCase& c, std::ostream* os) {
    *os << c.name;
}

class LockHeldElsewhere : public test_support::IniFileStoreTest,
                          public ::testing::WithParamInterface<LockHolderCase> {};

TEST_P(LockHeldElsewhere, GivesUpWithFileInUseAndIsTakenOnceLetGo) {
    const std::string lockPath = file_.string() + ".lock";
    const std::function<void()> letGo = GetParam().hold(lockPath);
    try {
        const FileLock second(lockPath, std::chrono::milliseconds(50));
        ADD_FAILURE() << "locked while another holds the lock";
    } catch (const FileInUseError& e) {
        const std::string what = e.what();
        EXPECT_TRUE(what.starts_with("Cannot lock \"" + lockPath + "\": ")) << what;
#ifndef _WIN32
        EXPECT_EQ(what, "Cannot lock \"" + lockPath + "\": " + std::strerror(EWOULDBLOCK));
#endif
    }

    IniFileStore store;
    put(store, "Type", "1");
#ifdef __linux__
    // The commit's open of the lock file says that it has come to the lock, on a busy machine
    // too; a byte on `done` that it returned.
    int done[2];
    ASSERT_EQ(::pipe(done), 0);
    const int opens = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(opens, lockPath.c_str(), IN_OPEN), 0);
#endif
    std::atomic<bool> returned{false};
    std::atomic<bool> released{false};
    std::thread committer([&] {
        store.commit(); // waits for the holder, then writes
        EXPECT_TRUE(released.load()) << "committed while the lock was held";
        returned = true;
#ifdef __linux__
        (void)!::write(done[1], "x", 1);
#endif
    });
#ifdef __linux__
    pollfd events[] = {{opens, POLLIN, 0}, {done[0], POLLIN, 0}};
    EXPECT_GT(::poll(events, 2, -1), 0);
    EXPECT_TRUE(events[0].revents & POLLIN) << "the commit returned without opening the lock";
#else
    // Windows tells no one of an open: the commit is given the time to come to the lock.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
#endif
    EXPECT_FALSE(returned.load()) << "the commit returned while the lock was held";
    EXPECT_FALSE(fs::exists(file_)) << "written while the lock was held";
    released = true;
    letGo();
    committer.join();
#ifdef __linux__
    for (const int fd : {opens, done[0], done[1]}) {
        ::close(fd);
    }
#endif
    EXPECT_EQ(readFile(file_), "[FILE INFO]\r\nType=1\r\n");
    EXPECT_NO_THROW(FileLock{lockPath});
}

std::function<void()> holdInThisProcess(const std::string& lockPath) {
    auto held = std::make_shared<std::optional<FileLock>>();
    held->emplace(lockPath);
    return [held] { held->reset(); };
}

#ifndef _WIN32
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

#endif

const LockHolderCase kHolders[] = {
    {"AnotherSaverInThisProcess", holdInThisProcess},
#ifndef _WIN32
    {"AnotherProcess", holdInAnotherProcess},
#endif
};

INSTANTIATE_TEST_SUITE_P(Table, LockHeldElsewhere, ::testing::ValuesIn(kHolders),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quentra::core
