#include "core/firmware.hpp"

#include "core/paths.hpp"
#include "fakes.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace quentra::core {
namespace {

using testing::FakeFileSystem;

const std::string kSep(1, kPathSeparator);
// Underscores and dots in the directories must not reach the prefix.
const std::string kDir = kSep + "fw_images" + kSep + "v1.2_old" + kSep;

struct AnalysisCase {
    const char* shortName;
    std::int32_t length;
    const char* blockSize;
    std::optional<std::string> prefix; // nothing: the analysis stops at the prefix
    std::int16_t row;
};

TEST(AnalyseFirmwareFile, WorkedExamplesAndEdgeCases) {
    const AnalysisCase cases[] = {
        {"VXA-12_r3.bin", 512, "512", "VXA-12", 1},
        {"ondamajor.bin", 65536, "65536", "ONDAMAJOR", 6},
        {"Lectern_2_1.bin", 65537, "65536", "LECTERN_2", 31},
        {"vpq.bin", 0, "0", "VPQ", 13},
        {"HX24A", 300, "300", std::nullopt, 0},
        {"VXO-12_r2_1.bin", 1, "1", "VXO-12_R2", 31},
        {"VPQ.D_1.bin", 1, "1", "VPQ.D", 31},
        {"HX12.r2.bin", 1, "1", "HX12.R2", 31},
        {"HX12.bin", 1, "1", "HX12", 28},
        {"corvanecrm_1.bin", 1, "1", "CORVANECRM", 16},
        {"Lectern.bin", 1, "1", "LECTERN", 25},
        {"omajor.bin", 1, "1", "OMAJOR", 6},
        {"ondamajor_b.bin", 1, "1", "ONDAMAJOR", 6},
        {"VXO12_1.bin", 1, "1", "VXO12", 31},
        {"HX-12_1.bin", 1, "1", "HX-12", 31},
        {"VPQ-A_1.bin", 1, "1", "VPQ-A", 13},
        {"VPQ-D_1.bin", 1, "1", "VPQ-D", 12},
        {"CORVANESTUDIO_1.bin", 1, "1", "CORVANESTUDIO", 17},
        {"CorvaneRemtCntrl_1.bin", 1, "1", "CORVANEREMTCNTRL", 18},
        {"_VXA-12.bin", 1, "1", "", 31},
        {".bin", 1, "1", "", 31},
        {"VXA-12 _1.bin", 1, "1", "VXA-12 ", 31},
        {"vxa-12_", 1, "1", "VXA-12", 1},
        {"Vtl_2.BIN", 65535, "65535", "VTL", 8},
        {"\xc3\xa9vtl_2.bin", 2147483647, "65536", "\xc3\xa9VTL", 31},
    };
    for (const auto& c : cases) {
        FakeFileSystem fs;
        const std::string path = kDir + c.shortName;
        fs.files[path] = c.length;
        const FirmwareFileInfo info = analyseFirmwareFile(path, fs);
        SCOPED_TRACE(c.shortName);
        EXPECT_EQ(info.fullPath, path);
        EXPECT_EQ(info.shortName, c.shortName);
        EXPECT_EQ(info.length, c.length);
        EXPECT_EQ(info.lengthText, std::to_string(c.length));
        EXPECT_EQ(info.blockSizeText, c.blockSize);
        EXPECT_EQ(info.prefix, c.prefix);
        if (c.prefix) {
            EXPECT_EQ(info.outcome, AnalysisOutcome::Complete);
            EXPECT_EQ(info.catalogueIndex, c.row);
        } else {
            EXPECT_EQ(info.outcome, AnalysisOutcome::StoppedAtPrefix);
            EXPECT_EQ(info.catalogueIndex, std::nullopt);
        }
    }
}

TEST(AnalyseFirmwareFile, AnUnreadableLengthStopsAfterTheShortName) {
    FakeFileSystem fs;
    const std::string path = kDir + "vtl_2.bin";
    const FirmwareFileInfo info = analyseFirmwareFile(path, fs);
    EXPECT_EQ(info.outcome, AnalysisOutcome::StoppedAtLength);
    EXPECT_EQ(info.shortName, "vtl_2.bin");
    EXPECT_FALSE(info.length || info.lengthText || info.blockSizeText || info.prefix ||
                 info.catalogueIndex);
    // The length is asked of the full path, never of the short name.
    EXPECT_EQ(fs.queries, std::vector<std::string>{"length " + path});
}

// Each completed step is passed on before the next one asks the file system anything.
TEST(AnalyseFirmwareFile, PassesOnEachStepBeforeTheNext) {
    struct Row {
        const char* shortName;
        bool readable;
        std::vector<std::string> expected; // step, then the queries made by then
    };
    const Row rows[] = {
        {"vtl_2.bin",
         true,
         {"short name vtl_2.bin, 0 queries", "length 7, 1 queries", "prefix VTL row 8, 1 queries"}},
        {"HX24A", true, {"short name HX24A, 0 queries", "length 7, 1 queries"}},
        {"vtl_2.bin", false, {"short name vtl_2.bin, 0 queries"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.shortName);
        FakeFileSystem fs;
        const std::string path = kDir + row.shortName;
        if (row.readable) {
            fs.files[path] = 7;
        }
        std::vector<std::string> seen;
        analyseFirmwareFile(path, fs, [&](AnalysisStep step, const FirmwareFileInfo& info) {
            const std::string queries = ", " + std::to_string(fs.queries.size()) + " queries";
            switch (step) {
            case AnalysisStep::ShortName:
                seen.push_back("short name " + info.shortName + queries);
                break;
            case AnalysisStep::Length:
                seen.push_back("length " + *info.lengthText + queries);
                break;
            case AnalysisStep::Prefix:
                seen.push_back("prefix " + *info.prefix + " row " +
                               std::to_string(*info.catalogueIndex) + queries);
                break;
            }
        });
        EXPECT_EQ(seen, row.expected);
    }
    // A receiver that fails ends the walk: the length is never asked for.
    FakeFileSystem fs;
    EXPECT_THROW(analyseFirmwareFile(kDir + "vtl_2.bin", fs,
                                     [](AnalysisStep, const FirmwareFileInfo&) {
                                         throw std::runtime_error("the window is gone");
                                     }),
                 std::runtime_error);
    EXPECT_TRUE(fs.queries.empty());
}

TEST(ToUpperAscii, OnlyLettersAToZChange) {
    EXPECT_EQ(toUpperAscii("azAZ09_-. "), "AZAZ09_-. ");
    EXPECT_EQ(toUpperAscii("\xc3\xa9t\xc3\xa9"), "\xc3\xa9T\xc3\xa9");
    EXPECT_EQ(toUpperAscii(std::string("a\0b", 3)), std::string("A\0B", 3));
}

} // namespace
} // namespace quentra::core
