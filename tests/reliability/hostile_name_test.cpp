// Hostile firmware file names on their way from the window's controls into Config.dat: the file
// stays well formed and the name reads back exactly, or the save is refused with a message and
// nothing is written (also when the file's encoding cannot hold the name).

#include "core/platform/native_file_system.hpp"
#include "reliability_support.hpp"

#include <gtest/gtest.h>

#include <string>

namespace quentra::reliability {
namespace {

using namespace std::string_literals;

struct HostileName {
    const char* label;
    std::string name;
    bool refused;
    bool beyondTheFilesEncoding = false; // the saved job's file is in Windows-1252
};

const HostileName kHostileNames[] = {
    {"LineFeed", "a\nb.bin", true},
    {"CarriageReturn", "a\rb.bin", true},
    {"CarriageReturnLineFeed", "a.bin\r\nType=1", true},
    {"Nul", "a\0b.bin"s, true},
    {"NewSectionAfterLineBreak", "x\n[FILE INFO]\nType=9", true},
    {"TrailingLineBreak", "x.bin\r\n", true},
    {"TabInside", "tab\there.bin", false},
    {"Equals", "a=b.bin", false},
    {"OnlyEquals", "=", false},
    {"OpeningBracket", "[x].bin", false},
    {"HeaderLook", "[FILE INFO]", false},
    {"Semicolon", ";x.bin", false},
    {"Hash", "#x.bin", false},
    {"DoubleQuotes", "\"q.bin\"", false},
    {"SingleQuotes", "'q.bin'", false},
    {"OneQuote", "\"", false},
    {"QuoteInside", "x\"y'.bin", false},
    {"QuotedBlanks", "\" a \"", false},
    {"LeadingBlank", " lead.bin", false},
    {"TrailingBlank", "trail.bin ", false},
    {"LeadingTab", "\tlead.bin", false},
    {"OnlyBlanks", "   ", false},
    {"Empty", "", false},
    {"Latin", "na\xC3\xAFve_\xC3\xBC.bin", false},
    {"Japanese", "\xE6\x97\xA5\xE6\x9C\xAC_1.bin", false, true},
    {"Windows1252Punctuation", "\xE2\x80\x9Cq\xE2\x80\x9D \xE2\x82\xAC.bin", false},
    {"InvalidUtf8", "\xFF\xFE_1.bin", true},
    {"Backslashes", "C:\\fw\\a_1.bin", false},
    {"Long", std::string(4096, 'n') + ".bin", false},
};

class ReliabilityHostileNameTest : public ScratchDirTest,
                                   public ::testing::WithParamInterface<HostileName> {};

TEST_P(ReliabilityHostileNameTest, NameReadsBackExactlyOrIsRefused) {
    saveJob(appDir_, 3);
    const std::string before = readFile(file_);
    core::JobControls controls = jobControls(4);
    controls.texts[core::JobField::FileName] = GetParam().name;

    core::UpgradeSettings settings;
    try {
        settings = core::settingsFromControls(controls);
    } catch (const core::InvalidValueError& e) {
        EXPECT_TRUE(GetParam().refused) << "refused: " << e.what();
        EXPECT_EQ(e.field, core::JobField::FileName);
        EXPECT_NE(std::string(e.what()), "");
        EXPECT_EQ(readFile(file_), before);
        return;
    }
    ASSERT_FALSE(GetParam().refused) << "accepted a name that one line cannot hold";
    core::IniFileStore store;
    core::saveSettings(store, appDir_, settings);
    if (GetParam().beyondTheFilesEncoding) {
        EXPECT_THROW(store.commit(), core::UnencodableValueError);
        EXPECT_EQ(readFile(file_), before);
        return;
    }
    store.commit();

    // Well formed: the header and the 23 key lines, nothing else, the job's other keys intact.
    const std::string after = readFile(file_);
    const IniOracle file(after);
    ASSERT_EQ(file.lines.size(), 24u) << after;
    for (const auto& line : file.lines) {
        EXPECT_NE(line.kind, IniOracle::Line::Other) << line.content;
        EXPECT_EQ(line.eol, "\r\n");
    }
    EXPECT_EQ(file.value(core::kSectionName, "File Name"), GetParam().name);
    EXPECT_EQ(file.value(core::kSectionName, "File Length"), "100004");
    EXPECT_EQ(file.value(core::kSectionName, "Wait"), "12");

    core::IniFileStore reader;
    core::NativeFileSystem files;
    const core::LoadedJob loaded = core::loadSettings(reader, files, appDir_);
    EXPECT_EQ(loaded.texts[core::JobField::FileName], GetParam().name);
    EXPECT_EQ(loaded.texts[core::JobField::Type], "4");
}

INSTANTIATE_TEST_SUITE_P(Table, ReliabilityHostileNameTest, ::testing::ValuesIn(kHostileNames),
                         [](const auto& info) { return std::string(info.param.label); });

} // namespace
} // namespace quentra::reliability
