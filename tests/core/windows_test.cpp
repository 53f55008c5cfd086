// Windows path and file rules: drive and share roots, both separators, hidden and system files,
// and replacing Config.dat the way Windows allows it. Built only for Windows (run under Wine).
#ifdef _WIN32

#include "core/firmware.hpp"
#include "core/paths.hpp"
#include "core/platform/ini_file_store.hpp"
#include "core/platform/native_file_system.hpp"
#include "core/platform/program_directory.hpp"
#include "core/upgrade_settings.hpp"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

namespace quentra::core {
namespace {

namespace fs = std::filesystem;

std::string utf8(const fs::path& p) {
    const std::u8string u = p.u8string();
    return std::string(u.begin(), u.end());
}

class WindowsFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device rd;
        dir_ = fs::temp_directory_path() / ("qmu-win-" + std::to_string(rd()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        // Attributes would keep remove_all from deleting read-only files.
        for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
            SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    fs::path write(const fs::path& relative, const std::string& content) {
        const fs::path p = dir_ / relative;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }
    static std::string read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::size_t entriesInDir() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }

    fs::path dir_;
    NativeFileSystem nfs_;
};

TEST(WindowsPaths, RootsKeepTheirSeparatorAndNameConfigDatInside) {
    struct Case {
        const char* dir;
        const char* appDir;
        const char* configPath;
    };
    const Case cases[] = {
        {"C:\\", "C:\\", "C:\\Config.dat"},
        {"D:/", "D:/", "D:/Config.dat"},
        {"\\\\server\\share\\", "\\\\server\\share\\", "\\\\server\\share\\Config.dat"},
        {"C:\\Quentra", "C:\\Quentra\\", "C:\\Quentra\\Config.dat"},
        {"C:/Quentra/Upgrade", "C:/Quentra/Upgrade\\", "C:/Quentra/Upgrade\\Config.dat"},
    };
    for (const Case& c : cases) {
        const std::string appDir = withTrailingSeparator(c.dir);
        EXPECT_EQ(appDir, c.appDir) << c.dir;
        EXPECT_EQ(configFilePath(appDir), c.configPath) << c.dir;
    }
}

TEST(WindowsPaths, ShortNameFollowsTheLastOfEitherSeparator) {
    struct Case {
        const char* path;
        const char* shortName;
    };
    const Case cases[] = {
        {"C:\\fw\\VXA-12_r3.bin", "VXA-12_r3.bin"},
        {"C:/fw/VXA-12_r3.bin", "VXA-12_r3.bin"},
        {"C:\\fw/sub\\vtl_2.bin", "vtl_2.bin"},
        {"C:/fw\\sub/vtl_2.bin", "vtl_2.bin"},
        {"\\\\server\\share\\ondamajor.bin", "ondamajor.bin"},
        {"C:\\fw\\", ""},
        {"vtl_2.bin", "vtl_2.bin"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shortNameForPath(c.path), c.shortName) << c.path;
    }
}

TEST_F(WindowsFiles, DirectoryNamesNeverReachTheGuessWhateverTheSeparator) {
    // "/" before the short name: split only at "\" and the guess would read "MY_FW.V2/HX12".
    const fs::path file = write(fs::path("my_fw.v2") / "HX12.bin", std::string(300, 'x'));
    const std::string backslashed = utf8(file);
    std::string slashed = backslashed;
    for (char& ch : slashed) {
        if (ch == '\\') {
            ch = '/';
        }
    }
    std::string mixed = utf8(file.parent_path()) + "/HX12.bin";
    for (const std::string& path : {backslashed, slashed, mixed}) {
        const FirmwareFileInfo info = analyseFirmwareFile(path, nfs_);
        EXPECT_EQ(info.outcome, AnalysisOutcome::Complete) << path;
        EXPECT_EQ(info.shortName, "HX12.bin") << path;
        EXPECT_EQ(info.length, 300) << path;
        EXPECT_EQ(info.prefix, "HX12") << path;
        EXPECT_EQ(info.catalogueIndex, 28) << path;
    }
    // No "_" or "." in the short name, though the directories have both.
    const fs::path bare = write(fs::path("my_fw.v2") / "VTL", "x");
    const FirmwareFileInfo info = analyseFirmwareFile(utf8(bare.parent_path()) + "/VTL", nfs_);
    EXPECT_EQ(info.shortName, "VTL");
    EXPECT_EQ(info.outcome, AnalysisOutcome::StoppedAtPrefix);
}

TEST_F(WindowsFiles, HiddenOrSystemFilesAndDirectoriesCountAsAbsent) {
    struct Case {
        DWORD attributes;
        bool ordinary;
    };
    const Case cases[] = {
        {FILE_ATTRIBUTE_NORMAL, true},
        {FILE_ATTRIBUTE_READONLY, true},
        {FILE_ATTRIBUTE_ARCHIVE, true},
        {FILE_ATTRIBUTE_HIDDEN, false},
        {FILE_ATTRIBUTE_SYSTEM, false},
        {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, false},
        {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY, false},
        {FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        const fs::path p = write("f" + std::to_string(n++) + ".dat", "x");
        ASSERT_TRUE(SetFileAttributesW(p.c_str(), c.attributes));
        std::string slashed = utf8(p);
        for (char& ch : slashed) {
            if (ch == '\\') {
                ch = '/';
            }
        }
        EXPECT_EQ(nfs_.isOrdinaryFile(utf8(p)), c.ordinary) << std::hex << c.attributes;
        EXPECT_EQ(nfs_.isOrdinaryFile(slashed), c.ordinary) << std::hex << c.attributes;
    }
    fs::create_directory(dir_ / "Config.dat");
    EXPECT_FALSE(nfs_.isOrdinaryFile(utf8(dir_ / "Config.dat")));
}

TEST_F(WindowsFiles, AHiddenConfigDatIsNotLoaded) {
    const fs::path config = write("Config.dat", "[FILE INFO]\r\nType=6050\r\nAddress=5\r\n");
    const std::string appDir = withTrailingSeparator(utf8(dir_));

    IniFileStore visibleStore;
    const LoadedJob visible = loadSettings(visibleStore, nfs_, appDir);
    EXPECT_TRUE(visible.fromFile);
    EXPECT_EQ(visible.listIndex, 8);
    EXPECT_EQ(visible.address, "5");

    ASSERT_TRUE(SetFileAttributesW(config.c_str(), FILE_ATTRIBUTE_HIDDEN));
    IniFileStore hiddenStore;
    const LoadedJob hidden = loadSettings(hiddenStore, nfs_, appDir);
    EXPECT_FALSE(hidden.fromFile);
    EXPECT_EQ(hidden.listIndex, 9);
    EXPECT_EQ(hidden.address, "127");
}

// Commits one "Wait" value to `path`; gives the text read back by a fresh store.
void commitWait(const std::string& path, std::int32_t wait) {
    IniFileStore store;
    store.putFilePath(path);
    store.putSectionName(std::string(kSectionName));
    store.putKeyName("Wait");
    store.putKeyValue(wait);
    store.commit();
}

std::string readWait(const std::string& path) {
    IniFileStore store;
    store.putFilePath(path);
    store.putSectionName(std::string(kSectionName));
    store.putKeyName("Wait");
    return store.getKeyValue();
}

TEST_F(WindowsFiles, ACommitReplacesAnExistingConfigDat) {
    const std::string path = utf8(dir_ / "Config.dat");
    commitWait(path, 1);
    const std::size_t entries = entriesInDir();
    commitWait(path, 2); // a rename onto an existing file fails on Windows unless asked to replace
    commitWait(path, 3);
    EXPECT_EQ(readWait(path), "3");
    EXPECT_EQ(entriesInDir(), entries) << "temporary files left beside Config.dat";
}

// Windows refuses to replace a read-only file, where Wine and POSIX allow it: either outcome
// is sound as long as the store says which one happened.
TEST_F(WindowsFiles, AReadOnlyConfigDatIsReplacedOrReportedNeverHalfWritten) {
    const std::string path = utf8(dir_ / "Config.dat");
    commitWait(path, 1);
    const std::size_t entries = entriesInDir();
    const std::string before = read(dir_ / "Config.dat");
    ASSERT_TRUE(SetFileAttributesW((dir_ / "Config.dat").c_str(), FILE_ATTRIBUTE_READONLY));
    bool committed = true;
    try {
        commitWait(path, 2);
    } catch (const StoreError&) {
        committed = false;
    }
    if (committed) {
        EXPECT_EQ(readWait(path), "2");
    } else {
        EXPECT_EQ(read(dir_ / "Config.dat"), before);
    }
    EXPECT_EQ(entriesInDir(), entries) << "temporary files left beside Config.dat";
}

TEST_F(WindowsFiles, ACommitWhileAReaderHoldsTheFileNeverClaimsSuccessFalsely) {
    const std::string path = utf8(dir_ / "Config.dat");
    commitWait(path, 1);
    const std::size_t entries = entriesInDir();
    {
        // The outside consumer may have the file open; Windows may then refuse the replacement.
        std::ifstream reader(dir_ / "Config.dat", std::ios::binary);
        ASSERT_TRUE(reader.is_open());
        bool committed = true;
        try {
            commitWait(path, 2);
        } catch (const StoreError&) {
            committed = false;
        }
        reader.close();
        EXPECT_EQ(readWait(path), committed ? "2" : "1");
    }
    EXPECT_EQ(entriesInDir(), entries) << "temporary files left beside Config.dat";
}

TEST(WindowsProgramDirectory, IsTheRunningExecutablesFolderEndingInOneSeparator) {
    const std::string dir = programDirectory();
    ASSERT_GE(dir.size(), 3U);
    EXPECT_EQ(dir.back(), '\\');
    EXPECT_NE(dir[dir.size() - 2], '\\') << dir;
    EXPECT_EQ(withTrailingSeparator(dir), dir);
    EXPECT_TRUE(
        fs::is_regular_file(fs::path(std::u8string(dir.begin(), dir.end())) / "core_tests.exe"))
        << dir;
}

} // namespace
} // namespace quentra::core

#endif // _WIN32
