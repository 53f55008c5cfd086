// The judge of the other tests must itself tell a kept file from a changed one.

#include "ini_oracle.hpp"

#include <gtest/gtest.h>

#include <string>

namespace quentra::reliability {
namespace {

struct OracleCase {
    const char* name;
    std::string before;
    std::string after;
    bool kept;
};

// UTF-16LE with its mark, for texts of ASCII and Latin-1 only.
std::string utf16(const std::string& latin1) {
    std::string out = "\xFF\xFE";
    for (const char c : latin1) {
        out += c;
        out += '\0';
    }
    return out;
}

const OracleCase kCases[] = {
    {"Utf16ValueChanged", utf16("[FILE INFO]\r\nType=1\r\n; c"),
     utf16("[FILE INFO]\r\nType=22\r\n; c"), true},
    {"Utf16ForeignLineChanged", utf16("; a\r\n[FILE INFO]\r\nType=1\r\n"),
     utf16("; b\r\n[FILE INFO]\r\nType=1\r\n"), false},
    {"Utf16OddByteBecomesReplacement", utf16("[X]\r\nA=1") + "Z",
     utf16("[X]\r\nA=1") + "\xFD\xFF" + utf16("\r\n[FILE INFO]\r\nType=1\r\n").substr(2), true},
    {"Windows1252ByteRewrittenAsUtf8", "; \xE9\n[FILE INFO]\nType=1\n",
     "; \xC3\xA9\n[FILE INFO]\nType=2\n", false},
    {"MarkAddedToAFile", "[FILE INFO]\nType=1\n", utf16("[FILE INFO]\nType=1\n"), false},
    {"ValueChanged", "[FILE INFO]\r\nType=1\r\n; c\r\n", "[FILE INFO]\r\nType=22\r\n; c\r\n", true},
    {"KeyAddedAfterLastKey", "[FILE INFO]\nA=1\n[X]\n", "[FILE INFO]\nA=1\nType=1\n[X]\n", true},
    {"SectionAdded", "[X]\nA=1\n", "[X]\nA=1\n[FILE INFO]\nType=1\n", true},
    {"LastLineGainsALineBreak", "[X]\nA=1", "[X]\nA=1\n[FILE INFO]\nType=1\n", true},
    {"ForeignByteChanged", "[X]\nA=1\n[FILE INFO]\nType=1\n", "[X]\nA=2\n[FILE INFO]\nType=1\n",
     false},
    {"ForeignLineEndChanged", "[X]\r\nA=1\r\n", "[X]\nA=1\r\n[FILE INFO]\r\nType=1\r\n", false},
    {"ForeignLineDropped", "; c\n[FILE INFO]\nType=1\n", "[FILE INFO]\nType=1\n", false},
    {"KeyTextOfTouchedKeyChanged", "[FILE INFO]\nType =1\n", "[FILE INFO]\nType=1\n", false},
    {"LineEndOfTouchedKeyChanged", "[FILE INFO]\r\nType=1\r\n", "[FILE INFO]\r\nType=1\n", false},
    {"SecondDuplicateChanged", "[FILE INFO]\nType=1\nType=2\n", "[FILE INFO]\nType=1\nType=3\n",
     false},
    {"ByteOrderMarkDropped", "\xEF\xBB\xBF[FILE INFO]\nType=1\n", "[FILE INFO]\nType=1\n", false},
    {"LinesReordered", "; a\n; b\n[FILE INFO]\nType=1\n", "; b\n; a\n[FILE INFO]\nType=1\n", false},
};

class ReliabilityOracleTest : public ::testing::TestWithParam<OracleCase> {};

TEST_P(ReliabilityOracleTest, TellsAKeptFileFromAChangedOne) {
    const std::set<IniOracle::Name> touched{{"file info", "type"}};
    const std::string difference = outsideDifference(GetParam().before, GetParam().after, touched);
    EXPECT_EQ(difference.empty(), GetParam().kept) << difference;
}

INSTANTIATE_TEST_SUITE_P(Table, ReliabilityOracleTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReliabilityOracle, ReadsLikeTheFileConvention) {
    const IniOracle file("\xEF\xBB\xBF; c\r\n[ file info ]\rTYPE = ' 1 '\n"
                         "type=2\n[Other]\nA=x\n[FILE INFO]\nWait=3\n");
    EXPECT_EQ(file.value("FILE INFO", "Type"), " 1 ");
    EXPECT_EQ(file.value("FILE INFO", "Wait"), std::nullopt); // second section of that name
    EXPECT_EQ(file.value("other", " a "), "x");

    // Each encoding decoded on its own: Windows-1252 without a mark, UTF-16LE after FF FE.
    EXPECT_EQ(IniOracle("[S]\nA=\x80\x81\xE9\n").value("s", "a"), "\xE2\x82\xAC\xC2\x81\xC3\xA9");
    EXPECT_EQ(IniOracle(utf16("[S]\r\nA=\xE9") + "\x3D\xD8" + "Z").value("s", "a"),
              "\xC3\xA9\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(IniOracle("\xEF\xBB\xBF[S]\nA=\xE6\xBC\xA2\xE6\xBC\n").value("s", "a"),
              "\xE6\xBC\xA2\xEF\xBF\xBD");
}

} // namespace
} // namespace quentra::reliability
