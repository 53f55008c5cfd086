// Faults around Config.dat: what the file holds afterwards and what the save reports.

#include "core/platform/native_file_system.hpp"
#include "reliability_support.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <string>

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quentra::reliability {
namespace {

using test_support::commitMustFail;
using test_support::inChild;
using test_support::kCannotArrange;
using test_support::kRefused;

// A save as the window does it that must fail.
int saveMustFail(const std::string& appDir, int n, const std::string& reason) {
    core::IniFileStore store;
    core::saveSettings(store, appDir, core::settingsFromControls(jobControls(n)));
    return commitMustFail(store, reason);
}

// A foreign section large enough that no new content fits where the old one did.
std::string withForeignContent(const std::string& job) {
    std::string bytes = "; kept by hand\r\n[Tools]\r\n";
    for (int i = 0; i < 2000; ++i) {
        bytes += "Tool" + std::to_string(i) + "=value " + std::to_string(i) + "\r\n";
    }
    return bytes + job;
}

using ReliabilityFaultTest = ScratchDirTest;

TEST_F(ReliabilityFaultTest, EmptyConfigDatLoadsAsEmptyAndTakesAWholeJob) {
    writeFile(file_, "");
    core::IniFileStore store;
    core::NativeFileSystem files;
    const core::LoadedJob loaded = core::loadSettings(store, files, appDir_);
    EXPECT_TRUE(loaded.fromFile);
    EXPECT_FALSE(loaded.readError);
    EXPECT_EQ(loaded.texts[core::JobField::Address], "0");
    EXPECT_EQ(loaded.texts[core::JobField::FileName], "");
    EXPECT_EQ(loaded.listIndex, 31);

    saveJob(appDir_, 7);
    const std::string bytes = readFile(file_);
    std::string why;
    EXPECT_EQ(wholeJob(bytes, &why), 7) << why;
    EXPECT_TRUE(bytes.starts_with("[FILE INFO]\r\nType=7\r\n")) << bytes;
    EXPECT_EQ(IniOracle(bytes).lines.size(), 24u);
}

// A directory the save cannot write in, with or without the lock file an earlier save left:
// the save is refused and the file left as it was. Each commit runs in a child: one in a private
// mount namespace with the directory bound read-only (even root cannot write there), one that
// drops to an ordinary user and meets a directory without write bits (root ignores them).
enum class ReadOnlyBy { Mount, WriteBits };

struct ReadOnlyCase {
    const char* name;
    ReadOnlyBy by;
    bool lockFileExists; // an earlier save left the lock file
};

class ReliabilityReadOnlyTest : public ScratchDirTest,
                                public ::testing::WithParamInterface<ReadOnlyCase> {};

TEST_P(ReliabilityReadOnlyTest, SaveIsReportedAndTheFileIsUnchanged) {
    saveJob(appDir_, 1);
    if (!GetParam().lockFileExists) {
        fs::remove(dir_ / "Config.dat.lock");
    }
    const std::string before = readFile(file_);
    const auto entriesBefore = entries(dir_);
    const std::string dir = dir_.string();
    const std::string appDir = appDir_;
    const bool byMount = GetParam().by == ReadOnlyBy::Mount;
    if (!byMount) {
        fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec |
                                  fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    }

    const int result = inChild([&] {
        if (byMount) {
            if (::unshare(CLONE_NEWNS) != 0 ||
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount(dir.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
                ::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) !=
                    0) {
                return kCannotArrange;
            }
            return saveMustFail(appDir, 2, std::strerror(EROFS));
        }
        if ((::geteuid() == 0 && !test_support::becomeTheOrdinaryUser()) ||
            ::access(dir.c_str(), W_OK) == 0) {
            return kCannotArrange;
        }
        return saveMustFail(appDir, 2, std::strerror(EACCES));
    });
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    if (result == kCannotArrange) {
        GTEST_SKIP() << (byMount ? "no private mount namespace here"
                                 : "no unprivileged user to run the commit as");
    }
    EXPECT_EQ(result, kRefused);
    EXPECT_EQ(readFile(file_), before);
    EXPECT_EQ(entries(dir_), entriesBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReliabilityReadOnlyTest,
    ::testing::Values(ReadOnlyCase{"MountLockFileLeftByAnEarlierSave", ReadOnlyBy::Mount, true},
                      ReadOnlyCase{"MountNoLockFileYet", ReadOnlyBy::Mount, false},
                      ReadOnlyCase{"WriteBitsLockFileLeftByAnEarlierSave", ReadOnlyBy::WriteBits,
                                   true},
                      ReadOnlyCase{"WriteBitsNoLockFileYet", ReadOnlyBy::WriteBits, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Disk full during the commit: a file-size limit below the new content's size, with SIGXFSZ
// ignored or left to kill the process; and a memory file system that is really full.
enum class FullDisk { SizeLimitSignalIgnored, SizeLimitSignalDefault, FullFileSystem };

struct DiskFullCase {
    const char* name;
    FullDisk kind;
};

class ReliabilityDiskFullTest : public ScratchDirTest,
                                public ::testing::WithParamInterface<DiskFullCase> {};

TEST_P(ReliabilityDiskFullTest, SaveIsReportedAndTheFileIsUnchanged) {
    const std::string dir = dir_.string();
    const std::string appDir = appDir_;
    const fs::path file = file_;
    const FullDisk kind = GetParam().kind;

    if (kind != FullDisk::FullFileSystem) {
        saveJob(appDir_, 1);
        writeFile(file_, withForeignContent(readFile(file_)));
        const std::string before = readFile(file_);
        const auto entriesBefore = entries(dir_);
        // Once the limit is lifted, the puts the refused commit kept are written.
        const int result = inChild([&] {
            ::signal(SIGXFSZ, kind == FullDisk::SizeLimitSignalIgnored ? SIG_IGN : SIG_DFL);
            rlimit old{};
            ::getrlimit(RLIMIT_FSIZE, &old);
            const rlimit limit{4096, old.rlim_max}; // far below the file's size
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                return kCannotArrange;
            }
            core::IniFileStore store;
            core::saveSettings(store, appDir, core::settingsFromControls(jobControls(2)));
            const int reported = commitMustFail(store, std::strerror(EFBIG));
            if (reported != kRefused) {
                return reported;
            }
            if (readFile(file) != before) {
                return 10;
            }
            if (entries(dir) != entriesBefore) {
                return 11;
            }
            ::setrlimit(RLIMIT_FSIZE, &old);
            store.commit();
            return wholeJob(readFile(file)) == 2 ? kRefused : 12;
        });
        ASSERT_NE(result, kCannotArrange);
        EXPECT_EQ(result, kRefused)
            << "10: the file changed; 11: a file was left behind; 12: the retry lost the job";
        return;
    }

    // Everything happens inside the child's own mount namespace; it checks and reports.
    const int result = inChild([&] {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("qmu", dir.c_str(), "tmpfs", 0, "size=256k") != 0) {
            return kCannotArrange;
        }
        saveJob(appDir, 1);
        writeFile(file, withForeignContent(readFile(file)));
        const std::string before = readFile(file);
        // Fill what is left.
        {
            std::ofstream filler(dir + "/filler", std::ios::binary);
            const std::string block(4096, 'f');
            while (filler.write(block.data(), static_cast<std::streamsize>(block.size()))) {
            }
        }
        const auto entriesBefore = entries(dir);
        const int reported = saveMustFail(appDir, 2, "No space left on device");
        if (reported != kRefused) {
            return reported;
        }
        if (readFile(file) != before) {
            return 10;
        }
        return entries(dir) == entriesBefore ? kRefused : 11;
    });
    if (result == kCannotArrange) {
        GTEST_SKIP() << "no private mount namespace to mount a small file system in";
    }
    EXPECT_EQ(result, kRefused) << "10: the file changed; 11: a file was left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReliabilityDiskFullTest,
    ::testing::Values(DiskFullCase{"SizeLimitSignalIgnored", FullDisk::SizeLimitSignalIgnored},
                      DiskFullCase{"SizeLimitSignalDefault", FullDisk::SizeLimitSignalDefault},
                      DiskFullCase{"FullFileSystem", FullDisk::FullFileSystem}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quentra::reliability
