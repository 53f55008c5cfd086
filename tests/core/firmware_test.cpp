#include "core/firmware.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace quentra::core {
namespace {

// What each short name gives as the prefix that names its module, upper-cased as Select looks it
// up; which row each prefix names is the catalogue's table, what reaches the window is Select's.
TEST(PrefixForShortName, TheLastUnderscoreElseTheLastDot) {
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"VXA-12_r3.bin", "VXA-12"},
        {"ondamajor.bin", "ONDAMAJOR"},
        {"Lectern_2_1.bin", "LECTERN_2"},
        {"vpq.bin", "VPQ"},
        {"HX24A", std::nullopt},
        {"VXO-12_r2_1.bin", "VXO-12_R2"},
        {"VPQ.D_1.bin", "VPQ.D"},
        {"HX12.r2.bin", "HX12.R2"},
        {"HX12.bin", "HX12"},
        {"corvanecrm_1.bin", "CORVANECRM"},
        {"Lectern.bin", "LECTERN"},
        {"omajor.bin", "OMAJOR"},
        {"ondamajor_b.bin", "ONDAMAJOR"},
        {"VXO12_1.bin", "VXO12"},
        {"HX-12_1.bin", "HX-12"},
        {"VPQ-A_1.bin", "VPQ-A"},
        {"VPQ-D_1.bin", "VPQ-D"},
        {"CORVANESTUDIO_1.bin", "CORVANESTUDIO"},
        {"CorvaneRemtCntrl_1.bin", "CORVANEREMTCNTRL"},
        {"_VXA-12.bin", ""},
        {".bin", ""},
        {"VXA-12 _1.bin", "VXA-12 "},
        {"vxa-12_", "VXA-12"},
        {"Vtl_2.BIN", "VTL"},
        {"\xc3\xa9vtl_2.bin", "\xc3\xa9VTL"},
    };
    for (const auto& [shortName, prefix] : cases) {
        SCOPED_TRACE(shortName);
        const auto found = prefixForShortName(shortName);
        ASSERT_EQ(found.has_value(), prefix.has_value());
        if (found) {
            EXPECT_EQ(toUpperAscii(*found), *prefix);
        }
    }
}

TEST(ToUpperAscii, OnlyLettersAToZChange) {
    EXPECT_EQ(toUpperAscii("azAZ09_-. "), "AZAZ09_-. ");
    EXPECT_EQ(toUpperAscii("\xc3\xa9t\xc3\xa9"), "\xc3\xa9T\xc3\xa9");
    EXPECT_EQ(toUpperAscii(std::string("a\0b", 3)), std::string("A\0B", 3));
}

} // namespace
} // namespace quentra::core
