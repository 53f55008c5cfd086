// Settings files in UTF-8, UTF-16LE and UTF-16BE, and texts a file's encoding cannot hold.

#include "core/config_store.hpp"
#include "core/ini_document.hpp"
#include "core/text_encoding.hpp"
#include "support/settings_file_support.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quentra::core {
namespace {

using namespace std::string_literals;
using namespace test_support;

const std::string kMelangeUtf8 = "M\xC3\xA9lange_2.bin";
const std::string kCjkName = "\xE6\xBC\xA2\xE5\xAD\x97.bin";

struct EncodingCase {
    const char* name;
    std::string before;
    std::vector<IniPut> puts;
    std::string after; // byte for byte
    FileEncoding encoding;
};

class IniEncodings : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(IniEncodings, EditsKeepTheEncodingAndEveryUntouchedByte) {
    const EncodingCase& c = GetParam();
    IniDocument doc(c.before);
    EXPECT_EQ(storePuts(doc, c.puts), c.after);
    EXPECT_EQ(doc.encoding(), c.encoding);
    for (const IniPut& p : c.puts) {
        EXPECT_EQ(doc.value(p.section, p.key), p.value) << p.key;
    }
}

const IniPut kMelange{"FILE INFO", "File Name", kMelangeUtf8};
const IniPut kCjk{"FILE INFO", "File Name", kCjkName};

INSTANTIATE_TEST_SUITE_P(
    Table, IniEncodings,
    ::testing::Values(
        EncodingCase{"AnsiUntouchedNameKeepsItsByte",
                     "[FILE INFO]\r\nFile Name=M\xE9lange_2.bin\r\nType=1\r\n",
                     {kType},
                     "[FILE INFO]\r\nFile Name=M\xE9lange_2.bin\r\nType=7\r\n",
                     FileEncoding::Ansi},
        EncodingCase{"AnsiNameWrittenInWindows1252",
                     "[FILE INFO]\nFile Name=old\n\x81\x8D\x8F\x90\x9D=\x80\n",
                     {kMelange, kWait},
                     "[FILE INFO]\nFile Name=M\xE9lange_2.bin\n\x81\x8D\x8F\x90\x9D=\x80\nWait=3\n",
                     FileEncoding::Ansi},
        EncodingCase{
            "NewAsciiFileHasNoMark", "", {kType}, "[FILE INFO]\r\nType=7\r\n", FileEncoding::Ansi},
        EncodingCase{"NewFileInWindows1252WhenItHoldsEveryText",
                     "",
                     {kMelange},
                     "[FILE INFO]\r\nFile Name=M\xE9lange_2.bin\r\n",
                     FileEncoding::Ansi},
        EncodingCase{"NewFileInUtf16WhenWindows1252CannotHoldIt",
                     "",
                     {kType, kCjk},
                     utf16File("[FILE INFO]\r\nType=7\r\nFile Name=" + kCjkName + "\r\n"),
                     FileEncoding::Utf16Le},
        EncodingCase{
            "Utf16UpdatedInUtf16",
            utf16File("[FILE INFO]\r\nType=1\r\nFile Name=" + kCjkName + "\r\n[Other]\r\n"),
            {kType, kMelange, kWait},
            utf16File("[FILE INFO]\r\nType=7\r\nFile Name=" + kMelangeUtf8 +
                      "\r\nWait=3\r\n[Other]\r\n"),
            FileEncoding::Utf16Le},
        EncodingCase{"Utf16UndecodableBytesKept",
                     "\xFF\xFE" + utf16Bytes("; ") + "\x00\xDC"s +
                         utf16Bytes("\n[FILE INFO]\nType=1"),
                     {kType, kCjk},
                     "\xFF\xFE" + utf16Bytes("; ") + "\x00\xDC"s +
                         utf16Bytes("\n[FILE INFO]\nType=7\nFile Name=" + kCjkName),
                     FileEncoding::Utf16Le},
        EncodingCase{"Utf16OddLastByteBeforeNewSection",
                     utf16File("[Other]\r\nx=1") + "A",
                     {kType},
                     utf16File("[Other]\r\nx=1\xEF\xBF\xBD\r\n[FILE INFO]\r\nType=7\r\n"),
                     FileEncoding::Utf16Le},
        EncodingCase{"Utf16MarkOnly",
                     "\xFF\xFE",
                     {kType},
                     utf16File("[FILE INFO]\r\nType=7\r\n"),
                     FileEncoding::Utf16Le},
        EncodingCase{"Utf16BigEndianUpdatedInUtf16BigEndian",
                     utf16File("[FILE INFO]\r\nType=1\r\n", true),
                     {kType, kCjk},
                     utf16File("[FILE INFO]\r\nType=7\r\nFile Name=" + kCjkName + "\r\n", true),
                     FileEncoding::Utf16Be},
        EncodingCase{"Utf16LoneSurrogateWrittenAsItsUnit",
                     utf16File("[FILE INFO]\r\n"),
                     {{"FILE INFO", "File Name", "x\xED\xB0\x80"}},
                     utf16File("[FILE INFO]\r\nFile Name=x") + "\x00\xDC\r\0\n\0"s,
                     FileEncoding::Utf16Le},
        EncodingCase{"Utf8CutShortEndWrittenAsWhatItReadAs",
                     kBom + "[A]\nk=x\xF0\x41",
                     {kType},
                     kBom + "\n[A]\nk=x\xEF\xBF\xBD\n[FILE INFO]\nType=7\n",
                     FileEncoding::Utf8},
        EncodingCase{"Utf8MarkKeepsUtf8AndBrokenBytes",
                     kBom + "[FILE INFO]\nType=1\n; \xFF\xC3\n",
                     {kType, kCjk},
                     kBom + "\n[FILE INFO]\nType=7\nFile Name=" + kCjkName + "\n; \xFF\xC3\n",
                     FileEncoding::Utf8}),
    [](const auto& info) { return std::string(info.param.name); });

// A UTF-16LE file is read in its own units: a unit whose low byte is that of a CR, LF, "[", "]",
// "=", ";" or a blank is no such character unless its high byte is zero (a surrogate pair's first
// unit included), and line ends of each kind, and an unpaired surrogate, fall at every place of
// the units read at once. Each file reads and is edited exactly as the same text after the UTF-8
// mark.
TEST(IniEncodings, Utf16ReadsAndEditsAsTheSameTextAfterTheUtf8Mark) {
    const std::string look = "\xE0\xB4\x8A"      // U+0D0A: 0A 0D
                             "\xE0\xA8\x8D"      // U+0A0D: 0D 0A
                             "\xC5\x9B\xC5\x9D"  // U+015B U+015D: "[" and "]" with 01
                             "\xC4\xBD\xC4\xBB"  // U+013D U+013B: "=" and ";" with 01
                             "\xC4\xA0\xC4\x89"  // U+0120 U+0109: blank and tab with 01
                             "\xF0\x9F\x98\x80"; // U+1F600: 3D D8 00 DE
    const std::vector<IniPut> puts = {{"FILE INFO", "Type", "7"},
                                      {"FILE INFO", "Name" + look, look + "y"},
                                      {"FILE INFO", "New", look},
                                      {"Other" + look, look + "Key", "z"},
                                      {"Fresh", "A", "1"}};
    const std::string kUnpaired = "\xED\xB0\x80"; // U+DC00 alone, kept as its unit
    for (const char* lineEnd : {"\r", "\n", "\r\n"}) {
        const std::string eol = lineEnd;
        for (std::size_t shift = 0; shift < 9; ++shift) {
            const std::string text = ";" + std::string(shift, 'p') + kUnpaired + eol + "[Other" +
                                     look + "]" + eol + look + "Key=" + look + eol + "[FILE INFO]" +
                                     eol + " Type = 1" + eol + "Name" + look + "=" + look + "x" +
                                     eol + "[Third]" + eol + "k=v";
            const std::string where = "line end " + std::to_string(eol.size()) + "/" +
                                      std::to_string(eol[0]) + ", shift " + std::to_string(shift);
            IniDocument wide(utf16File(text));
            IniDocument narrow(kBom + text);
            EXPECT_EQ(wide.value("FILE INFO", "type"), "1") << where;
            EXPECT_EQ(wide.value("FILE INFO", "Name" + look), look + "x") << where;
            EXPECT_EQ(wide.value("Other" + look, look + "Key"), look) << where;
            const std::vector<std::pair<std::string, std::string>> others = {
                {"FILE INFO", look + "Key"},
                {"Other" + look, "Name" + look},
                {"Third", "k"},
                {"Other", look + "Key"}};
            for (const auto& [section, key] : others) {
                EXPECT_EQ(wide.value(section, key), narrow.value(section, key))
                    << where << " " << key;
            }
            const std::string wideFile = storePuts(wide, puts);
            ASSERT_EQ(wideFile.substr(0, 2), "\xFF\xFE") << where;
            std::string edited;
            appendUtf8FromUtf16(edited, std::string_view(wideFile).substr(2));
            EXPECT_EQ(kBom + edited, storePuts(narrow, puts)) << where;
        }
    }
}

TEST(IniEncodings, UndecodableTextReadsAsReplacementCharacters) {
    const std::vector<std::pair<std::string, std::string>> files = {
        {"\xFF\xFE" + utf16Bytes("[S]\nA=x") + "\x3D\xD8"s + utf16Bytes("y"), "x\xED\xA0\xBDy"},
        {kBom + "[S]\nA=x\xC3y", "x\xEF\xBF\xBDy"},
        {"[S]\nA=x\x81y", "x\xC2\x81y"},
    };
    for (const auto& [file, value] : files) {
        EXPECT_EQ(IniDocument(file).value("S", "A"), value);
    }
}

TEST(IniEncodings, ATextTheFilesEncodingCannotHoldIsRefusedByNameAndNothingChanges) {
    struct Case {
        IniPut put;
        std::string named;
        std::string before = "[FILE INFO]\r\nFile Name=M\xE9lange_2.bin\r\nType=1\r\n";
        std::string encoding = "Windows-1252";
    };
    const Case cases[] = {
        {kCjk, "\"File Name\" holds \"\xE6\xBC\xA2\" (U+6F22)"},
        {{"FILE INFO", "File Name", "\xED\xA0\x80"}, "holds \"\xED\xA0\x80\" (U+D800)"},
        {{"FILE INFO", "\xD0\x96", "1"}, "key name of \"\xD0\x96\""},
        {{"\xD0\x96", "Type", "1"}, "section name of \"Type\""},
        // UTF-8 holds every character, but not a surrogate read from a UTF-16 file.
        {{"FILE INFO", "File Name", "x\xED\xB0\x80"},
         "holds \"\xED\xB0\x80\" (U+DC00)",
         kBom + "[FILE INFO]\r\nType=1\r\n",
         "UTF-8"},
    };
    for (const Case& c : cases) {
        const std::string& before = c.before;
        IniDocument doc(before);
        const std::vector<IniPut> puts = {kType, c.put};
        try {
            storePuts(doc, puts);
            ADD_FAILURE() << "accepted " << c.put.value;
        } catch (const UnencodableValueError& e) {
            EXPECT_EQ(e.key, c.put.key);
            const std::string what = e.what();
            EXPECT_NE(what.find(c.named), std::string::npos) << what;
            EXPECT_NE(what.find("cannot be stored in the file's encoding, " + c.encoding),
                      std::string::npos)
                << what;
        }
        EXPECT_EQ(doc.value("FILE INFO", "Type"), "1");
    }
}

} // namespace
} // namespace quentra::core
