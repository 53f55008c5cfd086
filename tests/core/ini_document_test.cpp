#include "core/config_store.hpp"
#include "core/ini_document.hpp"
#include "core/text_encoding.hpp"
#include "support/settings_file_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quentra::core {
namespace {

using namespace std::string_literals;
using namespace test_support;

// A double-byte code page like those of East Asian systems: 81..FE lead a character whose second
// byte is 40..FE (an ASCII letter, "[", "]" or "\\" among them); a lead byte without one reads
// as U+30FB.
class DoubleBytePage final : public CodePage {
public:
    std::string name() const override { return "Windows-932"; }
    bool asciiBytesAreAscii() const override { return false; }
    void decode(std::string_view bytes, std::string& out) const override {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const auto b = static_cast<unsigned char>(bytes[i]);
            const auto t = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
            if (b < 0x81) {
                out += static_cast<char>(b);
            } else if (t >= 0x40 && t <= 0xFE) {
                appendUtf8(out, 0x4E00 + (b - 0x81) * 192 + (t - 0x40));
                ++i;
            } else {
                appendUtf8(out, 0x30FB);
            }
        }
    }
    bool encode(std::string_view text, std::string& out) const override {
        for (std::size_t i = 0; i < text.size();) {
            const Utf8Step step = nextUtf8(text, i);
            const char32_t c = step.codePoint - 0x4E00;
            if (step.codePoint < 0x80) {
                out += static_cast<char>(step.codePoint);
            } else if (step.codePoint >= 0x4E00 && c < 126 * 192) {
                out += static_cast<char>(0x81 + c / 192);
                out += static_cast<char>(0x40 + c % 192);
            } else {
                return false;
            }
            i += step.length;
        }
        return true;
    }
};
const DoubleBytePage kDoubleByte;

// The character of lead byte 81 and a second byte.
std::string doubleByteChar(char second) {
    std::string out;
    kDoubleByte.decode(std::string("\x81") + second, out);
    return out;
}

struct ReadCase {
    const char* name;
    std::string file;
    std::string section;
    std::string key;
    std::optional<std::string> expected;
    const CodePage* page = &windows1252();
};

class IniReadRules : public ::testing::TestWithParam<ReadCase> {};

TEST_P(IniReadRules, FindsTheValueAReaderOfSuchFilesWould) {
    const ReadCase& c = GetParam();
    const IniDocument doc(c.file, *c.page);
    EXPECT_EQ(doc.value(c.section, c.key), c.expected);
    EXPECT_EQ(doc.bytes(), c.file); // reading changes nothing
}

INSTANTIATE_TEST_SUITE_P(
    Table, IniReadRules,
    ::testing::Values(
        ReadCase{"Plain", "[FILE INFO]\r\nType=6060\r\n", "FILE INFO", "Type", "6060"},
        ReadCase{"NamesIgnoreCase", "[file info]\nTYPE=1\n", "FILE INFO", "type", "1"},
        ReadCase{"BlanksAroundNamesAndValues", "  [ FILE INFO ] \n \tType \t=  6060 \t\n",
                 "FILE INFO", "Type", "6060"},
        ReadCase{"BlanksAroundAskedNames", "[FILE INFO]\nType=1\n", " FILE INFO ", "Type\t", "1"},
        ReadCase{"DoubleQuotesRemoved", "[S]\nN=\"  a b \"\n", "S", "N", "  a b "},
        ReadCase{"SingleQuotesRemoved", "[S]\nN= 'x' \n", "S", "N", "x"},
        ReadCase{"OnlyOnePairRemoved", "[S]\nN=\"\"x\"\"\n", "S", "N", "\"x\""},
        ReadCase{"MismatchedQuotesKept", "[S]\nN=\"x'\n", "S", "N", "\"x'"},
        ReadCase{"LoneQuoteKept", "[S]\nN=\"\n", "S", "N", "\""},
        ReadCase{"EmptyValueIsPresent", "[S]\nN=\n", "S", "N", ""},
        ReadCase{"EqualsInValue", "[S]\nN=b=c\n", "S", "N", "b=c"},
        ReadCase{"SemicolonInValueKept", "[S]\nN=1 ; note\n", "S", "N", "1 ; note"},
        ReadCase{"AbsentKey", "[S]\nA=1\n", "S", "B", std::nullopt},
        ReadCase{"AbsentSection", "[T]\nA=1\n", "S", "A", std::nullopt},
        ReadCase{"KeyOfAnotherSection", "[A]\nType=1\n[FILE INFO]\n", "FILE INFO", "Type",
                 std::nullopt},
        ReadCase{"KeyBeforeAnySection", "Type=1\n[FILE INFO]\n", "FILE INFO", "Type", std::nullopt},
        ReadCase{"FirstDuplicateSectionWins", "[S]\nA=1\n[T]\n[s]\nA=2\n", "S", "A", "1"},
        ReadCase{"LaterDuplicateSectionIgnored", "[S]\nA=1\n[S]\nB=2\n", "S", "B", std::nullopt},
        ReadCase{"FirstDuplicateKeyWins", "[S]\nA=1\na=2\n", "S", "A", "1"},
        ReadCase{"CommentsNeverMatch", "[S]\n;A=1\n  #A=2\nA=3\n", "S", "A", "3"},
        ReadCase{"CommentOnly", "[S]\n; A=1\n", "S", "A", std::nullopt},
        ReadCase{"KeyAloneHidesLaterLines", "[S]\nA\nA=4\n", "S", "A", std::nullopt},
        ReadCase{"KeyAloneIsNoOtherKey", "[S]\nAB\nA=4\n", "S", "A", "4"},
        ReadCase{"HeaderWithTrailingText", "[S] junk\nA=1\n", "S", "A", "1"},
        ReadCase{"UnclosedBracketIsNoHeader", "[S]\n[broken\nA=1\n", "S", "A", "1"},
        ReadCase{"ByteOrderMark", kBom + "[S]\r\nA=1\r\n", "S", "A", "1"},
        ReadCase{"CrOnlyLineEnds", "[S]\rA=1\rB=2", "S", "B", "2"},
        ReadCase{"LfOnlyNoFinalLineEnd", "[S]\nA=1\nB=2", "S", "B", "2"},
        ReadCase{"MixedLineEnds", "[S]\r\r\nA=1\n\rB=2\r\n", "S", "B", "2"},
        ReadCase{"NulEndsValue", "[S]\nA=x \0y \n"s, "S", "A", "x "},
        ReadCase{"NulEndsQuotedValue", "[S]\nA=\"x\0\"\n"s, "S", "A", "\"x"},
        ReadCase{"NulEndsKeyName", "[S]\nA\0b=1\nA=2\n"s, "S", "A", "1"},
        ReadCase{"NulAfterBlankInKeyName", "[S]\nA \0=1\nA=2\n"s, "S", "A", "2"},
        ReadCase{"NulEndsSectionName", "[S\0x]\nA=1\n"s, "S", "A", "1"},
        ReadCase{"SectionNameRunsToLastBracket", "[S]x]\nA=1\n", "S]x", "A", "1"},
        ReadCase{"SectionNameNotUpToFirstBracket", "[S]x]\nA=1\n", "S", "A", std::nullopt},
        ReadCase{"OtherWhiteSpaceTrimmed",
                 "\x1a[\x0bS\x0c]\x0b\n\x0c"
                 "A\x1a=\x0b 5\x1a\x0c\n",
                 "S", "A", "5"},
        ReadCase{"Utf16BigEndian", utf16File("[S]\r\nA=\xC3\xA9\r\n", true), "S", "A", "\xC3\xA9"},
        ReadCase{"Utf8SurrogateAsTheSystemReadsIt", kBom + "[S]\nA=x\xED\xA0\x80y\n", "S", "A",
                 "x\xEF\xBF\xBD\xEF\xBF\xBDy"},
        ReadCase{"Utf8CutShortMidFile", kBom + "[S]\nA=\xE6\x41\nB=1", "S", "A",
                 "\xEF\xBF\xBD"
                 "A"},
        ReadCase{"Utf8CutShortByTheEndTakesTheRest", kBom + "[S]\nA=x\xF0\x41=", "S", "A",
                 "x\xEF\xBF\xBD"},
        ReadCase{"DoubleByteSecondByteIsNoBracket", "[S]\x81]\nA=1\n", "S", "A", "1", &kDoubleByte},
        ReadCase{"DoubleByteNameReadAsItsCharacters",
                 "[S]\n\x81"
                 "a=1\n",
                 "S", doubleByteChar('a'), "1", &kDoubleByte},
        ReadCase{"DoubleByteSecondBytesKeepTheirCase",
                 "[S]\n\x81"
                 "a=1\n",
                 "S", doubleByteChar('A'), std::nullopt, &kDoubleByte},
        ReadCase{"DoubleByteValue", "[S]\nA = \x81]\x81\n", "S", "A",
                 doubleByteChar(']') + "\xE3\x83\xBB", &kDoubleByte},
        ReadCase{"NulElsewhereHarmless", "\0\0[S]\0\n[S]\nA=1\n"s, "S", "A", "1"},
        ReadCase{"NoMarkReadsAsWindows1252", "[S]\nA=\xff\xfe\xc3\n", "S", "A",
                 "\xc3\xbf\xc3\xbe\xc3\x83"},
        ReadCase{"NonAsciiIsCaseSensitive", "[S]\n\xc3\x84=1\n", "S", "\xc3\xa4", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// Texts that a careless writer would lose at a blank or quote at either end.
const std::vector<std::string> kAwkwardTexts = {"",
                                                "plain",
                                                " lead",
                                                "trail ",
                                                "\tTab",
                                                "  ",
                                                "\"q\"",
                                                "'s'",
                                                "\"",
                                                "'",
                                                "\"\"",
                                                "''",
                                                "\"mixed'",
                                                "\x0bvt",
                                                "ff\x0c",
                                                "\x1a",
                                                "a\"b",
                                                "x\"",
                                                " \" ",
                                                "\" spaced \"",
                                                "=eq=",
                                                ";semi",
                                                "#hash",
                                                "[br]",
                                                "Port #1",
                                                "\xc3\xbcnic",
                                                "\xe2\x82\xac\xc5\x93",
                                                "\x01\x7f",
                                                "C:\\fw\\a b.bin"};

TEST(IniQuoting, EveryOneLineTextReadsBackExactly) {
    for (const std::string& text : kAwkwardTexts) {
        for (const std::string& before : {""s, "[FILE INFO]\r\nFile Name=old\r\n"s}) {
            IniDocument doc(before);
            const IniPut put{"FILE INFO", "File Name", text};
            storePuts(doc, {&put, 1});
            const IniDocument reread(doc.bytes());
            EXPECT_EQ(reread.value("FILE INFO", "File Name"), text)
                << "text [" << text << "] file [" << doc.bytes() << "]";
        }
    }
}

TEST(IniQuoting, QuotesOnlyWhereNeeded) {
    EXPECT_EQ(encodeIniValue("vtl_2.bin"), "vtl_2.bin");
    EXPECT_EQ(encodeIniValue("a b"), "a b");
    EXPECT_EQ(encodeIniValue(" a"), "\" a\"");
    EXPECT_EQ(encodeIniValue("'x'"), "\"'x'\"");
    EXPECT_EQ(encodeIniValue("\"x'"), "\"x'");
}

TEST(IniRefusal, LineBreaksAndNulAreRefusedAndNothingChanges) {
    const std::string before = "[FILE INFO]\nType=1\n";
    const std::vector<std::string> bad = {"a\rb",
                                          "a\nb",
                                          "a\r\nb",
                                          "a\0b"s,
                                          "\n",
                                          "\0"s,
                                          "\xED\xA0\x80\xED\xB0\x80"}; // a surrogate pair apart
    for (const std::string& text : bad) {
        EXPECT_THROW(encodeIniValue(text), StoreError);
        IniDocument doc(before);
        // The valid put in the same batch must not be applied either.
        const std::vector<IniPut> puts = {{"FILE INFO", "Type", "2"}, {"FILE INFO", "N", text}};
        EXPECT_THROW(storePuts(doc, puts), StoreError);
        EXPECT_EQ(doc.bytes(), before);
        EXPECT_EQ(doc.value("FILE INFO", "Type"), "1");
    }
}

TEST(IniRefusal, NamesThatWouldNotReadBackAreRefused) {
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"a]b", "K"}, {"a\nb", "K"}, {"S", "a=b"}, {"S", ";k"},
        {"S", "#k"},  {"S", "[k"},   {"S", "k\r"}, {"S", "k\0"s}};
    for (const auto& [section, key] : bad) {
        IniDocument doc("[S]\n");
        const IniPut put{section, key, "v"};
        EXPECT_THROW(storePuts(doc, {&put, 1}), StoreError) << section << "/" << key;
        EXPECT_EQ(doc.bytes(), "[S]\n");
    }
}

struct EditCase {
    const char* name;
    std::string before;
    std::vector<IniPut> puts;
    std::string after;
};

class IniEdits : public ::testing::TestWithParam<EditCase> {};

TEST_P(IniEdits, ChangesOnlyWhatThePutsName) {
    const EditCase& c = GetParam();
    IniDocument doc(c.before);
    storePuts(doc, c.puts);
    EXPECT_EQ(doc.bytes(), c.after);
    // The index is rebuilt after an edit: what was put reads back.
    for (const IniPut& p : c.puts) {
        const auto it = std::find_if(c.puts.rbegin(), c.puts.rend(), [&](const IniPut& q) {
            return iniNamesEqual(q.section, p.section) && iniNamesEqual(q.key, p.key);
        });
        EXPECT_EQ(doc.value(p.section, p.key), it->value) << p.key;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, IniEdits,
    ::testing::Values(
        EditCase{"CreatedFileUsesCrLf",
                 "",
                 {kType, {"FILE INFO", "File Name", "a.bin"}},
                 "[FILE INFO]\r\nType=7\r\nFile Name=a.bin\r\n"},
        EditCase{"ReplaceKeepsKeyTextAndLineEnd",
                 "[FILE INFO]\nType = 5\nAddress=1\n",
                 {kType},
                 "[FILE INFO]\nType =7\nAddress=1\n"},
        EditCase{
            "ReplaceKeepsFileSpelling", "[file info]\nTYPE=1\n", {kType}, "[file info]\nTYPE=7\n"},
        EditCase{"ReplaceQuotedValue",
                 "[FILE INFO]\r\nType=\"1\"\r\n",
                 {kType},
                 "[FILE INFO]\r\nType=7\r\n"},
        EditCase{
            "NewKeyAfterLastKeyLine",
            "; head\r\n[FILE INFO]\r\nType=1\r\n;c=1\r\n#d=2\r\n\r\n[Other]\r\nX=y\r\n",
            {kWait},
            "; head\r\n[FILE INFO]\r\nType=1\r\nWait=3\r\n;c=1\r\n#d=2\r\n\r\n[Other]\r\nX=y\r\n"},
        EditCase{"NewKeysKeepPutOrder",
                 "[FILE INFO]\nA=1\n",
                 {kWait, kType},
                 "[FILE INFO]\nA=1\nWait=3\nType=7\n"},
        EditCase{
            "CrOnlyFileKeepsCr", "[FILE INFO]\rType=1\r", {kWait}, "[FILE INFO]\rType=1\rWait=3\r"},
        EditCase{"NoFinalLineEndStaysSo",
                 "[FILE INFO]\nType=1",
                 {kWait, kType},
                 "[FILE INFO]\nType=7\nWait=3"},
        EditCase{"HeaderOnlyLastLine", "[FILE INFO]", {kType}, "[FILE INFO]\r\nType=7"},
        EditCase{"EmptySectionThenOther",
                 "[FILE INFO]\n[Other]\nType=1\n",
                 {kType},
                 "[FILE INFO]\nType=7\n[Other]\nType=1\n"},
        EditCase{"MissingSectionAtEnd",
                 "[Other]\nX=1\n",
                 {kType},
                 "[Other]\nX=1\n[FILE INFO]\nType=7\n"},
        EditCase{"MissingSectionNoFinalLineEnd",
                 "[Other]\r\nX=1",
                 {kType, kWait},
                 "[Other]\r\nX=1\r\n[FILE INFO]\r\nType=7\r\nWait=3\r\n"},
        EditCase{"TwoMissingSections",
                 "X=1\n",
                 {{"A", "k", "1"}, {"B", "k", "2"}, {"a", "j", "3"}},
                 "X=1\n[A]\nk=1\nj=3\n[B]\nk=2\n"},
        EditCase{
            "KeyBeforeAnySectionUntouched", "Type=1\n", {kType}, "Type=1\n[FILE INFO]\nType=7\n"},
        EditCase{"ByteOrderMarkKept",
                 kBom + "[FILE INFO]\r\nType=1\r\n",
                 {kType},
                 kBom + "[FILE INFO]\r\nType=7\r\n"},
        EditCase{"ByteOrderMarkOnly", kBom, {kType}, kBom + "[FILE INFO]\r\nType=7\r\n"},
        EditCase{"FirstDuplicateSectionEdited",
                 "[FILE INFO]\nType=1\n[FILE INFO]\nType=2\nWait=9\n",
                 {kType, kWait},
                 "[FILE INFO]\nType=7\nWait=3\n[FILE INFO]\nType=2\nWait=9\n"},
        EditCase{"FirstDuplicateKeyEdited",
                 "[FILE INFO]\nType=1\nType=2\n",
                 {kType},
                 "[FILE INFO]\nType=7\nType=2\n"},
        EditCase{"CommentedKeyNotMatched",
                 "[FILE INFO]\n;Type=1\n",
                 {kType},
                 "[FILE INFO]\nType=7\n;Type=1\n"},
        EditCase{"LaterPutWins",
                 "",
                 {{"FILE INFO", "Type", "1"}, {"file info", "TYPE", "2"}},
                 "[FILE INFO]\r\nType=2\r\n"},
        EditCase{"KeyAloneGainsItsValue",
                 "[FILE INFO]\nType\0 x \nType=1\n"s,
                 {kType},
                 "[FILE INFO]\nType\0 x =7\nType=1\n"s},
        EditCase{"UnclosedBracketLineIsAKeyLine",
                 "[FILE INFO]\n[x=1\n[S]x]\n",
                 {kWait},
                 "[FILE INFO]\n[x=1\nWait=3\n[S]x]\n"},
        EditCase{"OddBytesAroundKept",
                 "\0\xff[x\n[FILE INFO]\nType=\xfe\0\n\x01\n"s,
                 {kType},
                 "\0\xff[x\n[FILE INFO]\nType=7\n\x01\n"s}),
    [](const auto& info) { return std::string(info.param.name); });

// Deterministic bytes of every value, with line breaks and NUL among them.
std::string noise(std::size_t size, std::uint32_t seed) {
    std::string out(size, '\0');
    for (char& c : out) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return out;
}

TEST(IniOddFiles, ForeignBytesStayAndPutsReadBack) {
    const std::vector<std::pair<const char*, std::string>> files = {
        {"binary", noise(1 << 16, 1)},
        {"long line", std::string(1 << 20, 'x') + "=" + std::string(1 << 20, 'y')},
        {"cr only", "[A]\rk=v\r\r; c\r"},
        {"many sections",
         [] {
             std::string s;
             for (int i = 0; i < 20000; ++i) {
                 s += "[S" + std::to_string(i) + "]\nType=" + std::to_string(i) + "\n";
             }
             return s;
         }()},
        {"nul", std::string(1000, '\0')},
    };
    for (const auto& [what, bytes] : files) {
        IniDocument doc(bytes);
        ASSERT_EQ(doc.value("FILE INFO", "Type"), std::nullopt) << what;
        const std::vector<IniPut> puts = {kType, {"FILE INFO", "File Name", " n\"a'me "}};
        storePuts(doc, puts);
        EXPECT_EQ(doc.bytes().substr(0, bytes.size()), bytes) << what;
        const IniDocument reread(doc.bytes());
        EXPECT_EQ(reread.value("FILE INFO", "Type"), "7") << what;
        EXPECT_EQ(reread.value("FILE INFO", "File Name"), " n\"a'me ") << what;
    }
}

TEST(IniOddFiles, LookupInALargeSectionFindsFirstAndLastKeys) {
    std::string s = "[FILE INFO]\n";
    for (int i = 0; i < 50000; ++i) {
        s.append("K").append(std::to_string(i)).append("=").append(std::to_string(i)).append("\n");
    }
    const IniDocument doc(s);
    EXPECT_EQ(doc.value("FILE INFO", "k0"), "0");
    EXPECT_EQ(doc.value("FILE INFO", "K49999"), "49999");
    EXPECT_EQ(doc.value("FILE INFO", "K50000"), std::nullopt);
}

} // namespace
} // namespace quentra::core
