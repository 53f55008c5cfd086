// The judge of the other tests must itself tell a kept file from a changed one.

#include "ini_oracle.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace quentra::reliability {
namespace {

using test_support::utf16File;

struct OracleCase {
    const char* name;
    std::string before;
    std::string after;
    bool kept;
};

const std::string kUtf8 = "\xEF\xBB\xBF";

const OracleCase kCases[] = {
    {"Utf16ValueChanged", utf16File("[FILE INFO]\r\nType=1\r\n; c"),
     utf16File("[FILE INFO]\r\nType=22\r\n; c"), true},
    {"Utf16BigEndianValueChanged", utf16File("[FILE INFO]\r\nType=1\r\n", true),
     utf16File("[FILE INFO]\r\nType=22\r\n", true), true},
    {"Utf16ForeignLineChanged", utf16File("; a\r\n[FILE INFO]\r\nType=1\r\n"),
     utf16File("; b\r\n[FILE INFO]\r\nType=1\r\n"), false},
    {"Utf16OddByteBecomesReplacement", utf16File("[X]\r\nA=1") + "Z",
     utf16File("[X]\r\nA=1") + "\xFD\xFF" + utf16File("\r\n[FILE INFO]\r\nType=1\r\n").substr(2),
     true},
    {"Utf16BigEndianOddByteBecomesReplacement", utf16File("[X]\r\nA=1", true) + "Z",
     utf16File("[X]\r\nA=1", true) + "\xFF\xFD" +
         utf16File("\r\n[FILE INFO]\r\nType=1\r\n", true).substr(2),
     true},
    {"Utf8CutShortEndBecomesReplacement", kUtf8 + "[X]\nA=1\xF0\x9F\n",
     kUtf8 + "[X]\nA=1\xEF\xBF\xBD\n[FILE INFO]\nType=1\n", true},
    {"Utf8CutShortEndRewrittenWithNothingAfterIt", kUtf8 + "[FILE INFO]\nType=1\n; \xE2",
     kUtf8 + "[FILE INFO]\nType=2\n; \xEF\xBF\xBD", false},
    {"Utf8BytesReadingTheSameRewritten", kUtf8 + "; \xC0\n[FILE INFO]\nType=1\n",
     kUtf8 + "; \xC1\n[FILE INFO]\nType=2\n", false},
    {"Windows1252ByteRewrittenAsUtf8", "; \xE9\n[FILE INFO]\nType=1\n",
     "; \xC3\xA9\n[FILE INFO]\nType=2\n", false},
    {"MarkAddedToAFile", "[FILE INFO]\nType=1\n", utf16File("[FILE INFO]\nType=1\n"), false},
    {"ValueChanged", "[FILE INFO]\r\nType=1\r\n; c\r\n", "[FILE INFO]\r\nType=22\r\n; c\r\n", true},
    {"KeyAloneGainsAValue", "[FILE INFO]\r\nType \x1A\r\n", "[FILE INFO]\r\nType \x1A=1\r\n", true},
    {"KeyAloneStaysAlone", "[FILE INFO]\nType\n", "[FILE INFO]\nType\nType=1\n", false},
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

struct ReadCase {
    const char* name;
    std::string bytes;
    const char* section;
    const char* key;
    std::optional<std::string> value;
};

using namespace std::string_literals;

const ReadCase kReads[] = {
    {"QuotesAndWhiteSpaceAroundRemoved",
     kUtf8 + "; c\r\n[ file info ]\rTYPE = ' 1 '\ntype=2\n[Other]\nA=x\n[FILE INFO]\nWait=3\n",
     "FILE INFO", "Type", " 1 "},
    {"SecondSectionOfANameIgnored", kUtf8 + "[S]\nA=1\n[Other]\n[s]\nWait=3\n", "S", "Wait",
     std::nullopt},
    {"NameAskedForTrimmed", "[Other]\nA=x\n", "\x0Bother ", "\x1A a\t", "x"},
    {"AllWhiteSpaceOfTheConsumerTrimmed", "\x1A[S]\x0B\n\x0C\x1A A \x0B= \x1Ax\x0C\x1A\n", "S", "A",
     "x"},
    {"SectionNameRunsToTheLastBracket", "[S]x]\nA=1\n", "S]x", "A", "1"},
    {"SectionNameTrimmedThenCutAtNul", "[ S \0x]\nA=1\n[S]\nA=2\n"s, "S", "A", "2"},
    {"SectionNameCutAtNul", "[S\0 x]\nA=1\n"s, "S", "A", "1"},
    {"UnclosedBracketIsAKeyLine", "[S]\n[x=1\nA=2\n", "S", "[x", "1"},
    {"KeyNameTrimmedThenCutAtNul", "[S]\nA \0=1\nA=2\n"s, "S", "A", "2"},
    {"KeyNameCutAtNul", "[S]\nA\0 b=1\n"s, "S", "A", "1"},
    {"KeyAloneReadsAsAbsent", "[S]\nA\nB=4\n", "S", "A", std::nullopt},
    {"KeyAloneHidesALaterKey", "[S]\nA\nA=4\n", "S", "A", std::nullopt},
    {"CommentIsNoKey", "[S]\n ;A=1\n", "S", ";A", std::nullopt},
    {"ValueTrimmedThenCutAtNul", "[S]\nA= x \0y \n"s, "S", "A", "x "},
    {"QuotesRemovedAfterTheNulCut", "[S]\nA=\"x\0\"\n"s, "S", "A", "\"x"},
    {"Windows1252", "[S]\nA=\x80\x81\xE9\n", "S", "A", "\xE2\x82\xAC\xC2\x81\xC3\xA9"},
    {"Utf16LoneSurrogateKeptOddByteReplaced", utf16File("[S]\r\nA=\xC3\xA9") + "\x3D\xD8" + "Z",
     "S", "A", "\xC3\xA9\xED\xA0\xBD\xEF\xBF\xBD"},
    {"Utf16SurrogatePair", utf16File("[S]\r\nA=") + "\x3D\xD8\x00\xDE"s, "S", "A",
     "\xF0\x9F\x98\x80"},
    {"Utf16BigEndian", utf16File("[S]\r\nA=\xC3\xA9", true), "S", "A", "\xC3\xA9"},
    {"Utf8SecondByteOutOfRangeIsTaken", kUtf8 + "[S]\nA=\xED\xA0\x80|\xE0\x80|\xF4\x90\x80\x80\n",
     "S", "A", "\xEF\xBF\xBD\xEF\xBF\xBD|\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"Utf8InvalidLeadsAndStrayBytes", kUtf8 + "[S]\nA=\xC0\xAF\xF5\x80\n", "S", "A",
     "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"Utf8SequenceEndsBeforeANonContinuationByte", kUtf8 + "[S]\nA=\xE6\xBC\xA2\xE6\xBC 1\n", "S",
     "A", "\xE6\xBC\xA2\xEF\xBF\xBD 1"},
    {"Utf8SequenceCutShortByTheEndTakesTheRest", kUtf8 + "[S]\nA=x\xF0 1", "S", "A",
     "x\xEF\xBF\xBD"},
};

class ReliabilityOracleReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReliabilityOracleReadTest, ReadsAsTheConsumerReads) {
    const ReadCase& c = GetParam();
    EXPECT_EQ(IniOracle(c.bytes).value(c.section, c.key), c.value);
}

INSTANTIATE_TEST_SUITE_P(Table, ReliabilityOracleReadTest, ::testing::ValuesIn(kReads),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quentra::reliability
