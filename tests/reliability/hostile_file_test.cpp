// Hostile Config.dat contents: Load returns what an independent reader reads, and the next
// Save keeps every foreign byte.

#include "core/platform/native_file_system.hpp"
#include "reliability_support.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>

namespace quentra::reliability {
namespace {

using namespace std::string_literals;

std::string randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string out(size, '\0');
    for (char& c : out) {
        c = static_cast<char>(random() & 0xFF);
    }
    return out;
}

std::string manySections() {
    std::string out;
    for (int i = 0; i < 100000; ++i) {
        out += "[Section " + std::to_string(i) + "]\r\nKey=" + std::to_string(i) + "\r\n";
        if (i == 50000) {
            out += "[FILE INFO]\r\nType=1\r\nWait=2\r\n";
        }
    }
    return out;
}

struct HostileFile {
    const char* name;
    std::function<std::string()> bytes;
};

const HostileFile kHostileFiles[] = {
    {"BinaryData", [] { return randomBytes(1 << 20, 1); }},
    {"BinaryDataAroundTheSection",
     [] { return randomBytes(4096, 2) + "\n[FILE INFO]\nType=3\n" + randomBytes(4096, 3); }},
    {"NulBytes",
     [] {
         return "[FILE INFO]\r\nType=1\0\0\r\nFile Name=a\0b.bin\r\n\0\0\0[Other]\r\nk\0=v\r\n"s +
                std::string(65536, '\0');
     }},
    {"InvalidUtf8",
     [] {
         return "\xFF\xFE[FILE INFO]\n\xC3\x28=1\nFile Name=\xC3\x28\xA0\xA1.bin\n"
                "[\xF8\x88\x80\x80\x80]\n\xED\xA0\x80=lone surrogate\nWait=\xC0\xAF\n"s;
     }},
    {"TenMegabyteLines",
     [] {
         return "; " + std::string(10 << 20, 'c') +
                "\r\n[FILE INFO]\r\nFile Name=" + std::string(10 << 20, 'x') + "\r\nType=1\r\n";
     }},
    {"HundredThousandSections", manySections},
    {"CarriageReturnLineEnds",
     [] { return "[FILE INFO]\rType=3\rAddress=4\r; note\r[Other]\rx=y"s; }},
    {"DuplicateSectionsAndKeys",
     [] {
         return "[FILE INFO]\nType=1\nTYPE=2\nFile Name=first\n[Other]\na=1\n[file info]\n"
                "Address=9\nFile Name=second\n[Other]\na=2\n"s;
     }},
    {"ByteOrderMarkWithoutFinalLineBreak", [] { return "\xEF\xBB\xBF[FILE INFO]\nType=1"s; }},
    {"OnlyAByteOrderMark", [] { return "\xEF\xBB\xBF"s; }},
    {"UnclosedHeaderAndStrayLines",
     [] { return "Type=1\n[FILE INFO\nAddress=2\n=\n==\n[\n]\n[ FILE INFO ]\nWait = ' 4 '\n"s; }},
    {"MixedLineEnds", [] { return "[FILE INFO]\r\nType=1\n\rAddress=2\r\r\nWait=3\n"s; }},
    // The first line end is a lone CR; lines added after "Wait=1" must not join the blank line
    // after it into a CR LF (found by the settings_file fuzz target).
    {"LoneCarriageReturnFirstThenBlankLines",
     [] { return "; x\r[FILE INFO]\nWait=1\n\n; after\n"s; }},
    // Keys alone take their value at the end of their line.
    {"KeysAloneNulsAndTheOtherWhiteSpace",
     [] {
         return "\x1A[FILE INFO]x]\r\nType=9\r\n[FILE INFO]\x0B\r\nType\r\nWait \x1A\r\n"
                "File Name=a\0b\r\nConsole\0=1\r\n\x0C"s;
     }},
    {"BigEndianUtf16WithLoneSurrogatesAndAnOddLastByte",
     [] {
         return utf16File("[Other]\r\nA=", true) + "\xD8\x00"s +
                utf16File("\r\n[FILE INFO]\r\nType=1\r\n[Last]\r\nB=", true).substr(2) +
                "\xDC\x00Z"s;
     }},
    {"Utf8CutShortByTheEndOfTheFile", [] { return "\xEF\xBB\xBF[Other]\nA=1\xF0\x9F\n"s; }},
};

class ReliabilityHostileFileTest : public ScratchDirTest,
                                   public ::testing::WithParamInterface<HostileFile> {};

TEST_P(ReliabilityHostileFileTest, LoadReadsWhatCanBeReadAndSaveKeepsTheRest) {
    const std::string before = GetParam().bytes();
    writeFile(file_, before);

    core::IniFileStore store;
    core::NativeFileSystem files;
    const core::LoadedJob loaded = core::loadSettings(store, files, appDir_);
    ASSERT_TRUE(loaded.fromFile);
    EXPECT_FALSE(loaded.readError);
    const IniOracle reader(before);
    EXPECT_EQ(loaded.texts[core::JobField::FileName],
              reader.value(core::kSectionName, "File Name").value_or(""));
    EXPECT_EQ(loaded.texts[core::JobField::Wait],
              reader.value(core::kSectionName, "Wait").value_or(""));
    EXPECT_EQ(loaded.texts[core::JobField::Console],
              reader.value(core::kSectionName, "Console").value_or(""));

    saveJob(appDir_, 5);
    const std::string after = readFile(file_);
    std::string why;
    EXPECT_EQ(wholeJob(after, &why), 5) << why;
    EXPECT_EQ(outsideDifference(before, after, jobKeyNames()), "");
    EXPECT_EQ(strayFiles(), std::set<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Table, ReliabilityHostileFileTest, ::testing::ValuesIn(kHostileFiles),
                         [](const auto& info) { return std::string(info.param.name); });

using ReliabilityLargeFileTest = ScratchDirTest;

// Foreign sections of the given size, then no "FILE INFO": the save appends it, so the new file
// must begin with every old byte.
std::string foreignSections(std::size_t size) {
    std::string out;
    out.reserve(size + 64);
    for (int i = 0; out.size() < size; ++i) {
        if (i % 100 == 0) {
            out += "[Section " + std::to_string(i / 100) + "]\r\n";
        }
        out += "Key " + std::to_string(i) + "=a value of some length\r\n";
    }
    return out;
}

TEST_F(ReliabilityLargeFileTest, HeavyFilesUpTo200MegabytesLoadAndKeepTheirContent) {
    using Clock = std::chrono::steady_clock;
    for (const std::size_t megabytes : {2u, 20u, 200u}) {
        const std::string before = foreignSections(megabytes << 20);
        writeFile(file_, before);

        const auto t0 = Clock::now();
        core::IniFileStore store;
        core::NativeFileSystem files;
        const core::LoadedJob loaded = core::loadSettings(store, files, appDir_);
        const auto t1 = Clock::now();
        saveJob(appDir_, 9);
        const auto t2 = Clock::now();

        EXPECT_TRUE(loaded.fromFile);
        EXPECT_FALSE(loaded.readError);
        EXPECT_EQ(loaded.listIndex, 31);
        const std::string after = readFile(file_);
        ASSERT_TRUE(after.starts_with(before)) << megabytes << " MB: foreign content changed";
        std::string why;
        EXPECT_EQ(wholeJob(after.substr(before.size()), &why), 9) << why;

        const auto ms = [](auto d) {
            return static_cast<long long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
        };
        RecordProperty("load_ms_" + std::to_string(megabytes) + "MB", std::to_string(ms(t1 - t0)));
        RecordProperty("save_ms_" + std::to_string(megabytes) + "MB", std::to_string(ms(t2 - t1)));
        std::printf("%zu MB: load %lld ms, save %lld ms\n", static_cast<std::size_t>(megabytes),
                    ms(t1 - t0), ms(t2 - t1));
    }
}

} // namespace
} // namespace quentra::reliability
