#include "core/config_store.hpp"
#include "core/ini_document.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quentra::core {
namespace {

using namespace std::string_literals;

const std::string kBom = "\xEF\xBB\xBF";

struct ReadCase {
    const char* name;
    std::string file;
    std::string section;
    std::string key;
    std::optional<std::string> expected;
};

class IniReadRules : public ::testing::TestWithParam<ReadCase> {};

TEST_P(IniReadRules, FindsTheValueAReaderOfSuchFilesWould) {
    const ReadCase& c = GetParam();
    const IniDocument doc(c.file);
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
        ReadCase{"LineWithoutEqualsIgnored", "[S]\nA\nA=4\n", "S", "A", "4"},
        ReadCase{"HeaderWithTrailingText", "[S] junk\nA=1\n", "S", "A", "1"},
        ReadCase{"UnclosedBracketIsNoHeader", "[S]\n[broken\nA=1\n", "S", "A", "1"},
        ReadCase{"ByteOrderMark", kBom + "[S]\r\nA=1\r\n", "S", "A", "1"},
        ReadCase{"CrOnlyLineEnds", "[S]\rA=1\rB=2", "S", "B", "2"},
        ReadCase{"LfOnlyNoFinalLineEnd", "[S]\nA=1\nB=2", "S", "B", "2"},
        ReadCase{"MixedLineEnds", "[S]\r\r\nA=1\n\rB=2\r\n", "S", "B", "2"},
        ReadCase{"NulInValueKept", "[S]\nA=x\0y\n"s, "S", "A", "x\0y"s},
        ReadCase{"NulElsewhereHarmless", "\0\0[S]\0\n[S]\nA=1\n"s, "S", "A", "1"},
        ReadCase{"InvalidUtf8Verbatim", "[S]\nA=\xff\xfe\xc3\n", "S", "A", "\xff\xfe\xc3"},
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
                                                "\xff\xfe",
                                                "\x01\x7f",
                                                "C:\\fw\\a b.bin"};

TEST(IniQuoting, EveryOneLineTextReadsBackExactly) {
    for (const std::string& text : kAwkwardTexts) {
        for (const std::string& before : {""s, "[FILE INFO]\r\nFile Name=old\r\n"s}) {
            IniDocument doc(before);
            const IniPut put{"FILE INFO", "File Name", text};
            doc.apply({&put, 1});
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
    const std::vector<std::string> bad = {"a\rb", "a\nb", "a\r\nb", "a\0b"s, "\n", "\0"s};
    for (const std::string& text : bad) {
        EXPECT_THROW(encodeIniValue(text), StoreError);
        IniDocument doc(before);
        // The valid put in the same batch must not be applied either.
        const std::vector<IniPut> puts = {{"FILE INFO", "Type", "2"}, {"FILE INFO", "N", text}};
        EXPECT_THROW(doc.apply(puts), StoreError);
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
        EXPECT_THROW(doc.apply({&put, 1}), StoreError) << section << "/" << key;
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
    doc.apply(c.puts);
    EXPECT_EQ(doc.bytes(), c.after);
    // The index is rebuilt after an edit: what was put reads back.
    for (const IniPut& p : c.puts) {
        const auto it = std::find_if(c.puts.rbegin(), c.puts.rend(), [&](const IniPut& q) {
            return iniNamesEqual(q.section, p.section) && iniNamesEqual(q.key, p.key);
        });
        EXPECT_EQ(doc.value(p.section, p.key), it->value) << p.key;
    }
}

const IniPut kType{"FILE INFO", "Type", "7"};
const IniPut kWait{"FILE INFO", "Wait", "3"};

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
        EditCase{"NewKeyAfterLastKeyLine",
                 "; head\r\n[FILE INFO]\r\nType=1\r\n\r\n; c\r\n[Other]\r\nX=y\r\n",
                 {kWait},
                 "; head\r\n[FILE INFO]\r\nType=1\r\nWait=3\r\n\r\n; c\r\n[Other]\r\nX=y\r\n"},
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
        doc.apply(puts);
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
