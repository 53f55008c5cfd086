#include "core/upgrade_settings.hpp"

#include "core/paths.hpp"
#include "fakes.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace quentra::core {
namespace {

using testing::FakeFileSystem;
using testing::RecordingConfigStore;

const std::string kAppDir = std::string("app") + kPathSeparator;
const std::string kConfig = kAppDir + "Config.dat";

JobControls someControls() {
    JobControls c;
    c.texts[JobField::Type] = "6050";
    c.texts[JobField::Address] = "12";
    c.texts[JobField::FileSize] = "70000";
    c.texts[JobField::BlockSize] = "65536";
    c.texts[JobField::FileName] = "vtl_2.bin";
    c.texts[JobField::Wait] = "3";
    c.texts[JobField::Console] = "7";
    return c;
}

TEST(Save, PutsThe48ValuesInTheirOrder) {
    JobControls c = someControls();
    c.boxStates[0] = 1;               // port 1, column 0
    c.boxStates[boxIndex(15, 3)] = 1; // port 16, column 3
    RecordingConfigStore store;
    saveSettings(store, kAppDir, settingsFromControls(c));

    const std::vector<std::string> expected = {
        "FilePath=" + kConfig, "SectionName=FILE INFO",
        "KeyName=Type",        "KeyValue=6050",
        "KeyName=Address",     "KeyValue=12",
        "KeyName=File Length", "KeyValue=70000",
        "KeyName=Block Size",  "KeyValue=65536",
        "KeyName=File Name",   "KeyValue='vtl_2.bin'",
        "KeyName=Wait",        "KeyValue=3",
        "KeyName=Console",     "KeyValue=7",
        "KeyName=Port #1",     "KeyValue=1",
        "KeyName=Port #2",     "KeyValue=0",
        "KeyName=Port #3",     "KeyValue=0",
        "KeyName=Port #4",     "KeyValue=0",
        "KeyName=Port #5",     "KeyValue=0",
        "KeyName=Port #6",     "KeyValue=0",
        "KeyName=Port #7",     "KeyValue=0",
        "KeyName=Port #8",     "KeyValue=0",
        "KeyName=Port #9",     "KeyValue=0",
        "KeyName=Port #10",    "KeyValue=0",
        "KeyName=Port #11",    "KeyValue=0",
        "KeyName=Port #12",    "KeyValue=0",
        "KeyName=Port #13",    "KeyValue=0",
        "KeyName=Port #14",    "KeyValue=0",
        "KeyName=Port #15",    "KeyValue=0",
        "KeyName=Port #16",    "KeyValue=8",
    };
    ASSERT_EQ(expected.size(), 48u);
    // Every call is a put: a save neither reads nor commits.
    EXPECT_EQ(store.calls, expected);
}

struct SaveCase {
    const char* text;
    std::int32_t stored;
};

TEST(Save, AddressIsLimitedTo127Above) {
    const SaveCase cases[] = {{"200", 127},
                              {"127.5", 127},
                              {"126.5", 126},
                              {"127", 127},
                              {"-3", -3},
                              {"", 0},
                              {"0", 0},
                              {"abc", 0},
                              {"2147483647", 127},
                              {"-2147483648", -2147483648}};
    for (const auto& sc : cases) {
        JobControls c = someControls();
        c.texts[JobField::Address] = sc.text;
        EXPECT_EQ(settingsFromControls(c).address, sc.stored) << '"' << sc.text << '"';
    }
}

TEST(Save, ConsoleOutside1To256Becomes16383) {
    const SaveCase cases[] = {{"", 16383},    {"0", 16383},     {"-1", 16383},  {"257", 16383},
                              {"1", 1},       {"256", 256},     {"0.5", 16383}, {"1.5", 2},
                              {"256.5", 256}, {"16383", 16383}, {"x", 16383}};
    for (const auto& sc : cases) {
        JobControls c = someControls();
        c.texts[JobField::Console] = sc.text;
        EXPECT_EQ(settingsFromControls(c).console, sc.stored) << '"' << sc.text << '"';
    }
}

TEST(Save, OtherNumbersAreParsedAndRoundedOnly) {
    struct Case {
        const char* type;
        const char* fileSize;
        const char* blockSize;
        const char* wait;
        UpgradeSettings expected;
    };
    const Case cases[] = {
        {"999", "12abc", "&H10000", "2.5", {999, 12, 12, 65536, "", 2, 7, {}}},
        {"40000", "1 2", "1.5E2", "3.5", {40000, 12, 12, 150, "", 4, 7, {}}},
        {"", "", "", "", {0, 12, 0, 0, "", 0, 7, {}}},
        {"-6060", "-1", "0", "-2.5", {-6060, 12, -1, 0, "", -2, 7, {}}},
    };
    for (const auto& tc : cases) {
        JobControls c = someControls();
        c.texts[JobField::Type] = tc.type;
        c.texts[JobField::FileSize] = tc.fileSize;
        c.texts[JobField::BlockSize] = tc.blockSize;
        c.texts[JobField::Wait] = tc.wait;
        const UpgradeSettings s = settingsFromControls(c);
        EXPECT_EQ(s.type, tc.expected.type) << tc.type;
        EXPECT_EQ(s.fileLength, tc.expected.fileLength) << tc.fileSize;
        EXPECT_EQ(s.blockSize, tc.expected.blockSize) << tc.blockSize;
        EXPECT_EQ(s.wait, tc.expected.wait) << tc.wait;
    }
}

TEST(Save, FileNameIsStoredUnchanged) {
    for (const char* name : {"", " lead and trail ", "\"quoted\"", "a=b;c[d]", "f\xc3\xafrm.bin"}) {
        JobControls c = someControls();
        c.texts[JobField::FileName] = name;
        RecordingConfigStore store;
        saveSettings(store, kAppDir, settingsFromControls(c));
        EXPECT_EQ(store.calls[11], std::string("KeyValue='") + name + "'");
    }
}

TEST(Save, PortMasksFromTheTickedBoxes) {
    JobControls c = someControls();
    c.boxStates[8] = 1;
    c.boxStates[10] = 1;
    c.boxStates[9] = 2; // greyed counts as unticked
    c.boxStates[12] = -1;
    const UpgradeSettings s = settingsFromControls(c);
    for (int p = 0; p < kPortCount; ++p) {
        EXPECT_EQ(s.portMasks[static_cast<std::size_t>(p)], p == 2 ? 5 : 0) << p;
    }

    c.boxStates.fill(1);
    for (PortMask m : settingsFromControls(c).portMasks) {
        EXPECT_EQ(m, 15);
    }
}

TEST(Save, NumbersBeyond32BitsAreRefusedNamingTheField) {
    const char* const tooBig[] = {"2147483648", "2147483647.5", "-2147483648.6",
                                  "1e300",      "1e400",        "&H80000000"};
    for (const char* text : tooBig) {
        for (const JobField field : {JobField::Type, JobField::Address, JobField::FileSize,
                                     JobField::BlockSize, JobField::Wait, JobField::Console}) {
            JobControls c = someControls();
            const std::string k(storedKey(field));
            c.texts[field] = text;
            try {
                settingsFromControls(c);
                ADD_FAILURE() << k << " accepted " << text;
            } catch (const InvalidValueError& e) {
                EXPECT_EQ(e.field, field) << text;
                EXPECT_NE(std::string(e.what()).find(k), std::string::npos) << e.what();
            }
        }
    }
    // The limits themselves fit.
    JobControls c = someControls();
    c.texts[JobField::Type] = "2147483647.4";
    c.texts[JobField::Wait] = "-2147483648.5";
    EXPECT_EQ(settingsFromControls(c).type, 2147483647);
    EXPECT_EQ(settingsFromControls(c).wait, -2147483648);
}

class LoadTest : public ::testing::Test {
protected:
    void SetUp() override { fs_.files[kConfig] = 100; }
    void stored(const std::string& key, const std::string& value) {
        store_.values[{kConfig, "FILE INFO", key}] = value;
    }
    LoadedJob load() { return loadSettings(store_, fs_, kAppDir); }

    RecordingConfigStore store_;
    FakeFileSystem fs_;
};

TEST_F(LoadTest, ReadsTheKeysInOrderWithWaitBeforeFileName) {
    load();
    std::vector<std::string> expected = {"FilePath=" + kConfig, "SectionName=FILE INFO"};
    for (const char* key :
         {"Type", "Address", "File Length", "Block Size", "Wait", "File Name", "Console"}) {
        expected.push_back(std::string("KeyName=") + key);
        expected.push_back("get");
    }
    for (int n = 1; n <= 16; ++n) {
        expected.push_back("KeyName=Port #" + std::to_string(n));
        expected.push_back("get");
    }
    EXPECT_EQ(store_.calls, expected);
    EXPECT_EQ(fs_.queries, std::vector<std::string>{"exists " + kConfig});
}

TEST_F(LoadTest, TypeSelectsTheRowOfItsCode) {
    struct Case {
        const char* stored;
        const char* shown;
        std::int16_t index;
    };
    const Case cases[] = {
        {"6050", "6050", 8},     {"6060", "6060", 9},    {"3632", "3632", 23},
        {"6060.5", "6060", 9},   {"6049.5", "6050", 8},  {"999", "999", 31},
        {"0", "0", 31},          {"", "0", 31},          {"abc", "0", 31},
        {"-1", "-1", 31},        {"32767", "32767", 31}, {"-32768.5", "-32768", 31},
        {"40000", "40000", 31},  {"71596", "71596", 31}, {"32767.5", "32767.5", 31},
        {"1e300", "1E+300", 31}, {"1e999", "1E999", 31}, {"&H17AC", "6060", 9},
    };
    for (const auto& c : cases) {
        store_.calls.clear();
        stored("Type", c.stored);
        const LoadedJob job = load();
        EXPECT_EQ(job.texts[JobField::Type], c.shown) << c.stored;
        EXPECT_EQ(job.listIndex, c.index) << c.stored;
    }
}

TEST_F(LoadTest, NumbersAreShownNeitherRoundedNorLimited) {
    struct Case {
        const char* stored;
        const char* shown;
    };
    const Case cases[] = {{"0127", "127"}, {"300", "300"},      {"12.5", "12.5"},
                          {"", "0"},       {"1 2", "12"},       {"-3", "-3"},
                          {"x9", "0"},     {"1e300", "1E+300"}, {"4294967296", "4294967296"}};
    for (const auto& c : cases) {
        stored("Address", c.stored);
        stored("File Length", c.stored);
        stored("Block Size", c.stored);
        const LoadedJob job = load();
        EXPECT_EQ(job.texts[JobField::Address], c.shown) << c.stored;
        EXPECT_EQ(job.texts[JobField::FileSize], c.shown) << c.stored;
        EXPECT_EQ(job.texts[JobField::BlockSize], c.shown) << c.stored;
    }
}

TEST_F(LoadTest, TextsAreShownAsTheStoreReturnsThem) {
    for (const char* text : {"", " 2 ", "2.5", "abc", "16383", " vtl_2.bin "}) {
        stored("Wait", text);
        stored("File Name", text);
        stored("Console", text);
        const LoadedJob job = load();
        EXPECT_EQ(job.texts[JobField::Wait], text);
        EXPECT_EQ(job.texts[JobField::FileName], text);
        EXPECT_EQ(job.texts[JobField::Console], text);
    }
}

TEST_F(LoadTest, PortMasksTickTheirColumns) {
    struct Case {
        const char* stored;
        std::set<int> columns;
    };
    const Case cases[] = {
        {"5", {0, 2}},        {"16", {}},          {"21", {0, 2}},
        {"-1", {0}},          {"-6", {1, 2}}, // quotients -6, -3, -1, 0 (toward zero)
        {"15", {0, 1, 2, 3}}, {"0", {}},           {"", {}},
        {"2.5", {1}},         {"3.5", {2}},        {"32767", {0, 1, 2, 3}},
        {"32767.5", {}},   // 32768: beyond 16 bits, its own bits tested
        {"65541", {0, 2}}, // 65536 + 5
        {"-32768.5", {}},     {"2147483649", {0}}, {"1e300", {}},
        {"1e999", {}},        {"-1e999", {}},
    };
    for (const auto& c : cases) {
        for (int port : {0, 2, 15}) {
            store_.values.clear();
            stored(portKey(port + 1), c.stored);
            const LoadedJob job = load();
            std::bitset<kBoxCount> expected;
            for (int column : c.columns) {
                expected.set(static_cast<std::size_t>(boxIndex(port, column)));
            }
            EXPECT_EQ(job.ticked, expected) << c.stored << " at port " << port + 1;
        }
    }
}

TEST_F(LoadTest, ReportsWhatTheStoreCouldNotRead) {
    EXPECT_EQ(load().readError, std::nullopt);
    store_.readFailure = "Permission denied";
    const LoadedJob job = load();
    EXPECT_EQ(job.readError, "Permission denied");
    EXPECT_TRUE(job.fromFile);
}

TEST(LoadDefaults, WithoutAnOrdinaryConfigFileTheStoreIsUntouched) {
    RecordingConfigStore store;
    FakeFileSystem fs; // a directory named Config.dat is no ordinary file either
    const LoadedJob job = loadSettings(store, fs, kAppDir);
    EXPECT_TRUE(store.calls.empty());
    EXPECT_EQ(fs.queries, std::vector<std::string>{"exists " + kConfig});
    EXPECT_FALSE(job.fromFile);
    EXPECT_EQ(job.texts[JobField::Address], "127");
    EXPECT_EQ(job.listIndex, 9);
    EXPECT_TRUE(job.ticked.none());
    EXPECT_FALSE(job.texts[JobField::Type] || job.texts[JobField::FileSize] ||
                 job.texts[JobField::BlockSize] || job.texts[JobField::Wait] ||
                 job.texts[JobField::FileName] || job.texts[JobField::Console] || job.readError);
}

// Save, then load what was saved, then save again from what load showed.
TEST(SaveAndLoad, RoundTripThroughTheStore) {
    JobControls c = someControls();
    c.texts[JobField::Type] = "6050";
    c.texts[JobField::Address] = "300";
    c.texts[JobField::Wait] = "2.5";
    c.texts[JobField::Console] = "0";
    c.texts[JobField::FileName] = "vtl_2.bin";
    c.boxStates[8] = 1;
    c.boxStates[10] = 1;
    c.boxStates[63] = 1;

    RecordingConfigStore store;
    FakeFileSystem fs;
    fs.files[kConfig] = 1;
    saveSettings(store, kAppDir, settingsFromControls(c));
    const LoadedJob job = loadSettings(store, fs, kAppDir);

    EXPECT_EQ(job.texts[JobField::Type], "6050");
    EXPECT_EQ(job.listIndex, 8);
    EXPECT_EQ(job.texts[JobField::Address], "127");
    EXPECT_EQ(job.texts[JobField::FileSize], "70000");
    EXPECT_EQ(job.texts[JobField::BlockSize], "65536");
    EXPECT_EQ(job.texts[JobField::FileName], "vtl_2.bin");
    EXPECT_EQ(job.texts[JobField::Wait], "2");
    EXPECT_EQ(job.texts[JobField::Console], "16383");
    std::bitset<kBoxCount> ticked;
    ticked.set(8).set(10).set(63);
    EXPECT_EQ(job.ticked, ticked);

    JobControls again;
    again.texts[JobField::Type] = *job.texts[JobField::Type];
    again.texts[JobField::Address] = *job.texts[JobField::Address];
    again.texts[JobField::FileSize] = *job.texts[JobField::FileSize];
    again.texts[JobField::BlockSize] = *job.texts[JobField::BlockSize];
    again.texts[JobField::FileName] = *job.texts[JobField::FileName];
    again.texts[JobField::Wait] = *job.texts[JobField::Wait];
    again.texts[JobField::Console] = *job.texts[JobField::Console];
    for (std::size_t i = 0; i < kBoxCount; ++i) {
        again.boxStates[i] = job.ticked[i] ? 1 : 0;
    }
    const UpgradeSettings second = settingsFromControls(again);
    EXPECT_EQ(second.console, 16383);
    EXPECT_EQ(second.address, 127);
    EXPECT_EQ(second.portMasks, settingsFromControls(c).portMasks);
}

TEST(SaveAndLoad, AnAddressOf300LoadedIsSavedAs127) {
    RecordingConfigStore store;
    FakeFileSystem fs;
    fs.files[kConfig] = 1;
    store.values[{kConfig, "FILE INFO", "Address"}] = "300";
    const LoadedJob job = loadSettings(store, fs, kAppDir);
    ASSERT_EQ(job.texts[JobField::Address], "300");
    JobControls c = someControls();
    c.texts[JobField::Address] = *job.texts[JobField::Address];
    EXPECT_EQ(settingsFromControls(c).address, 127);
}

TEST(SaveAndLoad, AnUnknownTypeSavedComesBackAsRow31) {
    JobControls c = someControls();
    c.texts[JobField::Type] = "999";
    RecordingConfigStore store;
    FakeFileSystem fs;
    fs.files[kConfig] = 1;
    saveSettings(store, kAppDir, settingsFromControls(c));
    const LoadedJob job = loadSettings(store, fs, kAppDir);
    EXPECT_EQ(job.listIndex, 31);
}

} // namespace
} // namespace quentra::core
