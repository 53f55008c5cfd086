// Several processes save different jobs at once while another adds foreign keys: the file
// always parses with one job whole, and no foreign key is lost.

#include "reliability_support.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace quentra::reliability {
namespace {

using ReliabilityConcurrencyTest = ScratchDirTest;

constexpr int kSavers = 4;
constexpr int kSavesEach = 25;
constexpr int kForeignKeys = 60;

std::string foreignKey(int i) {
    return "Foreign " + std::to_string(i);
}
std::string foreignValue(int i) {
    return "value of " + std::to_string(i);
}

TEST_F(ReliabilityConcurrencyTest, SaversAndAForeignWriterLoseNothing) {
    saveJob(appDir_, 0);
    const std::string path = core::configFilePath(appDir_);

    std::vector<pid_t> children;
    for (int s = 0; s < kSavers; ++s) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            try {
                for (int i = 0; i < kSavesEach; ++i) {
                    saveJob(appDir_, 1000 + s);
                }
            } catch (...) {
                ::_exit(3);
            }
            ::_exit(0);
        }
        children.push_back(pid);
    }
    // The foreign writer: keys of its own section and of "FILE INFO", one commit each.
    const pid_t foreign = ::fork();
    if (foreign == 0) {
        try {
            for (int i = 0; i < kForeignKeys; ++i) {
                const std::string section(i % 2 == 0 ? "Foreign" : core::kSectionName);
                core::IniFileStore store;
                test_support::putKey(store, path, foreignKey(i), foreignValue(i), section);
                store.commit();
                // Just committed, it reads back: no other writer's rename brought back a
                // state from before it.
                core::IniFileStore reader;
                if (test_support::getKey(reader, path, foreignKey(i), section) != foreignValue(i)) {
                    ::_exit(4);
                }
            }
        } catch (...) {
            ::_exit(3);
        }
        ::_exit(0);
    }
    children.push_back(foreign);

    // While they run, every state of the file that a reader can see holds one job whole.
    int snapshots = 0;
    std::string why;
    for (bool allDone = false; !allDone;) {
        // Looked at before the read, so that the last read sees the final state.
        allDone = true;
        for (const pid_t pid : children) {
            siginfo_t info{};
            if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
                info.si_pid == 0) {
                allDone = false;
            }
        }
        const std::string bytes = readFile(file_);
        ++snapshots;
        if (!wholeJob(bytes, &why)) {
            ADD_FAILURE() << "snapshot " << snapshots << ": " << why;
            break;
        }
    }
    for (const pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "a writer failed (4: a committed key was reverted)";
    }

    const std::string bytes = readFile(file_);
    const auto job = wholeJob(bytes, &why);
    ASSERT_TRUE(job) << why;
    EXPECT_GE(*job, 1000);
    EXPECT_LT(*job, 1000 + kSavers);
    const IniOracle file(bytes);
    int kept = 0;
    for (int i = 0; i < kForeignKeys; ++i) {
        const auto got = file.value(i % 2 == 0 ? "Foreign" : core::kSectionName, foreignKey(i));
        EXPECT_EQ(got, foreignValue(i)) << foreignKey(i);
        kept += got == foreignValue(i) ? 1 : 0;
    }
    EXPECT_EQ(strayFiles(), std::set<std::string>{});
    std::printf("%d concurrent saves by %d processes and %d foreign commits; %d snapshots read "
                "whole; %d of %d foreign keys kept; job %d won\n",
                kSavers * kSavesEach, kSavers, kForeignKeys, snapshots, kept, kForeignKeys, *job);
}

} // namespace
} // namespace quentra::reliability
