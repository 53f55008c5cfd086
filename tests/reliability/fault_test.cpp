// Faults around Config.dat: what the file holds afterwards and what the save reports.

#include "core/platform/native_file_system.hpp"
#include "reliability_support.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quentra::reliability {
namespace {

// Runs `body` in a child process and gives its exit status (or 128 + signal).
int inChild(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int code = 2;
        try {
            code = body();
        } catch (...) {
            code = 4;
        }
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

constexpr int kReported = 0;    // the save threw StoreError, as it should
constexpr int kNotReported = 1; // the save claimed success
constexpr int kCannotFault = 77;

// A save that must fail: kReported when it throws StoreError naming `reason`.
int saveMustFail(const std::string& appDir, int n, const std::string& reason) {
    try {
        saveJob(appDir, n);
    } catch (const core::StoreError& e) {
        const std::string what = e.what();
        if (what.find(reason) == std::string::npos) {
            std::fprintf(stderr, "reported, but without \"%s\": %s\n", reason.c_str(), e.what());
            return 3;
        }
        return kReported;
    }
    return kNotReported;
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

TEST_F(ReliabilityFaultTest, ConfigDatThatIsADirectoryIsReportedAndStaysADirectory) {
    fs::create_directory(file_);
    writeFile(file_ / "inside", "x");
    core::IniFileStore store;
    core::NativeFileSystem files;
    const core::LoadedJob loaded = core::loadSettings(store, files, appDir_);
    EXPECT_FALSE(loaded.fromFile); // a directory of that name counts as absent
    EXPECT_EQ(saveMustFail(appDir_, 1, "directory"), kReported);
    EXPECT_TRUE(fs::is_directory(file_));
    EXPECT_EQ(entries(file_), std::set<std::string>{"inside"});
    EXPECT_EQ(strayFiles(), std::set<std::string>{});
}

// Things at the path of Config.dat that are no file to replace: Load takes the defaults without
// blocking, Save is refused with the reason, and the thing stays as it was.
struct NotAFileCase {
    const char* name;
    std::function<void(const fs::path& dir, const fs::path& file)> make;
    const char* reason;
};

const NotAFileCase kNotAFile[] = {
    {"DanglingSymbolicLink",
     [](const fs::path& dir, const fs::path& file) {
         fs::create_symlink(dir / "missing" / "Config.dat", file);
     },
     "link"},
    {"SymbolicLinkLoop",
     [](const fs::path&, const fs::path& file) { fs::create_symlink(file, file); }, "link"},
    {"SymbolicLinkToADirectory",
     [](const fs::path& dir, const fs::path& file) {
         fs::create_directory(dir / "sub");
         fs::create_symlink(dir / "sub", file);
     },
     "directory"},
    {"NamedPipe",
     [](const fs::path&, const fs::path& file) { ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0); },
     "not an ordinary file"},
};

class ReliabilityNotAFileTest : public ScratchDirTest,
                                public ::testing::WithParamInterface<NotAFileCase> {};

TEST_P(ReliabilityNotAFileTest, LoadTakesTheDefaultsAndSaveIsRefused) {
    GetParam().make(dir_, file_);
    const auto type = fs::symlink_status(file_).type();
    const auto entriesBefore = entries(dir_);
    core::IniFileStore store;
    core::NativeFileSystem files;
    const core::LoadedJob loaded = core::loadSettings(store, files, appDir_);
    EXPECT_FALSE(loaded.fromFile);
    EXPECT_EQ(loaded.listIndex, 9);

    EXPECT_EQ(saveMustFail(appDir_, 1, GetParam().reason), kReported);
    EXPECT_EQ(fs::symlink_status(file_).type(), type);
    EXPECT_EQ(entries(dir_), entriesBefore);
}

INSTANTIATE_TEST_SUITE_P(Table, ReliabilityNotAFileTest, ::testing::ValuesIn(kNotAFile),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReliabilityFaultTest, EmptyConfigDatLoadsAsEmptyAndTakesAWholeJob) {
    writeFile(file_, "");
    core::IniFileStore store;
    core::NativeFileSystem files;
    const core::LoadedJob loaded = core::loadSettings(store, files, appDir_);
    EXPECT_TRUE(loaded.fromFile);
    EXPECT_FALSE(loaded.readError);
    EXPECT_EQ(loaded.address, "0");
    EXPECT_EQ(loaded.fileName, "");
    EXPECT_EQ(loaded.listIndex, 31);

    saveJob(appDir_, 7);
    const std::string bytes = readFile(file_);
    std::string why;
    EXPECT_EQ(wholeJob(bytes, &why), 7) << why;
    EXPECT_TRUE(bytes.starts_with("[FILE INFO]\r\nType=7\r\n")) << bytes;
    EXPECT_EQ(IniOracle(bytes).lines.size(), 24u);
}

// A read-only bind mount of the directory in a private mount namespace: even root cannot
// write there. Without the namespace (no privilege), a directory without write bits does it.
struct ReadOnlyCase {
    const char* name;
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

    int result = inChild([&] {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount(dir.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) !=
                0) {
            return kCannotFault;
        }
        return saveMustFail(appDir, 2, "Read-only file system");
    });
    if (result == kCannotFault) {
        if (::geteuid() == 0) {
            GTEST_SKIP() << "no private mount namespace here, and root ignores write bits";
        }
        fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
        result = saveMustFail(appDir_, 2, "ermission denied");
        fs::permissions(dir_, fs::perms::owner_all);
    }
    EXPECT_EQ(result, kReported);
    EXPECT_EQ(readFile(file_), before);
    EXPECT_EQ(entries(dir_), entriesBefore);
}

INSTANTIATE_TEST_SUITE_P(Table, ReliabilityReadOnlyTest,
                         ::testing::Values(ReadOnlyCase{"LockFileLeftByAnEarlierSave", true},
                                           ReadOnlyCase{"NoLockFileYet", false}),
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
        const int result = inChild([&] {
            ::signal(SIGXFSZ, kind == FullDisk::SizeLimitSignalIgnored ? SIG_IGN : SIG_DFL);
            const rlimit limit{4096, 4096}; // far below the file's size
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                return kCannotFault;
            }
            return saveMustFail(appDir, 2, "too large");
        });
        ASSERT_NE(result, kCannotFault);
        EXPECT_EQ(result, kReported);
        EXPECT_EQ(readFile(file_), before);
        EXPECT_EQ(entries(dir_), entriesBefore);
        return;
    }

    // Everything happens inside the child's own mount namespace; it checks and reports.
    const int result = inChild([&] {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("qmu", dir.c_str(), "tmpfs", 0, "size=256k") != 0) {
            return kCannotFault;
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
        if (reported != kReported) {
            return reported;
        }
        if (readFile(file) != before) {
            return 10;
        }
        return entries(dir) == entriesBefore ? kReported : 11;
    });
    if (result == kCannotFault) {
        GTEST_SKIP() << "no private mount namespace to mount a small file system in";
    }
    EXPECT_EQ(result, kReported) << "10: the file changed; 11: a file was left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReliabilityDiskFullTest,
    ::testing::Values(DiskFullCase{"SizeLimitSignalIgnored", FullDisk::SizeLimitSignalIgnored},
                      DiskFullCase{"SizeLimitSignalDefault", FullDisk::SizeLimitSignalDefault},
                      DiskFullCase{"FullFileSystem", FullDisk::FullFileSystem}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quentra::reliability
