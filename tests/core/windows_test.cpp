// Windows path and file rules: drive and share roots, both separators, hidden and system files,
// replacing Config.dat the way Windows allows it, a Config.dat that another program holds, and
// Config.dat as the profile API reads and writes it. Built only for Windows (run under Wine).

#include "core/fakes.hpp"
#include "core/firmware.hpp"
#include "core/paths.hpp"
#include "core/platform/ansi_code_page.hpp"
#include "core/platform/atomic_file.hpp"
#include "core/platform/ini_file_store.hpp"
#include "core/platform/native_file_system.hpp"
#include "core/platform/program_directory.hpp"
#include "core/platform/wide_text.hpp"
#include "core/upgrade_settings.hpp"
#include "support/encoding_saves.hpp"
#include "support/settings_file_support.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace quentra::core {
namespace {

namespace fs = std::filesystem;

using test_support::entries;
using test_support::readFile;
using test_support::utf8;

// Every table row has a name: the test's name ends in it, and a failure shows it.
template <typename Row> std::string rowName(const ::testing::TestParamInfo<Row>& info) {
    return info.param.name;
}

template <typename Row>
requires requires(const Row& row) {
    row.name;
}
void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

std::string withSlashes(std::string path) {
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    return path;
}

std::string reasonOf(DWORD error) {
    return std::system_category().message(static_cast<int>(error));
}

// ---- Paths -----------------------------------------------------------------------------------

struct AppDirRow {
    const char* name;
    const char* dir;
    const char* appDir;
    const char* configPath;
};

class WindowsAppDir : public ::testing::TestWithParam<AppDirRow> {};

TEST_P(WindowsAppDir, RootsKeepTheirSeparatorAndConfigDatGoesInside) {
    const AppDirRow& row = GetParam();
    const std::string appDir = withTrailingSeparator(row.dir);
    EXPECT_EQ(appDir, row.appDir);
    EXPECT_EQ(configFilePath(appDir), row.configPath);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WindowsAppDir,
    ::testing::Values(
        AppDirRow{"DriveRoot", "C:\\", "C:\\", "C:\\Config.dat"},
        AppDirRow{"DriveRootWithSlash", "D:/", "D:/", "D:/Config.dat"},
        AppDirRow{"ShareRoot", "\\\\server\\share\\", "\\\\server\\share\\",
                  "\\\\server\\share\\Config.dat"},
        AppDirRow{"Folder", "C:\\Quentra", "C:\\Quentra\\", "C:\\Quentra\\Config.dat"},
        AppDirRow{"FolderWithSlashes", "C:/Quentra/Upgrade", "C:/Quentra/Upgrade\\",
                  "C:/Quentra/Upgrade\\Config.dat"},
        AppDirRow{"FolderWithItsSeparator", "C:\\Program Files\\Upgrade\\",
                  "C:\\Program Files\\Upgrade\\", "C:\\Program Files\\Upgrade\\Config.dat"},
        AppDirRow{"FolderWithItsSlash", "C:/tools/", "C:/tools/", "C:/tools/Config.dat"},
        AppDirRow{"Empty", "", ".\\", ".\\Config.dat"}),
    rowName<AppDirRow>);

// A path splits after the last of either separator; the short name is what follows.
struct ShortNameRow {
    const char* name;
    const char* path;
    const char* directory;
    const char* shortName;
};

class WindowsShortName : public ::testing::TestWithParam<ShortNameRow> {};

TEST_P(WindowsShortName, FollowsTheLastOfEitherSeparator) {
    EXPECT_EQ(shortNameForPath(GetParam().path), GetParam().shortName);
    const SplitPath parts = splitPath(GetParam().path);
    EXPECT_EQ(parts.directory, GetParam().directory);
    EXPECT_EQ(parts.name, GetParam().shortName);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WindowsShortName,
    ::testing::Values(
        ShortNameRow{"Backslashes", "C:\\fw\\VXA-12_r3.bin", "C:\\fw\\", "VXA-12_r3.bin"},
        ShortNameRow{"Slashes", "C:/fw/VXA-12_r3.bin", "C:/fw/", "VXA-12_r3.bin"},
        ShortNameRow{"SlashThenBackslash", "C:\\fw/sub\\vtl_2.bin", "C:\\fw/sub\\", "vtl_2.bin"},
        ShortNameRow{"BackslashThenSlash", "C:/fw\\sub/vtl_2.bin", "C:/fw\\sub/", "vtl_2.bin"},
        ShortNameRow{"Share", "\\\\server\\share\\ondamajor.bin", "\\\\server\\share\\",
                     "ondamajor.bin"},
        ShortNameRow{"FolderOnly", "C:\\fw\\", "C:\\fw\\", ""},
        ShortNameRow{"DriveRoot", "C:\\", "C:\\", ""},
        ShortNameRow{"NameOnly", "vtl_2.bin", "", "vtl_2.bin"}),
    rowName<ShortNameRow>);

class WindowsFiles : public test_support::TempDirTest {
protected:
    fs::path write(const fs::path& relative, const std::string& content) {
        const fs::path p = dir_ / relative;
        fs::create_directories(p.parent_path());
        test_support::writeFile(p, content);
        return p;
    }

    NativeFileSystem nfs_;
};

// The directories' "_" and "." never reach the guess: split only at "\", a path with "/"
// before the short name would have the guess read "MY_FW.V2/HX12".
enum class Separators { Backslashes, Slashes, SlashBeforeTheName };

struct FirmwarePathRow {
    const char* name;
    const char* file; // in the folder my_fw.v2
    Separators separators;
    std::optional<std::string> prefix; // as Select looks it up
};

class WindowsFirmwarePath : public WindowsFiles,
                            public ::testing::WithParamInterface<FirmwarePathRow> {};

TEST_P(WindowsFirmwarePath, DirectoryNamesNeverReachTheGuess) {
    const FirmwarePathRow& row = GetParam();
    const fs::path file = write(fs::path("my_fw.v2") / row.file, std::string(300, 'x'));
    const std::string path = row.separators == Separators::Backslashes ? utf8(file)
                             : row.separators == Separators::Slashes
                                 ? withSlashes(utf8(file))
                                 : utf8(file.parent_path()) + "/" + row.file;
    EXPECT_EQ(shortNameForPath(path), row.file) << path;
    EXPECT_EQ(nfs_.fileLength(path), 300) << path;
    const auto prefix = prefixForShortName(shortNameForPath(path));
    EXPECT_EQ(prefix ? std::optional(toUpperAscii(*prefix)) : std::nullopt, row.prefix) << path;
}

INSTANTIATE_TEST_SUITE_P(
    Table, WindowsFirmwarePath,
    ::testing::Values(FirmwarePathRow{"Backslashes", "HX12.bin", Separators::Backslashes, "HX12"},
                      FirmwarePathRow{"Slashes", "HX12.bin", Separators::Slashes, "HX12"},
                      FirmwarePathRow{"SlashBeforeTheName", "HX12.bin",
                                      Separators::SlashBeforeTheName, "HX12"},
                      // No "_" or "." in the short name, though the folder has both.
                      FirmwarePathRow{"NoPrefixEndInTheName", "VTL", Separators::SlashBeforeTheName,
                                      std::nullopt}),
    rowName<FirmwarePathRow>);

// ---- The start-up's lookup of Config.dat: hidden and system files count as absent --------------

constexpr DWORD kDirectory = FILE_ATTRIBUTE_DIRECTORY;

struct LookupRow {
    const char* name;
    DWORD attributes; // of Config.dat; kDirectory: a folder of that name
    bool found;
};

class WindowsLookup : public WindowsFiles, public ::testing::WithParamInterface<LookupRow> {};

TEST_P(WindowsLookup, FindsOnlyAnOrdinaryVisibleConfigDatAndLoadsIt) {
    const LookupRow& row = GetParam();
    const fs::path config = dir_ / "Config.dat";
    if (row.attributes == kDirectory) {
        fs::create_directory(config);
    } else {
        write("Config.dat", "[FILE INFO]\r\nType=6050\r\nAddress=5\r\n");
        ASSERT_TRUE(SetFileAttributesW(config.c_str(), row.attributes));
    }
    EXPECT_EQ(nfs_.isOrdinaryFile(utf8(config)), row.found);
    EXPECT_EQ(nfs_.isOrdinaryFile(withSlashes(utf8(config))), row.found);

    IniFileStore store;
    const LoadedJob job = loadSettings(store, nfs_, withTrailingSeparator(utf8(dir_)));
    EXPECT_EQ(job.fromFile, row.found);
    EXPECT_EQ(job.listIndex, row.found ? 8 : 9);
    EXPECT_EQ(job.texts[JobField::Address], row.found ? "5" : "127");
}

INSTANTIATE_TEST_SUITE_P(
    Table, WindowsLookup,
    ::testing::Values(
        LookupRow{"Normal", FILE_ATTRIBUTE_NORMAL, true},
        LookupRow{"ReadOnly", FILE_ATTRIBUTE_READONLY, true},
        LookupRow{"Archive", FILE_ATTRIBUTE_ARCHIVE, true},
        LookupRow{"Hidden", FILE_ATTRIBUTE_HIDDEN, false},
        LookupRow{"System", FILE_ATTRIBUTE_SYSTEM, false},
        LookupRow{"HiddenSystem", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, false},
        LookupRow{"HiddenReadOnly", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY, false},
        LookupRow{"SystemArchive", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE, false},
        LookupRow{"Directory", kDirectory, false}),
    rowName<LookupRow>);

// ---- Replacing Config.dat -------------------------------------------------------------------

void commitWait(const std::string& path, std::int32_t wait) {
    IniFileStore store;
    test_support::putKey(store, path, "Wait", std::to_string(wait));
    store.commit();
}

std::string readWait(const std::string& path) {
    IniFileStore store;
    return test_support::getKey(store, path, "Wait");
}

constexpr DWORD kNoFile = 0;
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;

struct CommitRow {
    const char* name;
    DWORD attributes; // of the Config.dat there before; kNoFile: none
    bool refused;     // with the reason ERROR_ACCESS_DENIED, as Windows refuses the replace
};

class WindowsCommit : public WindowsFiles, public ::testing::WithParamInterface<CommitRow> {};

// A commit replaces Config.dat (a rename onto an existing file fails on Windows unless asked
// to replace), keeps it hidden or system as it was, and refuses a read-only one (Wine would
// replace it); nothing is left beside it.
TEST_P(WindowsCommit, ReplacesConfigDatKeepingItsAttributesOrRefusesAReadOnlyOne) {
    const CommitRow& row = GetParam();
    const fs::path config = dir_ / "Config.dat";
    const std::string path = utf8(config);
    if (row.attributes != kNoFile) {
        commitWait(path, 1);
        ASSERT_TRUE(SetFileAttributesW(config.c_str(), row.attributes));
    }
    for (const std::int32_t wait : {2, 3}) {
        if (!row.refused) {
            commitWait(path, wait);
            EXPECT_EQ(readWait(path), std::to_string(wait));
            continue;
        }
        try {
            commitWait(path, wait);
            ADD_FAILURE() << "a read-only Config.dat was replaced";
        } catch (const StoreError& e) {
            EXPECT_NE(std::string(e.what()).find(reasonOf(ERROR_ACCESS_DENIED)), std::string::npos)
                << e.what();
        }
        EXPECT_EQ(readWait(path), "1");
    }
    EXPECT_EQ(GetFileAttributesW(config.c_str()) & kKeptAttributes,
              row.attributes & kKeptAttributes);
    EXPECT_EQ(entries(dir_), (std::set<std::string>{"Config.dat", "Config.dat.lock"}));
    // Hidden, so that the folder shows the user only what is theirs.
    EXPECT_TRUE(GetFileAttributesW((dir_ / "Config.dat.lock").c_str()) & FILE_ATTRIBUTE_HIDDEN);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WindowsCommit,
    ::testing::Values(
        CommitRow{"NoFileYet", kNoFile, false}, CommitRow{"Normal", FILE_ATTRIBUTE_NORMAL, false},
        CommitRow{"Archive", FILE_ATTRIBUTE_ARCHIVE, false},
        CommitRow{"Hidden", FILE_ATTRIBUTE_HIDDEN, false},
        CommitRow{"System", FILE_ATTRIBUTE_SYSTEM, false},
        CommitRow{"HiddenSystemArchive",
                  FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE, false},
        CommitRow{"ReadOnly", FILE_ATTRIBUTE_READONLY, true},
        CommitRow{"HiddenReadOnly", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY, true}),
    rowName<CommitRow>);

// ---- Config.dat held by another program -------------------------------------------------------

enum class Holder { Lock, OpenFile, NewFile };

struct HeldRow {
    const char* name;
    Holder holder;
    DWORD share;  // of the open file
    bool inUse;   // FileInUseError, else the commit goes through
    DWORD reason; // the error whose text FileInUseError carries
    HeldFile file = HeldFile::Settings;
    int holdMs = 0; // NewFile: how long the new file is held, before its read-back and its rename
};

class WindowsHeld : public WindowsFiles, public ::testing::WithParamInterface<HeldRow> {};

// Holds `path` without sharing it, from now until `ms` have passed.
std::thread holdFor(const std::string& path, int ms) {
    const HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << path;
    return std::thread([file, ms] {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        CloseHandle(file);
    });
}

// A holder that does not let go within the store's wait gives FileInUseError with the
// system's reason, naming the held file, and leaves Config.dat whole with nothing beside it;
// once it lets go, the same store commits the same puts. A new file held as a virus scanner
// holds it, before its read-back and again before its rename, is waited for.
TEST_P(WindowsHeld, GivesFileInUseUntilLetGoAndLeavesTheFileWhole) {
    const HeldRow& row = GetParam();
    const fs::path config = dir_ / "Config.dat";
    const std::string path = utf8(config);
    commitWait(path, 1);
    const std::set<std::string> before = entries(dir_);

    std::optional<FileLock> lock;
    HANDLE file = INVALID_HANDLE_VALUE;
    std::vector<std::thread> holders;
    std::optional<std::string> error; // what a FileInUseError said
    std::optional<HeldFile> held;
    std::string otherError;
    const auto attempt = [&](const std::function<void()>& commit) {
        try {
            commit();
        } catch (const FileInUseError& e) {
            error = e.what();
            held = e.file;
        } catch (const StoreError& e) {
            otherError = e.what();
        }
    };
    IniFileStore store([&](const std::string& temporary, std::span<const IniPut> puts) {
        if (row.holder != Holder::NewFile || !holders.empty()) {
            return readAsTheConsumer(temporary, puts);
        }
        holders.push_back(holdFor(temporary, row.holdMs));
        ReadBack back = readAsTheConsumer(temporary, puts);
        holders.push_back(holdFor(temporary, row.holdMs));
        return back;
    });
    test_support::putKey(store, path, "Wait", "2");
    if (row.holder == Holder::Lock) {
        // The store waits 30 s for the lock; the lock alone is tried with a short patience.
        lock.emplace(path + ".lock");
        attempt([&] { const FileLock second(path + ".lock", std::chrono::milliseconds(50)); });
    } else {
        if (row.holder == Holder::OpenFile) {
            file = CreateFileW(config.c_str(), GENERIC_READ, row.share, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(file, INVALID_HANDLE_VALUE);
        }
        attempt([&] { store.commit(); });
    }
    EXPECT_EQ(otherError, "");
    EXPECT_EQ(error.has_value(), row.inUse) << error.value_or("");
    if (error) {
        EXPECT_NE(error->find(reasonOf(row.reason)), std::string::npos) << *error;
        EXPECT_EQ(held, row.file) << *error;
    }
    lock.reset();
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    for (std::thread& holder : holders) {
        holder.join();
    }
    EXPECT_EQ(readWait(path), row.inUse ? "1" : "2");
    // A new file still held when the save gave up cannot be removed then: the next save does.
    if (row.holder != Holder::NewFile) {
        EXPECT_EQ(entries(dir_), before);
    }
    store.commit();
    EXPECT_EQ(readWait(path), "2");
    EXPECT_EQ(entries(dir_), before);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WindowsHeld,
    ::testing::Values(
        HeldRow{"AnotherSaverHoldsTheLock", Holder::Lock, 0, true, ERROR_LOCK_VIOLATION,
                HeldFile::Lock},
        // As a reader that opens it the usual way (a C stream) holds it.
        HeldRow{"ReaderSharingReadAndWrite", Holder::OpenFile, FILE_SHARE_READ | FILE_SHARE_WRITE,
                true, ERROR_SHARING_VIOLATION},
        HeldRow{"ReaderSharingNothing", Holder::OpenFile, 0, true, ERROR_SHARING_VIOLATION},
        // A rename over a file held open is refused even when the holder shares deletion.
        HeldRow{"ReaderSharingDeletion", Holder::OpenFile,
                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, true, ERROR_ACCESS_DENIED},
        HeldRow{"NewFileHeldForAMoment", Holder::NewFile, 0, false, 0, HeldFile::NewFile, 200},
        HeldRow{"NewFileHeldForASecond", Holder::NewFile, 0, false, 0, HeldFile::NewFile, 1000},
        HeldRow{"NewFileHeldPastTheWait", Holder::NewFile, 0, true, ERROR_SHARING_VIOLATION,
                HeldFile::NewFile, 5000}),
    rowName<HeldRow>);

// ---- A reader in another process while saves run --------------------------------------------

// One of two jobs that differ in every one of the 23 keys.
UpgradeSettings job(int which) {
    JobControls controls{.texts = {{which == 0 ? "6050" : "6060", which == 0 ? "3" : "4",
                                    which == 0 ? "81920" : "1000", which == 0 ? "65536" : "512",
                                    which == 0 ? "a_1.bin" : "b_2.bin", which == 0 ? "0" : "7",
                                    which == 0 ? "1" : "2"}}};
    controls.boxStates.fill(which);
    return settingsFromControls(controls);
}

// Its keys and values as a save puts them.
std::map<std::string, std::string> jobKeys(int which) {
    testing::RecordingConfigStore store;
    saveSettings(store, "C:\\", job(which));
    std::map<std::string, std::string> keys;
    for (const auto& [where, value] : store.values) {
        keys[std::get<2>(where)] = value;
    }
    return keys;
}

// The section "FILE INFO" as the consumer reads it in one call.
std::map<std::string, std::string> profileSection(const std::wstring& config) {
    std::vector<wchar_t> buffer(4096);
    const DWORD size = GetPrivateProfileSectionW(L"FILE INFO", buffer.data(), 4096, config.c_str());
    std::map<std::string, std::string> section;
    for (std::wstring_view lines(buffer.data(), size); !lines.empty();) {
        const std::string line = narrow(lines.substr(0, lines.find(L'\0')));
        lines.remove_prefix(std::min(lines.size(), lines.find(L'\0') + 1));
        section[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    }
    return section;
}

// Set for the reader alone: the path of Config.dat.
constexpr wchar_t kReaderJob[] = L"QMU_READ_WHILE_SAVING";

// The reader, started by the test below, as the consumer reads: 300 rounds of the whole section
// in one call, which must be one job whole, then the 23 keys one by one, each of which must be
// one job's value (a save may come between two of them). No test: set up before any test runs,
// it exits with status 1 when it read neither job.
class ReaderWhileSaving : public ::testing::Environment {
public:
    void SetUp() override {
        std::vector<wchar_t> buffer(4096);
        const DWORD length = GetEnvironmentVariableW(kReaderJob, buffer.data(), 4096);
        if (length == 0) {
            return;
        }
        const std::wstring config(buffer.data(), length);
        const std::map<std::string, std::string> jobs[] = {jobKeys(0), jobKeys(1)};
        std::string wrong;
        for (int round = 0; round < 300; ++round) {
            const std::map<std::string, std::string> section = profileSection(config);
            if (section != jobs[0] && section != jobs[1]) {
                wrong += " [a section of " + std::to_string(section.size()) + " keys]";
            }
            for (const auto& [key, value] : jobs[0]) {
                const DWORD n =
                    GetPrivateProfileStringW(L"FILE INFO", widen(key).c_str(), L"(absent)",
                                             buffer.data(), 4096, config.c_str());
                const std::string read = narrow(std::wstring_view(buffer.data(), n));
                wrong += read != value && read != jobs[1].at(key) ? " " + key + "=" + read : "";
            }
        }
        std::fprintf(stderr, "%s", wrong.empty() ? "" : ("reads of neither job:" + wrong).c_str());
        std::exit(wrong.empty() ? 0 : 1);
    }
};

[[maybe_unused]] ::testing::Environment* const kReaderWhileSaving =
    ::testing::AddGlobalTestEnvironment(new ReaderWhileSaving);

// Saves alternate two jobs while the reader reads: it never finds a key missing or a job mixed.
TEST_F(WindowsFiles, AReaderInAnotherProcessNeverSeesAJobHalfSaved) {
    const std::string appDir = utf8(dir_) + "\\";
    const auto save = [&](int which) {
        IniFileStore store;
        saveSettings(store, appDir, job(which));
        store.commit();
    };
    save(0);
    std::wstring self(MAX_PATH, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), MAX_PATH));
    std::wstring command = L"\"" + self + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION reader{};
    ASSERT_TRUE(SetEnvironmentVariableW(kReaderJob, (dir_ / "Config.dat").c_str()));
    const BOOL started = CreateProcessW(self.c_str(), command.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &startup, &reader);
    SetEnvironmentVariableW(kReaderJob, nullptr);
    ASSERT_TRUE(started) << reasonOf(GetLastError());
    int saves = 0;
    for (; saves < 20000 && WaitForSingleObject(reader.hProcess, 0) == WAIT_TIMEOUT; ++saves) {
        save((saves + 1) % 2);
    }
    WaitForSingleObject(reader.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(reader.hProcess, &status);
    CloseHandle(reader.hThread);
    CloseHandle(reader.hProcess);
    EXPECT_EQ(status, 0U) << "the reader's failures are above";
    // The last save, of job saves % 2, is the file's job whole.
    EXPECT_EQ(profileSection((dir_ / "Config.dat").wstring()), jobKeys(saves % 2));
}

// ---- Config.dat as the profile API reads and writes it ----------------------------------------

// The text in the system's ANSI code page, when it holds it exactly.
std::optional<std::string> inAnsi(const std::string& utf8) {
    const std::wstring w = widen(utf8);
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

class WindowsStoreToProfile : public WindowsFiles,
                              public ::testing::WithParamInterface<test_support::EncodingSave> {};

// The bytes themselves are the store's test (which runs here too); here the profile API reads
// every key of each save as put, through the W functions and, where the code page holds the
// value, the A ones.
TEST_P(WindowsStoreToProfile, WhatTheStoreSavesTheProfileApiReadsAsTheWindowShowedIt) {
    if (systemAnsiCodePage().name() != "Windows-1252") {
        GTEST_SKIP() << "the rows are written for a Western system";
    }
    const test_support::EncodingSave& row = GetParam();
    const fs::path file = dir_ / "Config.dat";
    if (!row.before.empty()) {
        write("Config.dat", row.before);
    }
    IniFileStore store;
    for (const auto& [key, value] : row.puts) {
        test_support::putKey(store, utf8(file), key, value);
    }
    if (row.after.empty()) {
        EXPECT_THROW(store.commit(), UnencodableValueError);
        EXPECT_EQ(readFile(file), row.before);
        return;
    }
    store.commit();
    for (const auto& [key, value] : row.puts) {
        EXPECT_EQ(narrow(profileW(file, widen(key).c_str())), value) << key;
        if (const std::optional<std::string> ansi = inAnsi(value)) {
            EXPECT_EQ(profileA(file, key.c_str()), *ansi) << key;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Table, WindowsStoreToProfile,
                         ::testing::ValuesIn(test_support::encodingSaves()),
                         rowName<test_support::EncodingSave>);

// The bytes of the "File Name" line, from its key to its line end.
std::string fileNameLine(const std::string& bytes, bool utf16) {
    std::string key;
    for (const char c : std::string("File Name=")) {
        key += c;
        if (utf16) {
            key += '\0';
        }
    }
    const std::string end = utf16 ? std::string("\r\0", 2) : std::string("\r");
    const std::size_t at = bytes.find(key);
    if (at == std::string::npos) {
        return {};
    }
    return bytes.substr(at, bytes.find(end, at) - at);
}

struct ProfileToStoreRow {
    const char* name;
    bool unicodeFile; // the file starts as FF FE, so the profile API writes UTF-16
    bool wideApi;     // WritePrivateProfileStringW, else A with the ANSI code page's bytes
    std::string fileName;
};

class WindowsProfileToStore : public WindowsFiles,
                              public ::testing::WithParamInterface<ProfileToStoreRow> {};

TEST_P(WindowsProfileToStore, WhatTheProfileApiWritesTheStoreLoadsExactly) {
    const ProfileToStoreRow& row = GetParam();
    const fs::path file = dir_ / "Config.dat";
    if (row.unicodeFile) {
        write("Config.dat", "\xFF\xFE");
    }
    const std::optional<std::string> ansi = inAnsi(row.fileName);
    if (!row.wideApi && !ansi) {
        GTEST_SKIP() << "the A functions cannot even be given this name on this system";
    }
    const BOOL written = row.wideApi
                             ? WritePrivateProfileStringW(L"FILE INFO", L"File Name",
                                                          widen(row.fileName).c_str(), file.c_str())
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
    EXPECT_EQ(job.texts[JobField::FileName], narrow(profileW(file, L"File Name")));
    if (row.unicodeFile || ansi) {
        EXPECT_EQ(job.texts[JobField::FileName], row.fileName);
    }
    EXPECT_EQ(job.listIndex, 8);

    // Saved again with the name untouched, its line keeps every byte.
    const std::string line = fileNameLine(readFile(file), row.unicodeFile);
    ASSERT_FALSE(line.empty());
    saveSettings(store, withTrailingSeparator(utf8(dir_)),
                 settingsFromControls(JobControls{
                     {{"6050", "3", "1", "1", *job.texts[JobField::FileName], "0", "1"}}, {}}));
    store.commit();
    EXPECT_EQ(fileNameLine(readFile(file), row.unicodeFile), line);
    EXPECT_EQ(narrow(profileW(file, L"File Name")), *job.texts[JobField::FileName]);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WindowsProfileToStore,
    ::testing::Values(ProfileToStoreRow{"AnsiFileWAscii", false, true, "vtl_2.bin"},
                      ProfileToStoreRow{"AnsiFileWWindows1252", false, true, kMelange},
                      ProfileToStoreRow{"AnsiFileW1252Punctuation", false, true, kMixedLatin},
                      ProfileToStoreRow{"AnsiFileWCjk", false, true, kKanji},
                      ProfileToStoreRow{"AnsiFileAWindows1252", false, false, kMelange},
                      ProfileToStoreRow{"AnsiFileACyrillic", false, false, kCyrillic},
                      ProfileToStoreRow{"UnicodeFileWCjk", true, true, kKanji},
                      ProfileToStoreRow{"UnicodeFileWCyrillic", true, true, kCyrillic},
                      ProfileToStoreRow{"UnicodeFileWBeyondTheBmp", true, true, kEmoji},
                      ProfileToStoreRow{"UnicodeFileAWindows1252", true, false, kMelange}),
    rowName<ProfileToStoreRow>);

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
