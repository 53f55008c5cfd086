// A saving process killed at random instants: Config.dat is always the whole old job or the
// whole new one, with the foreign content intact.

#include "reliability_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <random>
#include <string>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quentra::reliability {
namespace {

using ReliabilityCrashTest = ScratchDirTest;

// Kills at random instants. The saver says when each save begins and ends, so that each kill's
// outcome is known: the newest job it began whole, or (killed inside that save) the job before.
constexpr int kKills = 200;

constexpr char kBegin = 'b';
constexpr char kEnd = 'e';

// Saves jobs first, first + 1, ... for ever, writing kBegin to `out` before each save and kEnd
// after it.
[[noreturn]] void saveUntilKilled(const std::string& appDir, int first, int out) {
    for (int n = first;; ++n) {
        if (::write(out, &kBegin, 1) != 1) {
            ::_exit(4);
        }
        try {
            saveJob(appDir, n);
        } catch (...) {
            ::_exit(3);
        }
        if (::write(out, &kEnd, 1) != 1) {
            ::_exit(4);
        }
    }
}

TEST_F(ReliabilityCrashTest, HeavyKilledSaverLeavesTheOldOrTheNewJobWhole) {
    // Foreign content large enough that a write takes a while and a kill can land inside it.
    std::string foreign = "; notes kept by hand\r\n[Tools]\r\n";
    for (int i = 0; i < 5000; ++i) {
        foreign += "Tool" + std::to_string(i) + "=some value " + std::to_string(i) + "\r\n";
    }
    writeFile(file_, foreign);
    saveJob(appDir_, 0);
    const std::string base = readFile(file_);

    // How long one save takes here, so that the kills spread over the whole of a save. Only
    // where a kill lands depends on it, never whether the test passes.
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i) {
        saveJob(appDir_, 0);
    }
    const auto perSave = std::chrono::duration_cast<std::chrono::microseconds>(
        (std::chrono::steady_clock::now() - t0) / 5);
    ASSERT_EQ(readFile(file_), base);

    std::mt19937 random(20261208);
    std::uniform_int_distribution<long> delay(0, std::max<long>(100, perSave.count()));
    int last = 0; // the job the file held before the current child started
    int inside = 0;
    for (int i = 1; i <= kKills; ++i) {
        const int first = last + 1;
        int marks[2];
        ASSERT_EQ(::pipe2(marks, O_CLOEXEC), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(marks[0]);
            saveUntilKilled(appDir_, first, marks[1]);
        }
        ::close(marks[1]);
        char mark = 0;
        ASSERT_EQ(::read(marks[0], &mark, 1), 1) << "the saver did not begin";
        ::usleep(static_cast<useconds_t>(delay(random)));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saver stopped by itself, status " << status;
        int begun = 1;
        char buffer[256];
        for (ssize_t got; (got = ::read(marks[0], buffer, sizeof buffer)) > 0;) {
            begun += static_cast<int>(std::count(buffer, buffer + got, kBegin));
            mark = buffer[got - 1];
        }
        ::close(marks[0]);
        const int newest = first + begun - 1;
        inside += mark == kBegin ? 1 : 0;

        const std::string bytes = readFile(file_);
        std::string why;
        const auto job = wholeJob(bytes, &why);
        ASSERT_TRUE(job) << "after kill " << i << ": " << why;
        ASSERT_TRUE(*job == newest || (mark == kBegin && *job == newest - 1))
            << "after kill " << i << " the file holds job " << *job << "; the saver began "
            << newest << (mark == kBegin ? " and was killed inside it" : " and ended it");
        ASSERT_EQ(outsideDifference(base, bytes, jobKeyNames()), "") << "after kill " << i;
        last = *job;
    }
    // The next save clears what killed commits left behind.
    saveJob(appDir_, last + 1);
    EXPECT_EQ(strayFiles(), std::set<std::string>{});
    EXPECT_EQ(wholeJob(readFile(file_)), last + 1);

    std::printf("%d kills, %d inside a save, each left the old or the new job whole\n", kKills,
                inside);
}

} // namespace
} // namespace quentra::reliability
