#include "core/config_store.hpp"
#include "core/platform/ansi_code_page.hpp"
#include "core/platform/atomic_file.hpp"
#include "core/platform/ini_file_store.hpp"
#include "core/text_encoding.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace quentra::core {
namespace {

namespace fs = std::filesystem;

using test_support::entries;
using test_support::readFile;
using test_support::writeFile;

class IniFileStoreTest : public test_support::TempDirTest {
protected:
    void put(IniFileStore& store, const std::string& key, const std::string& value) {
        store.putFilePath(file_.string());
        store.putSectionName("FILE INFO");
        store.putKeyName(key);
        store.putKeyValue(value);
    }
    std::string get(IniFileStore& store, const std::string& key) {
        store.putFilePath(file_.string());
        store.putSectionName("FILE INFO");
        store.putKeyName(key);
        return store.getKeyValue();
    }
};

TEST_F(IniFileStoreTest, TypicalSaveWritesTheConventionalLayoutAndReadsBack) {
    IniFileStore store;
    store.putFilePath(file_.string());
    store.putSectionName("FILE INFO");
    const std::vector<std::pair<std::string, std::int32_t>> numbers = {
        {"Type", 6050}, {"Address", 127}, {"File Length", 70000}, {"Block Size", 65536}};
    std::string expected = "[FILE INFO]\r\n";
    for (const auto& [key, value] : numbers) {
        store.putKeyName(key);
        store.putKeyValue(value);
        expected += key + "=" + std::to_string(value) + "\r\n";
    }
    store.putKeyName("File Name");
    store.putKeyValue(std::string("vtl_2.bin"));
    store.putKeyName("Wait");
    store.putKeyValue(std::int32_t{-2});
    store.putKeyName("Console");
    store.putKeyValue(std::int32_t{16383});
    expected += "File Name=vtl_2.bin\r\nWait=-2\r\nConsole=16383\r\n";
    for (int n = 1; n <= 16; ++n) {
        store.putKeyName("Port #" + std::to_string(n));
        store.putKeyValue(std::int32_t{15});
        expected += "Port #" + std::to_string(n) + "=15\r\n";
    }
    EXPECT_FALSE(fs::exists(file_)); // nothing reaches the file before the commit
    store.commit();
    EXPECT_EQ(readFile(file_), expected);

    IniFileStore reader;
    EXPECT_EQ(get(reader, "Type"), "6050");
    EXPECT_EQ(get(reader, "Wait"), "-2");
    EXPECT_EQ(get(reader, "File Name"), "vtl_2.bin");
    EXPECT_EQ(get(reader, "Port #16"), "15");
    EXPECT_EQ(get(reader, "Missing"), "");
    EXPECT_EQ(reader.readError(), std::nullopt);
}

TEST_F(IniFileStoreTest, PendingPutsAreVisibleAndAnEmptyCommitDoesNothing) {
    IniFileStore store;
    store.commit();
    EXPECT_TRUE(entries(dir_).empty()); // not even a lock file
    put(store, "File Name", " padded ");
    EXPECT_EQ(get(store, "file name"), " padded ");
    store.commit();
    store.commit(); // nothing left to write
    EXPECT_EQ(readFile(file_), "[FILE INFO]\r\nFile Name=\" padded \"\r\n");
}

TEST_F(IniFileStoreTest, RefusedPutRecordsNothing) {
    writeFile(file_, "[FILE INFO]\nFile Name=old\n");
    IniFileStore store;
    for (const std::string& bad :
         std::vector<std::string>{"a\rb", "a\nb", std::string("a\0b", 3)}) {
        EXPECT_THROW(put(store, "File Name", bad), StoreError);
        EXPECT_EQ(get(store, "File Name"), "old");
    }
    store.commit();
    EXPECT_EQ(readFile(file_), "[FILE INFO]\nFile Name=old\n");
}

TEST_F(IniFileStoreTest, CommitKeepsForeignContentByteForByte) {
    const std::string before = "\xEF\xBB\xBF; written by hand\n[Other]\nX = \"1\"\n\n"
                               "[FILE INFO]\nType=1\nextra=keep me\n# note\n\n[Tail]\ny=2";
    writeFile(file_, before);
    IniFileStore store;
    put(store, "Type", "6060");
    put(store, "Wait", "0");
    store.commit();
    EXPECT_EQ(readFile(file_),
              "\xEF\xBB\xBF; written by hand\n[Other]\nX = \"1\"\n\n"
              "[FILE INFO]\nType=6060\nextra=keep me\nWait=0\n# note\n\n[Tail]\ny=2");
}

TEST_F(IniFileStoreTest, ReadsOncePerFilePathAndAgainAfterCommit) {
    writeFile(file_, "[FILE INFO]\nType=1\n");
    IniFileStore store;
    EXPECT_EQ(get(store, "Type"), "1");
    writeFile(file_, "[FILE INFO]\nType=2\n");
    store.putKeyName("Type");
    EXPECT_EQ(store.getKeyValue(), "1"); // same read serves the whole Load
    EXPECT_EQ(get(store, "Type"), "2");  // naming the file again reads it again
    put(store, "Wait", "5");
    writeFile(file_, "[FILE INFO]\nType=3\n");
    store.commit(); // re-reads under the lock, so the concurrent change survives
    store.putKeyName("Type");
    EXPECT_EQ(store.getKeyValue(), "3");
    EXPECT_EQ(readFile(file_), "[FILE INFO]\nType=3\nWait=5\n");
}

TEST_F(IniFileStoreTest, TwoStoresOnOneFileKeepEachOthersKeys) {
    IniFileStore a;
    IniFileStore b;
    put(a, "Type", "1");
    put(b, "Wait", "2");
    put(b, "Type", "3");
    a.commit();
    b.commit();
    IniFileStore reader;
    EXPECT_EQ(get(reader, "Type"), "3");
    EXPECT_EQ(get(reader, "Wait"), "2");
}

TEST_F(IniFileStoreTest, ConcurrentCommitsLoseNoKey) {
    // Each thread owns a key. A committed value is never reverted by another writer, which
    // re-reads under the lock; without it a writer's rename brings back a stale value.
    constexpr int kRounds = 60;
    std::atomic<int> reverted{0};
    std::atomic<int> failed{0};
    auto worker = [&](const std::string& key) {
        IniFileStore store;
        for (int i = 1; i <= kRounds; ++i) {
            put(store, key, std::to_string(i));
            try {
                store.commit();
            } catch (const StoreError&) {
                // A refused commit must not pass for a reverted value, nor end the test run.
                ++failed;
                continue;
            }
            IniFileStore reader;
            if (get(reader, key) != std::to_string(i)) {
                ++reverted;
            }
        }
    };
    std::thread t1(worker, "A");
    std::thread t2(worker, "B");
    std::thread t3(worker, "C");
    t1.join();
    t2.join();
    t3.join();
    EXPECT_EQ(failed.load(), 0);
    EXPECT_EQ(reverted.load(), 0);
    IniFileStore reader;
    for (const char* key : {"A", "B", "C"}) {
        EXPECT_EQ(get(reader, key), std::to_string(kRounds)) << key;
    }
}

TEST_F(IniFileStoreTest, CommitWaitsForTheLockAndGivesUpAfterItsPatience) {
    const std::string lockPath = file_.string() + ".lock";
    std::optional<FileLock> held;
    held.emplace(lockPath);
    EXPECT_THROW(FileLock(lockPath, std::chrono::milliseconds(50)), StoreError);

    IniFileStore store;
    put(store, "Type", "1");
    std::atomic<bool> released{false};
    std::thread holder([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        released = true;
        held.reset();
    });
    store.commit(); // blocks until the holder lets go, then writes
    EXPECT_TRUE(released.load());
    holder.join();
    EXPECT_EQ(readFile(file_), "[FILE INFO]\r\nType=1\r\n");
}

// The consumer's view: a file without a mark is in the ANSI code page, one with FF FE is
// UTF-16LE. What Load shows is what the consumer reads, and what Save writes it reads back.
struct EncodingRow {
    const char* name;
    std::string before; // empty: no file
    std::vector<std::pair<std::string, std::string>> puts;
    std::string shownName; // what a get of "File Name" gives before the commit
    std::string after;     // empty: refused, the file left as it was
};

void PrintTo(const EncodingRow& r, std::ostream* os) {
    *os << r.name;
}

std::string utf16Text(std::string_view text) {
    std::string out = "\xFF\xFE";
    appendUtf16FromUtf8(out, text);
    return out;
}

const std::string kMelange = "M\xC3\xA9lange_2.bin";
const std::string kKanji = "\xE6\xBC\xA2\xE5\xAD\x97.bin";

class IniFileStoreEncoding : public IniFileStoreTest,
                             public ::testing::WithParamInterface<EncodingRow> {};

TEST_P(IniFileStoreEncoding, LoadShowsAndSaveWritesWhatTheConsumerReads) {
    if (systemAnsiCodePage().name() != "Windows-1252") {
        GTEST_SKIP() << "the rows are written for a Western system";
    }
    const EncodingRow& row = GetParam();
    if (!row.before.empty()) {
        writeFile(file_, row.before);
    }
    IniFileStore store;
    EXPECT_EQ(get(store, "File Name"), row.shownName);
    for (const auto& [key, value] : row.puts) {
        put(store, key, value);
    }
    if (row.after.empty()) {
        try {
            store.commit();
            FAIL() << "committed";
        } catch (const UnencodableValueError& e) {
            EXPECT_EQ(e.key, "File Name");
            EXPECT_NE(
                std::string(e.what()).find("cannot be stored in the file's encoding, Windows-1252"),
                std::string::npos)
                << e.what();
        }
        EXPECT_EQ(readFile(file_), row.before);
        EXPECT_EQ(entries(dir_), (std::set<std::string>{"Config.dat", "Config.dat.lock"}));
        return;
    }
    store.commit();
    EXPECT_EQ(readFile(file_), row.after);
    IniFileStore reader;
    for (const auto& [key, value] : row.puts) {
        EXPECT_EQ(get(reader, key), value) << key;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, IniFileStoreEncoding,
    ::testing::Values(EncodingRow{"UntouchedWindows1252NameKeepsItsBytes",
                                  "[FILE INFO]\r\nType=1\r\nFile Name=M\xE9lange_2.bin\r\n",
                                  {{"Type", "6050"}, {"File Name", kMelange}},
                                  kMelange,
                                  "[FILE INFO]\r\nType=6050\r\nFile Name=M\xE9lange_2.bin\r\n"},
                      EncodingRow{
                          "Utf16FileUpdatedInUtf16",
                          utf16Text("[FILE INFO]\r\nType=1\r\nFile Name=" + kKanji + "\r\n"),
                          {{"Type", "6050"}, {"File Name", kMelange}, {"Wait", "0"}},
                          kKanji,
                          utf16Text("[FILE INFO]\r\nType=6050\r\nFile Name=" + kMelange +
                                    "\r\nWait=0\r\n")},
                      EncodingRow{"NewFileWithAnAccentInWindows1252",
                                  "",
                                  {{"File Name", kMelange}},
                                  "",
                                  "[FILE INFO]\r\nFile Name=M\xE9lange_2.bin\r\n"},
                      EncodingRow{"NewFileWithKanjiInUtf16",
                                  "",
                                  {{"File Name", kKanji}},
                                  "",
                                  utf16Text("[FILE INFO]\r\nFile Name=" + kKanji + "\r\n")},
                      EncodingRow{"KanjiIntoAWindows1252FileRefused",
                                  "[FILE INFO]\r\nType=1\r\nFile Name=M\xE9lange_2.bin\r\n",
                                  {{"Type", "6050"}, {"File Name", kKanji}},
                                  kMelange,
                                  ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A file is read into a buffer of its size and a byte more, whose pages may be given at once:
// every size around a page and a read step reads back whole, and so does a file that reports no
// size although it has content.
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

struct FailureCase {
    const char* name;
    std::function<void(const fs::path& dir, const fs::path& file)> arrange;
    std::string reason; // part of the message
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class IniFileStoreFailure : public IniFileStoreTest,
                            public ::testing::WithParamInterface<FailureCase> {};

TEST_P(IniFileStoreFailure, LeavesEverythingAsItWasAndKeepsThePutsForARetry) {
    GetParam().arrange(dir_, file_);
    const std::set<std::string> before = entries(dir_);
    IniFileStore store;
    put(store, "Type", "6060");
    try {
        store.commit();
        FAIL() << "commit reported success";
    } catch (const StoreError& e) {
        EXPECT_NE(std::string(e.what()).find(GetParam().reason), std::string::npos) << e.what();
    }
    EXPECT_EQ(entries(dir_), before); // no temporary file left, nothing replaced
    EXPECT_FALSE(fs::is_regular_file(file_));

    // Once the cause is gone the same puts go through.
    std::error_code ec;
    fs::remove_all(file_, ec);
    fs::remove_all(dir_ / "Config.dat.lock", ec);
    store.commit();
    EXPECT_EQ(readFile(file_), "[FILE INFO]\r\nType=6060\r\n");
}

INSTANTIATE_TEST_SUITE_P(Table, IniFileStoreFailure,
                         ::testing::Values(FailureCase{"TargetIsADirectory",
                                                       [](const fs::path&, const fs::path& f) {
                                                           fs::create_directory(f);
                                                           writeFile(f / "inside", "x");
                                                       },
                                                       std::strerror(EISDIR)},
                                           FailureCase{"DanglingSymbolicLink",
                                                       [](const fs::path& d, const fs::path& f) {
                                                           fs::create_symlink(
                                                               d / "nowhere" / "x.dat", f);
                                                       },
                                                       std::strerror(ENOENT)},
                                           FailureCase{"TargetIsAPipe",
                                                       [](const fs::path&, const fs::path& f) {
                                                           ASSERT_EQ(::mkfifo(f.c_str(), 0600), 0);
                                                       },
                                                       "not an ordinary file"},
                                           FailureCase{"LockRefused",
                                                       [](const fs::path& d, const fs::path&) {
                                                           fs::create_directory(d /
                                                                                "Config.dat.lock");
                                                       },
                                                       std::strerror(EISDIR)}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFileStoreTest, CommitRemovesOnlyTemporariesLeftByAKilledWriter) {
    for (const char* name :
         {".Config.dat.tmp-123-4-56-0", ".Config.dat.tmp-1-2-3", ".Config.dat.tmp-x",
          ".Other.dat.tmp-1-2-3-4", ".Config.dat.tmp-1-2-3-4.tmp-1-2-3-4", ".Config.dat.tmp-1--2-3",
          ".Config.dat.tmp--1-2-3", ".Config.dat.tmp-1-2-3-"}) {
        writeFile(dir_ / name, "left over");
    }
    IniFileStore store;
    put(store, "Type", "1");
    store.commit();
    EXPECT_EQ(entries(dir_),
              (std::set<std::string>{
                  "Config.dat", "Config.dat.lock", ".Config.dat.tmp-1-2-3", ".Config.dat.tmp-x",
                  ".Other.dat.tmp-1-2-3-4", ".Config.dat.tmp-1-2-3-4.tmp-1-2-3-4",
                  ".Config.dat.tmp-1--2-3", ".Config.dat.tmp--1-2-3", ".Config.dat.tmp-1-2-3-"}));
}

TEST_F(IniFileStoreTest, DiskFullLeavesTheFileUnchanged) {
    // A file-size limit binds root too, so this runs in CI as it does here.
    const std::string before = "[FILE INFO]\r\nType=1\r\nFile Name=a.bin\r\n";
    writeFile(file_, before);
    IniFileStore store;
    put(store, "File Name", std::string(4096, 'n'));
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    try {
        store.commit();
    } catch (const StoreError& e) {
        error = e.what();
    }
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &old), 0);
    EXPECT_NE(error.find(std::strerror(EFBIG)), std::string::npos) << error;
    EXPECT_EQ(readFile(file_), before);
    EXPECT_EQ(entries(dir_), (std::set<std::string>{"Config.dat", "Config.dat.lock"}));
    store.commit(); // the limit lifted, the kept puts are written
    EXPECT_EQ(get(store, "File Name"), std::string(4096, 'n'));
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

constexpr uid_t kOrdinaryUser = 65534;

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
        ASSERT_EQ(::chown(file_.c_str(), kOrdinaryUser, kOrdinaryUser), 0);
    }
    struct stat old {};
    ASSERT_EQ(::stat(file_.c_str(), &old), 0);

    enum Outcome { Refused = 10, Committed, OtherError, CannotDrop };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (c.asOrdinaryUser && (::setgroups(0, nullptr) != 0 || ::setgid(kOrdinaryUser) != 0 ||
                                 ::setuid(kOrdinaryUser) != 0)) {
            ::_exit(CannotDrop);
        }
        IniFileStore store;
        put(store, "Type", "2");
        try {
            store.commit();
        } catch (const StoreError& e) {
            const bool named =
                std::string(e.what()).find(std::strerror(c.reason)) != std::string::npos;
            if (!named) {
                std::fprintf(stderr, "unexpected reason: %s\n", e.what());
            }
            ::_exit(named ? Refused : OtherError);
        }
        ::_exit(Committed);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), CannotDrop) << "could not become an ordinary user";
    EXPECT_EQ(WEXITSTATUS(status), Refused);
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

TEST_F(IniFileStoreTest, ReadOnlyDirectoryLeavesTheFileUnchanged) {
    // Root ignores permission bits, so the commit runs in a child that, when it is root,
    // first becomes an ordinary user. With a lock file left by an earlier commit the lock is
    // taken and the temporary file is what fails.
    const std::string before = "[FILE INFO]\r\nType=1\r\n";
    const auto readOnly = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                          fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;
    enum Outcome { Refused = 10, Committed, OtherError, CannotDrop, StillWritable };
    for (const bool withLockFile : {false, true}) {
        SCOPED_TRACE(withLockFile ? "lock file present" : "no lock file");
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        writeFile(file_, before);
        std::set<std::string> expected{"Config.dat"};
        if (withLockFile) {
            writeFile(dir_ / "Config.dat.lock", "");
            expected.insert("Config.dat.lock");
        }
        fs::permissions(dir_, readOnly);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::geteuid() == 0 &&
                (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
                ::_exit(CannotDrop);
            }
            if (::access(dir_.c_str(), W_OK) == 0) {
                ::_exit(StillWritable);
            }
            IniFileStore store;
            put(store, "Type", "2");
            try {
                store.commit();
            } catch (const StoreError& e) {
                const bool eacces =
                    std::string(e.what()).find(std::strerror(EACCES)) != std::string::npos;
                if (!eacces) {
                    std::fprintf(stderr, "unexpected reason: %s\n", e.what());
                }
                ::_exit(eacces ? Refused : OtherError);
            }
            ::_exit(Committed);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) == CannotDrop || WEXITSTATUS(status) == StillWritable) {
            GTEST_SKIP() << "no unprivileged user to run the commit as";
        }
        EXPECT_EQ(WEXITSTATUS(status), Refused);
        EXPECT_EQ(readFile(file_), before);
        EXPECT_EQ(entries(dir_), expected);
    }
}

#endif

} // namespace
} // namespace quentra::core
