// The reading rules of Config.dat (the shared table) read by GetPrivateProfileStringW itself:
// each row's key reads as the table says, and the store reads that key and every key of the
// job as the profile API does, present or absent. Built only for Windows (run under Wine).
// A UTF-16 file's odd last byte is left out of the table's rows: the profile API reads it
// together with the byte after its own buffer.

#include "core/ini_document.hpp"
#include "core/platform/ansi_code_page.hpp"
#include "core/platform/ini_file_store.hpp"
#include "core/platform/wide_text.hpp"
#include "core/upgrade_settings.hpp"
#include "support/config_dat_reads.hpp"
#include "support/settings_file_support.hpp"
#include "support/test_support.hpp"
#include "support/utf16_text.hpp"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quentra::core {
namespace {

// What the profile API reads for a key; nothing when it returns its default.
std::optional<std::string> profileValue(const std::wstring& file, const std::string& section,
                                        const std::string& key) {
    const wchar_t* absent = L"\x1(absent)";
    std::vector<wchar_t> buffer(1 << 16);
    const DWORD n =
        GetPrivateProfileStringW(widen(section).c_str(), widen(key).c_str(), absent, buffer.data(),
                                 static_cast<DWORD>(buffer.size()), file.c_str());
    const std::wstring got(buffer.data(), n);
    if (got == absent) {
        return std::nullopt;
    }
    return test_support::utf8OfUnits(std::u16string(got.begin(), got.end()));
}

// A UTF-16 file of an odd length: the profile API reads its last byte with whatever follows it
// in memory.
bool oddUtf16(const std::string& bytes) {
    return (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) &&
           bytes.size() % 2 != 0;
}

// Bytes of a file without a mark outside ASCII: read in the system's code page, which the
// table's rows take to be Windows-1252.
bool readInTheCodePage(const std::string& bytes) {
    const bool marked = bytes.starts_with("\xEF\xBB\xBF") || bytes.starts_with("\xFF\xFE") ||
                        bytes.starts_with("\xFE\xFF");
    return !marked && std::any_of(bytes.begin(), bytes.end(),
                                  [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

class ProfileApi : public test_support::TempDirTest,
                   public ::testing::WithParamInterface<test_support::ConfigDatRead> {};

TEST_P(ProfileApi, ReadsAsTheTableSaysAndAsTheStoreReads) {
    const test_support::ConfigDatRead& row = GetParam();
    if (readInTheCodePage(row.bytes) && systemAnsiCodePage().name() != "Windows-1252") {
        GTEST_SKIP() << "the row is written for a Western system";
    }
    if (oddUtf16(row.bytes)) {
        GTEST_SKIP() << "the profile API reads past the end of the file";
    }
    const std::filesystem::path file = dir_ / "Config.dat";
    test_support::writeFile(file, row.bytes);
    std::vector<std::pair<std::string, std::string>> names;
    if (row.wineReads != nullptr) {
        EXPECT_EQ(profileValue(file.wstring(), row.section, row.key), row.wineReads);
    } else {
        EXPECT_EQ(profileValue(file.wstring(), row.section, row.key), row.value);
        names.emplace_back(row.section, row.key);
    }

    const IniDocument document(row.bytes, systemAnsiCodePage());
    IniFileStore store;
    store.putFilePath(test_support::utf8(file));
    for (const std::string& key : test_support::jobKeys()) {
        names.emplace_back(kSectionName, key);
    }
    for (const auto& [section, key] : names) {
        SCOPED_TRACE(section + "/" + key);
        const std::optional<std::string> consumer = profileValue(file.wstring(), section, key);
        EXPECT_EQ(document.value(section, key), consumer);
        store.putSectionName(section);
        store.putKeyName(key);
        EXPECT_EQ(store.getKeyValue(), consumer.value_or(""));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ProfileApi, ::testing::ValuesIn(test_support::configDatReads()),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quentra::core
