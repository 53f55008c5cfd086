// The store against the file system: file sizes, permissions, links, failures of the disk or
// the directory, and files a writer killed before its rename left behind.

#include "core/config_store.hpp"
#include "core/platform/atomic_file.hpp"
#include "core/platform/ini_file_store.hpp"
#include "core/platform/native_file_system.hpp"
#include "core/upgrade_settings.hpp"
#include "support/settings_file_support.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quentra::core {
namespace {

namespace fs = std::filesystem;

using test_support::entries;
using test_support::IniFileStoreTest;
using test_support::readFile;
using test_support::writeFile;

// A file is read into a buffer of its size and a byte more: every size around a page and a read
// step reads back whole, and so does a file that reports no size although it has content.
TEST_F(IniFileStoreTest, EveryFileSizeReadsBackWhole) {
    for (const std::size_t size : {0, 1, 4095, 4096, 4097, 8193, 65535, 65536, 65537, 1048579}) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) {
            bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
        }
        writeFile(file_, bytes);
        const FileContent read = readFileIfExists(file_.string());
        EXPECT_TRUE(read.exists) << size;
        EXPECT_TRUE(read.bytes == bytes) << size << " read as " << read.bytes.size();
    }
#ifdef __linux__
    const FileContent status = readFileIfExists("/proc/self/status");
    EXPECT_EQ(status.bytes.substr(0, 5), "Name:");
    EXPECT_NE(status.bytes.find("\nPid:"), std::string::npos);
#endif
}

#ifndef _WIN32

TEST_F(IniFileStoreTest, ExistingPermissionBitsAreKept) {
    writeFile(file_, "[FILE INFO]\r\nType=1\r\n");
    fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    IniFileStore store;
    put(store, "Type", "2");
    store.commit();
    struct stat st {};
    ASSERT_EQ(::stat(file_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(IniFileStoreTest, SymbolicLinkIsFollowedAndKept) {
    const fs::path real = dir_ / "real.dat";
    writeFile(real, "[FILE INFO]\r\nType=1\r\n");
    fs::create_symlink(real, file_);
    IniFileStore store;
    put(store, "Type", "2");
    store.commit();
    EXPECT_TRUE(fs::is_symlink(file_));
    EXPECT_EQ(readFile(real), "[FILE INFO]\r\nType=2\r\n");
}

TEST_F(IniFileStoreTest, UnreadableFileReadsEmptyWithTheReason) {
    fs::create_directory(file_);
    IniFileStore store;
    EXPECT_EQ(get(store, "Type"), "");
    ASSERT_TRUE(store.readError().has_value());
    EXPECT_NE(store.readError()->find(std::strerror(EISDIR)), std::string::npos)
        << *store.readError();

    // A pipe with no writer would block an ordinary open for reading.
    const fs::path pipe = dir_ / "pipe.dat";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    store.putFilePath(pipe.string());
    store.putKeyName("Type");
    EXPECT_EQ(store.getKeyValue(), "");
    EXPECT_TRUE(store.readError().has_value());

    store.putFilePath((dir_ / "absent.dat").string());
    store.putKeyName("Type");
    EXPECT_EQ(store.getKeyValue(), "");
    EXPECT_EQ(store.readError(), std::nullopt); // a missing file is no read error
}

// Things at the path of Config.dat that are no file to replace, and a lock that cannot be
// taken: Load takes the defaults without blocking, the commit is refused with the reason,
// everything stays as it was, and the puts are kept for a retry once the cause is gone.
struct FailureCase {
    const char* name;
    std::function<void(const fs::path& dir, const fs::path& file)> arrange;
    std::vector<std::string> reasons; // each a part of the message
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class IniFileStoreFailure : public IniFileStoreTest,
                            public ::testing::WithParamInterface<FailureCase> {};

TEST_P(IniFileStoreFailure, LeavesEverythingAsItWasAndKeepsThePutsForARetry) {
    GetParam().arrange(dir_, file_);
    const std::set<std::string> before = entries(dir_);
    const fs::file_type type = fs::symlink_status(file_).type();
    const std::set<std::string> inside =
        type == fs::file_type::directory ? entries(file_) : std::set<std::string>{};
    {
        IniFileStore loader;
        NativeFileSystem files;
        const LoadedJob loaded = loadSettings(loader, files, appDir_);
        EXPECT_FALSE(loaded.fromFile);
        EXPECT_EQ(loaded.listIndex, 9);
    }
    IniFileStore store;
    put(store, "Type", "6060");
    try {
        store.commit();
        FAIL() << "commit reported success";
    } catch (const StoreError& e) {
        for (const std::string& reason : GetParam().reasons) {
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(entries(dir_), before); // no temporary file left, nothing replaced
    EXPECT_EQ(fs::symlink_status(file_).type(), type);
    if (type == fs::file_type::directory) {
        EXPECT_EQ(entries(file_), inside);
    }

    // Once the cause is gone the same puts go through.
    std::error_code ec;
    fs::remove_all(file_, ec);
    fs::remove_all(dir_ / "Config.dat.lock", ec);
    store.commit();
    EXPECT_EQ(readFile(file_), "[FILE INFO]\r\nType=6060\r\n");
}

const FailureCase kFailures[] = {
    {"TargetIsADirectory",
     [](const fs::path&, const fs::path& f) {
         fs::create_directory(f);
         writeFile(f / "inside", "x");
     },
     {std::strerror(EISDIR)}},
    {"DanglingSymbolicLink",
     [](const fs::path& d, const fs::path& f) { fs::create_symlink(d / "nowhere" / "x.dat", f); },
     {"link", std::strerror(ENOENT)}},
    {"SymbolicLinkLoop",
     [](const fs::path&, const fs::path& f) { fs::create_symlink(f, f); },
     {"link"}},
    {"SymbolicLinkToADirectory",
     [](const fs::path& d, const fs::path& f) {
         fs::create_directory(d / "sub");
         fs::create_symlink(d / "sub", f);
     },
     {"directory"}},
    {"TargetIsAPipe",
     [](const fs::path&, const fs::path& f) { ASSERT_EQ(::mkfifo(f.c_str(), 0600), 0); },
     {"not an ordinary file"}},
    {"LockRefused",
     [](const fs::path& d, const fs::path&) { fs::create_directory(d / "Config.dat.lock"); },
     {std::strerror(EISDIR)}},
};

INSTANTIATE_TEST_SUITE_P(Table, IniFileStoreFailure, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFileStoreTest, CommitRemovesOnlyTemporariesLeftByAKilledWriter) {
    for (const char* name :
         {".Config.dat.tmp-123-4-56-0", ".Config.dat.tmp-1-2-3", ".Config.dat.tmp-x",
          ".Other.dat.tmp-1-2-3-4", ".Config.dat.tmp-1-2-3-4.tmp-1-2-3-4", ".Config.dat.tmp-1--2-3",
          ".Config.dat.tmp--1-2-3", ".Config.dat.tmp-1-2-3-", ".Config.dat.tmp-1-2-3-4-5"}) {
        writeFile(dir_ / name, "left over");
    }
    IniFileStore store;
    put(store, "Type", "1");
    store.commit();
    EXPECT_EQ(entries(dir_),
              (std::set<std::string>{"Config.dat", "Config.dat.lock", ".Config.dat.tmp-1-2-3",
                                     ".Config.dat.tmp-x", ".Other.dat.tmp-1-2-3-4",
                                     ".Config.dat.tmp-1-2-3-4.tmp-1-2-3-4",
                                     ".Config.dat.tmp-1--2-3", ".Config.dat.tmp--1-2-3",
                                     ".Config.dat.tmp-1-2-3-", ".Config.dat.tmp-1-2-3-4-5"}));
}

// A write-protected Config.dat, or one whose owner the writer could not keep, is refused with
// the system's reason and left as it was: content, permission bits and owner. The commit runs
// in a child; rows marked so run it as an ordinary user, which needs root to set up (root
// itself ignores permission bits, and the store then goes by the owner's write bit).
struct ProtectedCase {
    const char* name;
    fs::perms mode;      // of Config.dat, in a directory everyone may write
    bool ownedByTheUser; // Config.dat belongs to the ordinary user
    bool asOrdinaryUser; // the commit runs as the ordinary user
    int reason;          // the errno whose text the refusal carries
};

void PrintTo(const ProtectedCase& c, std::ostream* os) {
    *os << c.name;
}

class IniFileStoreProtected : public IniFileStoreTest,
                              public ::testing::WithParamInterface<ProtectedCase> {};

TEST_P(IniFileStoreProtected, RefusedWithTheReasonAndKept) {
    const ProtectedCase& c = GetParam();
    if ((c.ownedByTheUser || c.asOrdinaryUser) && ::geteuid() != 0) {
        GTEST_SKIP() << "needs root to hand the file or the commit to an ordinary user";
    }
    const std::string before = "[FILE INFO]\r\nType=1\r\n";
    writeFile(file_, before);
    fs::permissions(dir_, fs::perms::all);
    fs::permissions(file_, c.mode);
    if (c.ownedByTheUser) {
        ASSERT_EQ(::chown(file_.c_str(), test_support::kOrdinaryUser, test_support::kOrdinaryUser),
                  0);
    }
    struct stat old {};
    ASSERT_EQ(::stat(file_.c_str(), &old), 0);

    const int result = test_support::inChild([&] {
        if (c.asOrdinaryUser && !test_support::becomeTheOrdinaryUser()) {
            return test_support::kCannotArrange;
        }
        IniFileStore store;
        put(store, "Type", "2");
        return test_support::commitMustFail(store, std::strerror(c.reason));
    });
    ASSERT_NE(result, test_support::kCannotArrange) << "could not become an ordinary user";
    EXPECT_EQ(result, test_support::kRefused);
    struct stat now {};
    ASSERT_EQ(::stat(file_.c_str(), &now), 0);
    EXPECT_EQ(readFile(file_), before);
    EXPECT_EQ(now.st_ino, old.st_ino) << "the file was replaced";
    EXPECT_EQ(now.st_mode, old.st_mode);
    EXPECT_EQ(now.st_uid, old.st_uid);
    std::set<std::string> left = entries(dir_);
    left.erase("Config.dat.lock"); // taken before the owner could be tried; harmless
    EXPECT_EQ(left, std::set<std::string>{"Config.dat"});
}

constexpr auto kReadOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
constexpr auto kEveryoneWrites = fs::perms::owner_read | fs::perms::owner_write |
                                 fs::perms::group_read | fs::perms::group_write |
                                 fs::perms::others_read | fs::perms::others_write;

INSTANTIATE_TEST_SUITE_P(
    Table, IniFileStoreProtected,
    ::testing::Values(
        // Whoever runs the tests, root included.
        ProtectedCase{"ReadOnlyFile", kReadOnly, false, false, EACCES},
        ProtectedCase{"ReadOnlyFileOfAnOrdinaryUser", kReadOnly, true, true, EACCES},
        // Writable for the user, but only root could give the new file the old owner.
        ProtectedCase{"OwnerThatCannotBeKept", kEveryoneWrites, false, true, EPERM}),
    [](const auto& info) { return std::string(info.param.name); });

#endif

} // namespace
} // namespace quentra::core
