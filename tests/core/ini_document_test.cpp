#include "core/config_store.hpp"
#include "core/ini_document.hpp"
#include "core/text_encoding.hpp"
#include "support/config_dat_reads.hpp"
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

// The reading rules of Config.dat: the shared table, read by the store's reader.
class IniReadRules : public ::testing::TestWithParam<ConfigDatRead> {};

TEST_P(IniReadRules, FindsTheValueTheConsumerReads) {
    const ConfigDatRead& row = GetParam();
    const IniDocument doc(row.bytes, windows1252());
    EXPECT_EQ(doc.value(row.section, row.key), row.value);
}

INSTANTIATE_TEST_SUITE_P(Table, IniReadRules, ::testing::ValuesIn(configDatReads()),
                         [](const auto& info) { return std::string(info.param.name); });

// A double-byte system code page, which only the store's reader can be handed here.
struct DoubleByteRead {
    const char* name;
    std::string file;
    std::string key;
    std::optional<std::string> expected;
};

class IniDoubleByteReadRules : public ::testing::TestWithParam<DoubleByteRead> {};

TEST_P(IniDoubleByteReadRules, FindsTheValueAReaderOfSuchFilesWould) {
    const DoubleByteRead& c = GetParam();
    const IniDocument doc(c.file, kDoubleByte);
    EXPECT_EQ(doc.value("S", c.key), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, IniDoubleByteReadRules,
                         ::testing::Values(DoubleByteRead{"SecondByteIsNoBracket",
                                                          "[S]\x81]\nA=1\n", "A", "1"},
                                           DoubleByteRead{"NameReadAsItsCharacters",
                                                          "[S]\n\x81"
                                                          "a=1\n",
                                                          doubleByteChar('a'), "1"},
                                           DoubleByteRead{"SecondBytesKeepTheirCase",
                                                          "[S]\n\x81"
                                                          "a=1\n",
                                                          doubleByteChar('A'), std::nullopt},
                                           DoubleByteRead{"Value", "[S]\nA = \x81]\x81\n", "A",
                                                          doubleByteChar(']') + "\xE3\x83\xBB"}),
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
            const std::string file = storePuts(doc, {&put, 1});
            EXPECT_EQ(doc.value("FILE INFO", "File Name"), text)
                << "text [" << text << "] file [" << file << "]";
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
    EXPECT_EQ(storePuts(doc, c.puts), c.after);
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
        // The mark is kept, and a header never stays on its line: Windows reads the mark there
        // as text.
        EditCase{"ByteOrderMarkKept",
                 kBom + "[FILE INFO]\r\nType=1\r\n",
                 {kType},
                 kBom + "\r\n[FILE INFO]\r\nType=7\r\n"},
        EditCase{"ByteOrderMarkOnly", kBom, {kType}, kBom + "\r\n[FILE INFO]\r\nType=7\r\n"},
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
        EXPECT_EQ(storePuts(doc, puts).substr(0, bytes.size()), bytes) << what;
        EXPECT_EQ(doc.value("FILE INFO", "Type"), "7") << what;
        EXPECT_EQ(doc.value("FILE INFO", "File Name"), " n\"a'me ") << what;
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
