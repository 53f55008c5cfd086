#include "core/config_store.hpp"
#include "core/ini_document.hpp"
#include "core/platform/ansi_code_page.hpp"
#include "core/platform/atomic_file.hpp"
#include "core/platform/ini_file_store.hpp"
#include "core/text_encoding.hpp"
#include "support/encoding_saves.hpp"
#include "support/settings_file_support.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace quentra::core {
namespace {

namespace fs = std::filesystem;

using test_support::entries;
using test_support::IniFileStoreTest;
using test_support::readFile;
using test_support::writeFile;

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
    EXPECT_THROW(store.putFilePath(file_.string() + ".other"), StoreError); // the puts wait here
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

// The second store read the file before the first one's commit: only a commit that reads the
// file again keeps the first store's keys.
TEST_F(IniFileStoreTest, TwoStoresOnOneFileKeepEachOthersKeys) {
    IniFileStore a;
    IniFileStore b;
    put(a, "Type", "1");
    put(a, "Address", "4");
    put(b, "Wait", "2");
    put(b, "Type", "3");
    b.putKeyName("Address");
    EXPECT_EQ(b.getKeyValue(), "");
    a.commit();
    b.commit();
    IniFileStore reader;
    EXPECT_EQ(get(reader, "Type"), "3");
    EXPECT_EQ(get(reader, "Wait"), "2");
    EXPECT_EQ(get(reader, "Address"), "4");
}

#ifdef _WIN32
// Writers in other processes, as on POSIX, are the reliability suite's; under Wine, threads.
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
#endif

// Each save is read back as the consumer reads it before it replaces the file: the platform's
// own reader agrees; a reader made to read one key otherwise refuses the save, naming the key,
// with the old file's bytes and no temporary file left.
struct ReadBackRow {
    const char* name;
    const char* key; // read otherwise; nullptr: as the platform reads it
    std::optional<std::string> readAs;
    bool utf8File = false; // the old file is UTF-8 with its mark, and so is the new one
};

class IniFileStoreReadBack : public IniFileStoreTest,
                             public ::testing::WithParamInterface<ReadBackRow> {};

TEST_P(IniFileStoreReadBack, AValueReadOtherwiseRefusesTheSave) {
    const ReadBackRow& row = GetParam();
    const std::string old = std::string(row.utf8File ? "\xEF\xBB\xBF" : "") +
                            "[FILE INFO]\r\nWait=1\r\n[Other]\r\nx=y\r\n";
    writeFile(file_, old);
    // Read as the consumer reads it, whatever the platform's reader is.
    IniFileStore store([&](const std::string& path, std::span<const IniPut> puts) {
        ReadBack back = readAsTheConsumer(path, puts);
        back.asTheConsumer = true;
        for (ConsumerReading& reading : back.readings) {
            if (row.key != nullptr && puts[reading.put].key == row.key) {
                reading.value = row.readAs;
            }
        }
        return back;
    });
    put(store, "Wait", "2");
    put(store, "File Name", "vtl_2.bin");
    if (row.key == nullptr) {
        store.commit();
        EXPECT_EQ(get(store, "Wait"), "2");
        EXPECT_EQ(get(store, "File Name"), "vtl_2.bin");
        return;
    }
    try {
        store.commit();
        FAIL() << "committed";
    } catch (const ReadBackMismatchError& e) {
        EXPECT_EQ(e.key, row.key);
        EXPECT_EQ(e.put, std::string(row.key) == "Wait" ? "2" : "vtl_2.bin");
        EXPECT_EQ(e.read, row.readAs);
        EXPECT_TRUE(e.asTheConsumer);
        EXPECT_EQ(e.utf8File, row.utf8File);
    }
    EXPECT_EQ(readFile(file_), old);
    EXPECT_EQ(entries(dir_), (std::set<std::string>{"Config.dat", "Config.dat.lock"}));
}

INSTANTIATE_TEST_SUITE_P(
    Table, IniFileStoreReadBack,
    ::testing::Values(ReadBackRow{"ThePlatformsReaderAgrees", nullptr, std::nullopt},
                      ReadBackRow{"ANumberReadOtherwise", "Wait", "20"},
                      ReadBackRow{"ANameReadCutShort", "File Name", "vtl_2"},
                      ReadBackRow{"AKeyNotFound", "Wait", std::nullopt},
                      ReadBackRow{"ANameReadOtherwiseInAUtf8File", "File Name", "vtl_2", true}),
    [](const auto& info) { return std::string(info.param.name); });

class IniFileStoreEncoding : public IniFileStoreTest,
                             public ::testing::WithParamInterface<test_support::EncodingSave> {};

TEST_P(IniFileStoreEncoding, LoadShowsAndSaveWritesWhatTheConsumerReads) {
    if (systemAnsiCodePage().name() != "Windows-1252") {
        GTEST_SKIP() << "the rows are written for a Western system";
    }
    const test_support::EncodingSave& row = GetParam();
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
    // A reader that takes a UTF-8 mark for text, as Windows' profile API does, finds every key
    // too ("?" before the mark keeps it from being read as one).
    const bool utf8 = row.after.starts_with("\xEF\xBB\xBF");
    const IniDocument markAsText("?" + row.after, windows1252());
    for (const auto& [key, value] : row.puts) {
        EXPECT_EQ(get(reader, key), value) << key;
        EXPECT_TRUE(!utf8 || markAsText.value("FILE INFO", key)) << key;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, IniFileStoreEncoding,
                         ::testing::ValuesIn(test_support::encodingSaves()),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quentra::core
