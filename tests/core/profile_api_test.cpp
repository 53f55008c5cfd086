// Files of every kind that the consumer's profile API reads in a way of its own (UTF-16BE, lone
// surrogates, the other white space, NUL, several "]", keys alone, the system's UTF-8
// decoding), read both by the store and by GetPrivateProfileStringW itself: every key of the
// job must read the same, present or absent. Built only for Windows (run under Wine). A UTF-16
// file's odd last byte is left out: the profile API reads it together with the byte after its
// own buffer.

#include "core/ini_document.hpp"
#include "core/platform/ansi_code_page.hpp"
#include "core/platform/ini_file_store.hpp"
#include "core/upgrade_settings.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace quentra::core {
namespace {

using namespace std::string_literals;

using test_support::utf16File;

// UTF-8 bytes after EF BB BF.
std::string withUtf8Mark(const std::string& bytes) {
    return "\xEF\xBB\xBF" + bytes;
}

// UTF-16 to the store's texts: a pair as its character, a lone surrogate in the generalized
// UTF-8 form.
std::string text(const std::wstring& units) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        unsigned long c = static_cast<char16_t>(units[i]);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(units[++i]) - 0xDC00);
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        const int tail = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        out += static_cast<char>(((0xFF00 >> (tail + 1)) & 0xFF) | (c >> (6 * tail)));
        for (int k = tail - 1; k >= 0; --k) {
            out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
        }
    }
    return out;
}

std::vector<std::string> jobKeys() {
    std::vector<std::string> keys{"Type",      "Address", "File Length", "Block Size",
                                  "File Name", "Wait",    "Console"};
    for (int p = 1; p <= kPortCount; ++p) {
        keys.push_back(portKey(p));
    }
    return keys;
}

// What the profile API reads for a key of "FILE INFO"; nothing when it returns its default.
std::optional<std::string> profileValue(const std::wstring& file, const std::string& key) {
    const std::wstring wideKey(key.begin(), key.end()); // the job's keys are ASCII
    const wchar_t* absent = L"\x1(absent)";
    std::vector<wchar_t> buffer(1 << 16);
    const DWORD n = GetPrivateProfileStringW(L"FILE INFO", wideKey.c_str(), absent, buffer.data(),
                                             static_cast<DWORD>(buffer.size()), file.c_str());
    const std::wstring got(buffer.data(), n);
    if (got == absent) {
        return std::nullopt;
    }
    return text(got);
}

struct ProfileFile {
    const char* what;
    std::string bytes;
    // A key that the file was made to show, and what it reads as: the row's own check that it
    // is read the way it was meant to be.
    const char* key;
    std::optional<std::string> value;
};

const std::string kFffd = "\xEF\xBF\xBD";

const ProfileFile kFiles[] = {
    {"Utf16BigEndian",
     utf16File(u"[FILE INFO]\r\nType=6050\r\nFile Name=\u00E9t\u00E9.bin\r\nWait = ' 3 '\r\n",
               true),
     "File Name", "\xC3\xA9t\xC3\xA9.bin"},
    {"Utf16LoneSurrogates",
     utf16File(u"[FILE INFO]\r\nFile Name=a"s + char16_t(0xD800) + u"b" + char16_t(0xDC00) +
               u"\r\nConsole=" + char16_t(0xDC00) + char16_t(0xD800) + u"\r\nType=" +
               char16_t(0xD83D) + char16_t(0xDE00) + u"\r\n"),
     "File Name",
     "a\xED\xA0\x80"
     "b\xED\xB0\x80"},
    {"Utf16BigEndianLoneSurrogates",
     utf16File(u"[FILE INFO]\r\nConsole="s + char16_t(0xDBFF) + u"\r\nAddress=1" + char16_t(0xDC00),
               true),
     "Address", "1\xED\xB0\x80"},
    {"AllWhiteSpace",
     "\x1A[FILE INFO]\x0B\r\n\x0C Type \x1A= \x0B"
     "6050\x1A\r\n\tWait\x0C=\x0C\x1A\r\n File Name = \"\x0B"
     "a\x0B\"\x1A\r\nConsole=\x1A\r\n",
     "Type", "6050"},
    {"NulInKeysAndValues",
     "[FILE INFO]\r\nType \0=1\r\nType=2\r\nAddress=3 \0x\r\nFile Name=\"a\0\"\r\n"
     "Wait\0x=4\r\nConsole=\0\r\n"s,
     "Address", "3 "},
    {"NulInSectionNames", "[FILE INFO \0]\r\nType=1\r\n[FILE INFO\0 x]\r\nType=2\r\n"s, "Type",
     "2"},
    {"SeveralBrackets",
     "[FILE INFO]x]\r\nType=1\r\n[FILE INFO] ]\r\nType=2\r\n[FILE INFO]\r\n[x=5\r\nType=3\r\n"
     "]Address=4\r\n",
     "Type", "3"},
    {"KeysAlone",
     "[FILE INFO]\r\nType\r\nType=1\r\nAddress \x1A\r\nAddress=2\r\n;Wait\r\nWait=3\r\nConsole\r\n",
     "Type", std::nullopt},
    {"DuplicateSections",
     "[FILE INFO]\r\nType=1\r\n[Other]\r\nAddress=9\r\n[file info]\r\nAddress=2\r\nType=3\r\n",
     "Address", std::nullopt},
    {"Utf8AsTheSystemDecodesIt",
     withUtf8Mark(
         "[FILE INFO]\r\nType=\xED\xA0\x80|\xE0\x80|\xF4\x90\x80\x80\r\nAddress=\xC0\xAF\xF5\x80"
         "\r\nFile Name=\xE6\xBC\xA2\xE6\xBC x\r\nConsole=\xF0\x9F\x98\x80\r\nWait=x\xF0\r\n"),
     "Type", kFffd + kFffd + "|" + kFffd + "|" + kFffd + kFffd + kFffd},
    {"AnsiCodePage", "[FILE INFO]\r\nFile Name=\x80\x81\xE9\xFF.bin\r\nType=1\r\n", "Type", "1"},
};

class ProfileApi : public test_support::TempDirTest,
                   public ::testing::WithParamInterface<ProfileFile> {};

TEST_P(ProfileApi, TheStoreReadsEveryJobKeyAsTheProfileApiDoes) {
    const ProfileFile& row = GetParam();
    const std::filesystem::path file = dir_ / "Config.dat";
    test_support::writeFile(file, row.bytes);

    const IniDocument document(row.bytes, systemAnsiCodePage());
    IniFileStore store;
    store.putFilePath(test_support::utf8(file));
    store.putSectionName(std::string(kSectionName));
    for (const std::string& key : jobKeys()) {
        SCOPED_TRACE(key);
        const std::optional<std::string> consumer = profileValue(file.wstring(), key);
        EXPECT_EQ(document.value(kSectionName, key), consumer);
        store.putKeyName(key);
        EXPECT_EQ(store.getKeyValue(), consumer.value_or(""));
    }
    EXPECT_EQ(profileValue(file.wstring(), row.key), row.value) << "the row is not read as meant";
}

INSTANTIATE_TEST_SUITE_P(Files, ProfileApi, ::testing::ValuesIn(kFiles),
                         [](const auto& info) { return std::string(info.param.what); });

} // namespace
} // namespace quentra::core
