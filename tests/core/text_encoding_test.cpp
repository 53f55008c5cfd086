#include "core/text_encoding.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quentra::core {
namespace {

using namespace std::string_literals;

const std::string kFffd = "\xEF\xBF\xBD";

TEST(Windows1252, EveryByteDecodesAndEncodesBackToItself) {
    // Bytes 80..9F, where the code page differs from Latin-1; the five unassigned ones are the
    // C1 controls of the same number.
    const std::vector<std::pair<unsigned char, std::string>> high = {
        {0x80, "\xE2\x82\xAC"}, {0x81, "\xC2\x81"},
        {0x82, "\xE2\x80\x9A"}, {0x83, "\xC6\x92"},
        {0x8A, "\xC5\xA0"},     {0x8D, "\xC2\x8D"},
        {0x8F, "\xC2\x8F"},     {0x90, "\xC2\x90"},
        {0x93, "\xE2\x80\x9C"}, {0x99, "\xE2\x84\xA2"},
        {0x9D, "\xC2\x9D"},     {0x9F, "\xC5\xB8"},
        {0xA0, "\xC2\xA0"},     {0xE9, "\xC3\xA9"},
        {0xFF, "\xC3\xBF"},     {0x41, "A"},
        {0x00, "\0"s},          {0x0D, "\r"}};
    for (const auto& [byte, text] : high) {
        std::string decoded;
        windows1252().decode(std::string(1, static_cast<char>(byte)), decoded);
        EXPECT_EQ(decoded, text) << std::hex << int{byte};
    }
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    std::string decoded;
    windows1252().decode(all, decoded);
    EXPECT_TRUE(isValidUtf8(decoded));
    std::string encoded;
    ASSERT_TRUE(windows1252().encode(decoded, encoded));
    EXPECT_EQ(encoded, all);
}

TEST(Windows1252, TextsOutsideTheCodePageAreRefused) {
    struct Case {
        std::string text;
        bool held;
    };
    const Case cases[] = {
        {"M\xC3\xA9lange_2.bin", true},
        {"\xE2\x82\xAC \xC5\x93 \xE2\x80\x94", true},
        {"a\xE6\xBC\xA2\xE5\xAD\x97.bin", false}, // CJK
        {"\xC2\x80", false},                      // C1 control that 1252 reassigns
        {"x\xF0\x9F\x98\x80", false},             // beyond the BMP
        {"\xD0\x96", false},                      // Cyrillic
        {"\xC4\x80", false},                      // Latin Extended-A not in 1252
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(windows1252().encode(c.text, out), c.held) << c.text;
    }
    EXPECT_EQ(codePointLabel(0x6F22), "U+6F22");
    EXPECT_EQ(codePointLabel(0xE9), "U+00E9");
    EXPECT_EQ(codePointLabel(0x1F600), "U+1F600");
}

TEST(Utf16Le, EveryByteSequenceDecodes) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string text;
    };
    const Case cases[] = {
        {"ascii", "A\0=\0\r\0\n\0"s, "A=\r\n"},
        {"latin and cjk", "\xE9\0\x22\x6F"s, "\xC3\xA9\xE6\xBC\xA2"},
        {"surrogate pair", "\x3D\xD8\x00\xDE"s, "\xF0\x9F\x98\x80"},
        // Kept as the units they are, as the system's readers return them.
        {"lone high surrogate",
         "\x3D\xD8"
         "A\0"s,
         "\xED\xA0\xBD"
         "A"},
        {"lone low surrogate", "\x00\xDC"s, "\xED\xB0\x80"},
        {"high at the end", "A\0\x3D\xD8"s, "A\xED\xA0\xBD"},
        {"high before a unit above the lows", "\x3D\xD8\x00\xE0"s, "\xED\xA0\xBD\xEE\x80\x80"},
        {"first of four UTF-8 bytes", "\x00\xD8\x00\xDC"s, "\xF0\x90\x80\x80"},
        {"first of three UTF-8 bytes", "\x00\x08"s, "\xE0\xA0\x80"},
        {"odd last byte", "A\0B"s, "A" + kFffd},
        {"nul", "\0\0"s, "\0"s},
    };
    for (const Case& c : cases) {
        std::string text;
        appendUtf8FromUtf16(text, c.bytes);
        EXPECT_EQ(text, c.text) << c.name;
        if (text.find(kFffd) == std::string::npos) {
            std::string back;
            appendUtf16FromUtf8(back, text);
            EXPECT_EQ(back, c.bytes) << c.name;
        }
    }
}

// Long runs of ASCII, after a few other characters, end at every place of the decoder's working
// buffer, and an odd last byte then adds its U+FFFD there.
TEST(Utf16Le, LongAsciiRunsEndingAnywhereDecodeWhole) {
    for (int latin = 0; latin < 8; ++latin) {
        for (int ascii = 8176; ascii < 8200; ++ascii) {
            std::string bytes;
            std::string expected;
            for (int i = 0; i < latin; ++i) {
                bytes += "\xE9\0"s;
                expected += "\xC3\xA9";
            }
            for (int i = 0; i < ascii; ++i) {
                bytes += "a\0"s;
                expected += 'a';
            }
            bytes += 'b';
            expected += kFffd;
            std::string text;
            appendUtf8FromUtf16(text, bytes);
            ASSERT_EQ(text, expected) << latin << " latin, " << ascii << " ascii";
        }
    }
}

TEST(Utf8, IllFormedPartsGiveOneReplacementEach) {
    struct Case {
        std::string bytes;
        int replacements; // -1: well-formed
    };
    const Case cases[] = {
        {"plain", -1},
        {"\xC3\xA9\xE6\xBC\xA2\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", -1},
        {"\xC3", 1},             // cut short
        {"\xE6\xBC", 1},         // a well-formed start, cut short
        {"\xC0\xAF", 2},         // overlong
        {"\xE0\x80\x80", 3},     // overlong
        {"\xED\xA0\x80", 3},     // surrogate
        {"\xF4\x90\x80\x80", 4}, // beyond U+10FFFF
        {"\xFF\xFE", 2},         // never in UTF-8
        {"\xE6\xBC=", 1},        // "=" is never swallowed
        {"\x80", 1},             // stray continuation byte
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isValidUtf8(c.bytes), c.replacements < 0) << c.bytes;
        int replacements = 0;
        std::size_t covered = 0;
        for (std::size_t i = 0; i < c.bytes.size();) {
            const Utf8Step step = nextUtf8(c.bytes, i);
            ASSERT_GE(step.length, 1u);
            replacements += step.wellFormed ? 0 : 1;
            i += step.length;
            covered = i;
        }
        EXPECT_EQ(covered, c.bytes.size());
        EXPECT_EQ(replacements, c.replacements < 0 ? 0 : c.replacements) << c.bytes;
    }
}

// UTF-8 from a file, each row as the system's conversion read it through the profile API under
// Wine: where an ill-formed sequence ends, and a sequence cut short by the end taking the rest.
TEST(Utf8FromAFile, ReadsAsTheSystemsConversion) {
    const std::pair<std::string, std::string> cases[] = {
        {"\xC3\xA9\xF0\x9F\x98\x80>", "\xC3\xA9\xF0\x9F\x98\x80>"},
        {"\xC0\x80>", kFffd + kFffd + ">"},
        {"\xE0\x80\x80>", kFffd + kFffd + ">"},
        {"\xED\xA0\x80>", kFffd + kFffd + ">"},
        {"\xE0\xA0>", kFffd + ">"},
        {"\xF0\x80\x80\x80>", kFffd + kFffd + kFffd + ">"},
        {"\xF4\x90\x80\x80>", kFffd + kFffd + kFffd + ">"},
        {"\xF5\x80\x80\x80>", kFffd + kFffd + kFffd + kFffd + ">"},
        {"x\xE0\n", "x" + kFffd},
        {"x\xF4\x90\x80", "x" + kFffd},
    };
    for (const auto& [bytes, text] : cases) {
        std::string out;
        appendUtf8FromFileUtf8(out, bytes, 0, bytes.size());
        EXPECT_EQ(out, text) << bytes;
    }
    EXPECT_EQ(cutShortUtf8Tail("x\xE0\n"), 1u);
}

} // namespace
} // namespace quentra::core
