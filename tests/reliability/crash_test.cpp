// A saving process killed at random instants: Config.dat is always the whole old job or the
// whole new one, with the foreign content intact.

#include "reliability_support.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <random>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace quentra::reliability {
namespace {

using ReliabilityCrashTest = ScratchDirTest;

constexpr int kKills = 200;

TEST_F(ReliabilityCrashTest, HeavyKilledSaverLeavesTheOldOrTheNewJobWhole) {
    // Foreign content large enough that a write takes a while and a kill can land inside it.
    std::string foreign = "; notes kept by hand\r\n[Tools]\r\n";
    for (int i = 0; i < 5000; ++i) {
        foreign += "Tool" + std::to_string(i) + "=some value " + std::to_string(i) + "\r\n";
    }
    spit(file_, foreign);
    saveJob(appDir_, 0);
    const std::string base = slurp(file_);

    // How long one save takes here, so that the kills spread over a few saves.
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i) {
        saveJob(appDir_, 0);
    }
    const auto perSave = (std::chrono::steady_clock::now() - t0) / 5;
    const auto spread = std::chrono::duration_cast<std::chrono::microseconds>(perSave * 4);
    ASSERT_EQ(slurp(file_), base);

    std::mt19937 random(20261208);
    std::uniform_int_distribution<long> delay(0, std::max<long>(1000, spread.count()));
    int last = 0; // the job the file held before the current child started
    int advanced = 0;
    int insideWrite = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        const int first = last + 1;
        const pid_t pid = ::fork();
        if (pid == 0) {
            for (int n = first;; ++n) {
                try {
                    saveJob(appDir_, n);
                } catch (...) {
                    ::_exit(3);
                }
            }
        }
        ::usleep(static_cast<useconds_t>(delay(random)));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saver stopped by itself, status " << status;

        const std::string bytes = slurp(file_);
        ASSERT_FALSE(bytes.empty()) << "after kill " << kill;
        std::string why;
        const auto job = wholeJob(bytes, &why);
        ASSERT_TRUE(job) << "after kill " << kill << ": " << why;
        // The old job, or one the killed child saved; never an older one.
        ASSERT_TRUE(*job == last || *job >= first)
            << "after kill " << kill << " the file holds job " << *job << ", before " << last;
        const std::string outside = outsideDifference(base, bytes, jobKeyNames());
        ASSERT_EQ(outside, "") << "after kill " << kill;
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
    EXPECT_EQ(wholeJob(slurp(file_)), last + 1);

    RecordProperty("kills", kKills);
    RecordProperty("kills_after_progress", advanced);
    RecordProperty("kills_inside_the_write", insideWrite);
    std::printf("%d kills survived; %d after the saver had saved at least once; %d inside the "
                "write of the temporary file; last job %d; one save %lld us\n",
                kKills, advanced, insideWrite, last,
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::microseconds>(perSave).count()));
    EXPECT_GT(advanced, kKills / 4) << "too few kills landed after a save began";
}

} // namespace
} // namespace quentra::reliability
