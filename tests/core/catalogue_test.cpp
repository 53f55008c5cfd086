#include "core/catalogue.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace quentra::core {
namespace {

struct Row {
    std::int16_t index;
    const char* name;
    std::int16_t code;
};

// Written out again here, not derived from the table in the code, so a changed row shows.
const Row kRows[] = {
    {0, "VXO12", 7220},
    {1, "VXA12", 7210},
    {2, "PLM12", 2101},
    {3, "HTB24E", 2020},
    {4, "VRN12", 6010},
    {5, "ONDA", 6020},
    {6, "ONDAMAJOR", 6021},
    {7, "ONDALEGACY", 6022},
    {8, "VTL", 6050},
    {9, "VWL", 6060},
    {10, "GRF", 2301},
    {11, "GRF1800", 2310},
    {12, "VPQ-D", 5011},
    {13, "VPQ-A", 5010},
    {14, "Corvane Input", 3601},
    {15, "Corvane Return", 3605},
    {16, "Corvane Control Room Monitor", 3610},
    {17, "Corvane Remote Control", 3612},
    {18, "Corvane Studio Monitor", 3616},
    {19, "Corvane Console COntrol", 3620},
    {20, "TZ Input", 3631},
    {21, "TZ Control Room Monitor", 3635},
    {22, "TZ Console COntrol", 3640},
    {23, "Basalt Input", 3632},
    {24, "MWB6", 3671},
    {25, "Lectern", 3650},
    {26, "MWA", 3699},
    {27, "DXR24", 3550},
    {28, "HX-12", 3180},
    {29, "HXM-60", 3698},
    {30, "HX24A", 3125},
    {31, "Unknown", 0},
};

TEST(Catalogue, RowsNamesAndCodesInOrder) {
    const auto names = displayNames();
    ASSERT_EQ(kCatalogue.size(), 32u);
    for (const Row& row : kRows) {
        const auto& entry = kCatalogue[static_cast<std::size_t>(row.index)];
        EXPECT_EQ(entry.index, row.index);
        EXPECT_EQ(entry.displayName, row.name) << row.index;
        EXPECT_EQ(names[static_cast<std::size_t>(row.index)], row.name) << row.index;
        EXPECT_EQ(entry.typeCode, row.code) << row.index;
        EXPECT_EQ(codeForIndex(row.index), row.code) << row.index;
    }
}

TEST(Catalogue, CodeAndIndexAreInversesOverRows0To30) {
    for (std::int16_t i = 0; i < 31; ++i) {
        EXPECT_EQ(indexForCode(codeForIndex(i)), i);
    }
}

struct CodeCase {
    std::int64_t code;
    std::int16_t index;
};

TEST(Catalogue, IndexForCode) {
    const CodeCase cases[] = {
        {3632, 23},          {6023, 31},      {0, 31},         {6060, 9},   {7220, 0},
        {3125, 30},          {-1, 31},        {999, 31},       {40000, 31}, {6060 + 65536, 31},
        {-65536 + 6060, 31}, {INT64_MIN, 31}, {INT64_MAX, 31},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(indexForCode(c.code), c.index) << c.code;
    }
}

TEST(Catalogue, CodeForIndexOutsideRows0To30IsZero) {
    for (std::int64_t i : {31LL, -1LL, 32LL, -32768LL, 32767LL, 65536LL + 9}) {
        EXPECT_EQ(codeForIndex(i), 0) << i;
    }
}

struct PrefixCase {
    const char* prefix;
    std::int16_t index;
};

TEST(Catalogue, IndexForPrefixComparesWholeTexts) {
    const PrefixCase cases[] = {
        {"VXO-12", 0},
        {"VXA-12", 1},
        {"PLM12E", 2},
        {"PLM12", 31},
        {"OCHASSIS", 5},
        {"ONDA", 31},
        {"OMAJOR", 6},
        {"ONDAMAJOR", 6},
        {"OLEGACY", 7},
        {"VPQ", 13},
        {"VPQ-A", 13},
        {"VPQ-D", 12},
        {"VPQ-", 31},
        {"VPQ-AB", 31},
        {"CORVANESTUDIO", 17},
        {"CORVANEREMTCNTRL", 18},
        {"CORVANECRM", 16},
        {"LECTERN", 25},
        {"lectern", 31}, // the caller upper-cases
        {"HX12", 28},
        {"HX-12", 31},
        {"VXO12", 31},
        {"HXM60", 29},
        {"HX24A", 30},
        {"BASALTIN", 23},
        {"", 31},
        {"LECTERN ", 31},
        {"LECTERN_2", 31},
        {"VXA-12 ", 31},
        {"VXO-12_R2", 31},
        {"VPQ.D", 31},
        {"HX12.R2", 31},
        {"VTL", 8},
        {"\xc3\xa9VTL", 31},
        {"UNKNOWN", 31},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(indexForPrefix(c.prefix), c.index) << '"' << c.prefix << '"';
    }
}

TEST(Catalogue, PrefixesAreUpperCaseAndDistinct) {
    std::set<std::string> seen;
    std::size_t count = 0;
    for (const auto& entry : kCatalogue) {
        for (const std::string_view prefix : entry.prefixes) {
            if (prefix.empty()) {
                continue;
            }
            for (char c : prefix) {
                EXPECT_FALSE(c >= 'a' && c <= 'z') << prefix;
            }
            EXPECT_EQ(indexForPrefix(prefix), entry.index) << prefix;
            seen.emplace(prefix);
            ++count;
        }
    }
    EXPECT_EQ(count, 33u);
    EXPECT_EQ(seen.size(), 33u);
    EXPECT_EQ(kCatalogue[31].prefixes, (std::array<std::string_view, 2>{})) << "Unknown has none";
}

} // namespace
} // namespace quentra::core
