// The judge of the other tests must itself tell a kept file from a changed one.

#include "ini_oracle.hpp"
#include "support/config_dat_reads.hpp"
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
    // A UTF-16BE file is written as UTF-16LE, which Windows' profile API reads.
    {"Utf16BigEndianValueChanged", utf16File("[FILE INFO]\r\nType=1\r\n", true),
     utf16File("[FILE INFO]\r\nType=22\r\n"), true},
    {"Utf16BigEndianKeptBigEndian", utf16File("[FILE INFO]\r\nType=1\r\n", true),
     utf16File("[FILE INFO]\r\nType=22\r\n", true), false},
    {"Utf16ForeignLineChanged", utf16File("; a\r\n[FILE INFO]\r\nType=1\r\n"),
     utf16File("; b\r\n[FILE INFO]\r\nType=1\r\n"), false},
    {"Utf16OddByteBecomesReplacement", utf16File("[X]\r\nA=1") + "Z",
     utf16File("[X]\r\nA=1") + "\xFD\xFF" + utf16File("\r\n[FILE INFO]\r\nType=1\r\n").substr(2),
     true},
    {"Utf16BigEndianOddByteBecomesReplacement", utf16File("[X]\r\nA=1", true) + "Z",
     utf16File("[X]\r\nA=1") + "\xFD\xFF" + utf16File("\r\n[FILE INFO]\r\nType=1\r\n").substr(2),
     true},
    // Only a header is moved off a UTF-8 mark's line.
    {"Utf8MarkLineEndedBeforeAComment", kUtf8 + "; c\n[FILE INFO]\nType=1\n",
     kUtf8 + "\n; c\n[FILE INFO]\nType=1\n", false},
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

// The reading rules of Config.dat: the shared table, read by the judge.
class ReliabilityOracleReadTest : public ::testing::TestWithParam<test_support::ConfigDatRead> {};

TEST_P(ReliabilityOracleReadTest, ReadsAsTheConsumerReads) {
    const test_support::ConfigDatRead& row = GetParam();
    EXPECT_EQ(IniOracle(row.bytes).value(row.section, row.key), row.value);
}

INSTANTIATE_TEST_SUITE_P(Table, ReliabilityOracleReadTest,
                         ::testing::ValuesIn(test_support::configDatReads()),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quentra::reliability
