// A saving process killed at random instants: Config.dat is always the whole old job or the
// whole new one, with the foreign content intact.

#include "reliability_support.hpp"

#include <gtest/gtest.h>

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

// Kills that must land inside a save, and the bound on the tries to get them. The saver says
// when each save begins and ends, so a kill counts only when it was sent between the two; the
// killer waits for a beginning before it aims, so nearly every try counts, busy machine or not.
constexpr int kKillsInsideASave = 150;
constexpr int kMaxKills = 10 * kKillsInsideASave;

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
    int kills = 0;
    int inside = 0;
    int advanced = 0;
    int insideWrite = 0;
    for (; kills < kMaxKills && inside < kKillsInsideASave; ++kills) {
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
        // The last mark the saver wrote says whether the kill came inside a save.
        char buffer[256];
        for (ssize_t got; (got = ::read(marks[0], buffer, sizeof buffer)) > 0;) {
            mark = buffer[got - 1];
        }
        ::close(marks[0]);
        if (mark == kBegin) {
            ++inside;
        }

        const std::string bytes = readFile(file_);
        ASSERT_FALSE(bytes.empty()) << "after kill " << kills;
        std::string why;
        const auto job = wholeJob(bytes, &why);
        ASSERT_TRUE(job) << "after kill " << kills << ": " << why;
        // The old job, or one the killed child saved; never an older one.
        ASSERT_TRUE(*job == last || *job >= first)
            << "after kill " << kills << " the file holds job " << *job << ", before " << last;
        const std::string outside = outsideDifference(base, bytes, jobKeyNames());
        ASSERT_EQ(outside, "") << "after kill " << kills;
        if (*job != last) {
            ++advanced;
        }
        // A temporary file of this child means the kill came between its creation and the
        // rename (its name holds the writer's process id).
        const std::string mine = ".Config.dat.tmp-" + std::to_string(pid) + "-";
        for (const auto& name : strayFiles()) {
            if (name.starts_with(mine)) {
                ++insideWrite;
                break;
            }
        }
        last = *job;
    }
    // The next save clears what killed commits left behind.
    saveJob(appDir_, last + 1);
    EXPECT_EQ(strayFiles(), std::set<std::string>{});
    EXPECT_EQ(wholeJob(readFile(file_)), last + 1);

    RecordProperty("kills", kills);
    RecordProperty("kills_inside_a_save", inside);
    RecordProperty("kills_after_progress", advanced);
    RecordProperty("kills_inside_the_write", insideWrite);
    std::printf("%d kills survived; %d inside a save; %d after the saver had saved at least once; "
                "%d inside the write of the temporary file; last job %d; one save %lld us\n",
                kills, inside, advanced, insideWrite, last,
                static_cast<long long>(perSave.count()));
    EXPECT_EQ(inside, kKillsInsideASave)
        << "only " << inside << " of " << kills << " kills came while a save was under way";
}

} // namespace
} // namespace quentra::reliability
