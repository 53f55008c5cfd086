// Windows path and file rules: drive and share roots, both separators, hidden and system files,
// and replacing Config.dat the way Windows allows it. Built only for Windows (run under Wine).
#ifdef _WIN32

#include "core/firmware.hpp"
#include "core/paths.hpp"
#include "core/platform/ansi_code_page.hpp"
#include "core/platform/ini_file_store.hpp"
#include "core/platform/native_file_system.hpp"
#include "core/platform/program_directory.hpp"
#include "core/upgrade_settings.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace quentra::core {
namespace {

namespace fs = std::filesystem;

using test_support::readFile;
using test_support::utf8;

class WindowsFiles : public test_support::TempDirTest {
protected:
    fs::path write(const fs::path& relative, const std::string& content) {
        const fs::path p = dir_ / relative;
        fs::create_directories(p.parent_path());
        test_support::writeFile(p, content);
        return p;
    }
    std::size_t entriesInDir() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }

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

// A read-only Config.dat is refused with the system's reason and kept, as Windows itself
// would refuse the replace (Wine would not).
TEST_F(WindowsFiles, AReadOnlyConfigDatIsRefusedAndKept) {
    const std::string path = utf8(dir_ / "Config.dat");
    commitWait(path, 1);
    const std::size_t entries = entriesInDir();
    const std::string before = readFile(dir_ / "Config.dat");
    ASSERT_TRUE(SetFileAttributesW((dir_ / "Config.dat").c_str(), FILE_ATTRIBUTE_READONLY));
    try {
        commitWait(path, 2);
        ADD_FAILURE() << "a read-only Config.dat was replaced";
    } catch (const StoreError& e) {
        const std::string reason = std::system_category().message(ERROR_ACCESS_DENIED);
        EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
    }
    EXPECT_EQ(readFile(dir_ / "Config.dat"), before);
    EXPECT_NE(GetFileAttributesW((dir_ / "Config.dat").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
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

// ---- Config.dat as the profile API reads and writes it ------------------------------------

std::wstring wide(const std::string& utf8) {
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string narrow(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

// The text in the system's ANSI code page, when it holds it exactly.
std::optional<std::string> inAnsi(const std::string& utf8) {
    const std::wstring w = wide(utf8);
    if (w.empty()) {
        return std::string();
    }
    BOOL usedDefault = FALSE;
    const UINT acp = GetACP();
    BOOL* used = acp == CP_UTF8 ? nullptr : &usedDefault;
    const DWORD flags = acp == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int n = WideCharToMultiByte(acp, flags, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                      nullptr, used);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(acp, flags, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr,
                        used);
    if (usedDefault) {
        return std::nullopt;
    }
    return out;
}

std::wstring profileW(const fs::path& file, const wchar_t* key) {
    std::vector<wchar_t> buffer(1 << 16);
    const DWORD n = GetPrivateProfileStringW(L"FILE INFO", key, L"(absent)", buffer.data(),
                                             static_cast<DWORD>(buffer.size()), file.c_str());
    return std::wstring(buffer.data(), n);
}

std::string profileA(const fs::path& file, const char* key) {
    std::vector<char> buffer(1 << 16);
    const DWORD n =
        GetPrivateProfileStringA("FILE INFO", key, "(absent)", buffer.data(),
                                 static_cast<DWORD>(buffer.size()), file.string().c_str());
    return std::string(buffer.data(), n);
}

const std::string kMelange = "M\xC3\xA9lange_2.bin";             // in Windows-1252
const std::string kMixedLatin = "\xC5\x93uvre \xE2\x82\xAC.bin"; // 1252's own 80..9F
const std::string kKanji = "\xE6\xBC\xA2\xE5\xAD\x97_3.bin";     // CJK
const std::string kCyrillic = "\xD0\x96\xD1\x83\xD0\xBA.bin";    // Cyrillic
const std::string kEmoji = "\xF0\x9F\x98\x80.bin";               // beyond the BMP

struct StoreToProfileRow {
    const char* what;
    std::string existing; // empty: no file before the save
    std::string fileName;
};

TEST_F(WindowsFiles, WhatTheStoreSavesTheProfileApiReadsAsTheWindowShowedIt) {
    std::string utf16Existing = "\xFF\xFE";
    for (const char c : std::string("[FILE INFO]\r\nFile Name=x\r\n")) {
        utf16Existing += c;
        utf16Existing += '\0';
    }
    const std::string ansiExisting = "[FILE INFO]\r\nWait=1\r\nFile Name=x\r\n";
    const std::string utf8Existing = "\xEF\xBB\xBF[FILE INFO]\r\nFile Name=x\r\n";
    const StoreToProfileRow rows[] = {
        {"new, ASCII", "", "vtl_2.bin"},
        {"new, Windows-1252 letter", "", kMelange},
        {"new, Windows-1252 punctuation", "", kMixedLatin},
        {"new, CJK", "", kKanji},
        {"new, Cyrillic", "", kCyrillic},
        {"new, beyond the BMP", "", kEmoji},
        {"UTF-16 file, CJK", utf16Existing, kKanji},
        {"UTF-16 file, Windows-1252", utf16Existing, kMelange},
        {"UTF-8 file, CJK", utf8Existing, kKanji},
        {"ANSI file, ASCII", ansiExisting, "vtl_2.bin"},
        {"ANSI file, its own letters", ansiExisting, kMelange},
    };
    const fs::path file = dir_ / "Config.dat";
    for (const StoreToProfileRow& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove(file);
        if (!row.existing.empty()) {
            write("Config.dat", row.existing);
        }
        const bool ansiFile = row.existing.empty() || row.existing == ansiExisting;
        const std::optional<std::string> ansi = inAnsi(row.fileName);
        IniFileStore store;
        store.putFilePath(utf8(file));
        store.putSectionName(std::string(kSectionName));
        store.putKeyName("File Name");
        store.putKeyValue(row.fileName);
        store.putKeyName("Type");
        store.putKeyValue(std::int32_t{6050});
        if (!row.existing.empty() && ansiFile && !ansi) {
            EXPECT_THROW(store.commit(), UnencodableValueError);
            EXPECT_EQ(readFile(file), row.existing);
            continue;
        }
        store.commit();
        const std::string bytes = readFile(file);
        if (row.existing.empty()) {
            // A new file: the ANSI code page when it holds the name, else UTF-16 with its mark.
            EXPECT_EQ(bytes.starts_with("\xFF\xFE"), !ansi.has_value());
        }
        EXPECT_EQ(narrow(profileW(file, L"File Name")), row.fileName);
        EXPECT_EQ(profileW(file, L"Type"), L"6050");
        if (ansi) {
            EXPECT_EQ(profileA(file, "File Name"), *ansi);
        }
        IniFileStore reader;
        reader.putFilePath(utf8(file));
        reader.putSectionName(std::string(kSectionName));
        reader.putKeyName("File Name");
        EXPECT_EQ(reader.getKeyValue(), row.fileName);
    }
}

// The bytes of the "File Name" line, from its key to its line end.
std::string fileNameLine(const std::string& bytes, bool utf16) {
    std::string key;
    std::string end;
    for (const char c : std::string("File Name=")) {
        key += c;
        if (utf16) {
            key += '\0';
        }
    }
    end = utf16 ? std::string("\r\0", 2) : std::string("\r");
    const std::size_t at = bytes.find(key);
    if (at == std::string::npos) {
        return {};
    }
    return bytes.substr(at, bytes.find(end, at) - at);
}

struct ProfileToStoreRow {
    const char* what;
    bool unicodeFile; // the file starts as FF FE, so the profile API writes UTF-16
    bool wideApi;     // WritePrivateProfileStringW, else A with the ANSI code page's bytes
    std::string fileName;
};

TEST_F(WindowsFiles, WhatTheProfileApiWritesTheStoreLoadsExactly) {
    const ProfileToStoreRow rows[] = {
        {"ANSI file, W, ASCII", false, true, "vtl_2.bin"},
        {"ANSI file, W, Windows-1252", false, true, kMelange},
        {"ANSI file, W, 1252 punctuation", false, true, kMixedLatin},
        {"ANSI file, W, CJK", false, true, kKanji},
        {"ANSI file, A, Windows-1252", false, false, kMelange},
        {"ANSI file, A, Cyrillic", false, false, kCyrillic},
        {"Unicode file, W, CJK", true, true, kKanji},
        {"Unicode file, W, Cyrillic", true, true, kCyrillic},
        {"Unicode file, W, beyond the BMP", true, true, kEmoji},
        {"Unicode file, A, Windows-1252", true, false, kMelange},
    };
    const fs::path file = dir_ / "Config.dat";
    for (const ProfileToStoreRow& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove(file);
        if (row.unicodeFile) {
            write("Config.dat", "\xFF\xFE");
        }
        const std::optional<std::string> ansi = inAnsi(row.fileName);
        if (!row.wideApi && !ansi) {
            continue; // the A functions cannot even be given this name on this system
        }
        const BOOL written =
            row.wideApi ? WritePrivateProfileStringW(L"FILE INFO", L"File Name",
                                                     wide(row.fileName).c_str(), file.c_str())
                        : WritePrivateProfileStringA("FILE INFO", "File Name", ansi->c_str(),
                                                     file.string().c_str());
        ASSERT_TRUE(written);
        ASSERT_TRUE(WritePrivateProfileStringW(L"FILE INFO", L"Type", L"6050", file.c_str()));
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, file.c_str()); // flushes the cache
        EXPECT_EQ(readFile(file).starts_with("\xFF\xFE"), row.unicodeFile);

        IniFileStore store;
        const LoadedJob job = loadSettings(store, nfs_, withTrailingSeparator(utf8(dir_)));
        // The window shows what the consumer reads, and that is the name itself wherever the
        // file's encoding holds it.
        EXPECT_EQ(job.fileName, narrow(profileW(file, L"File Name")));
        if (row.unicodeFile || ansi) {
            EXPECT_EQ(job.fileName, row.fileName);
        }
        EXPECT_EQ(job.listIndex, 8);

        // Saved again with the name untouched, its line keeps every byte.
        const std::string before = readFile(file);
        const std::string line = fileNameLine(before, row.unicodeFile);
        ASSERT_FALSE(line.empty());
        saveSettings(
            store, withTrailingSeparator(utf8(dir_)),
            settingsFromControls(JobControls{"6050", "3", *job.fileName, "1", "1", "0", "1", {}}));
        store.commit();
        EXPECT_EQ(fileNameLine(readFile(file), row.unicodeFile), line);
        EXPECT_EQ(narrow(profileW(file, L"File Name")), *job.fileName);
    }
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
