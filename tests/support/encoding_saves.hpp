#pragma once

// Saves into each kind of file the consumer reads: a file without a mark is in the ANSI code page
// (the rows take it to be Windows-1252), one with FF FE is UTF-16LE. What Load shows before the
// save, and the bytes the commit writes, which the store (everywhere) and the profile API (on
// Windows) read back as put.

#include "support/test_support.hpp"

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace quentra::test_support {

using Puts = std::vector<std::pair<std::string, std::string>>;

struct EncodingSave {
    const char* name;
    std::string before; // empty: no file
    Puts puts;
    std::string shownName; // what a get of "File Name" gives before the commit
    std::string after;     // empty: refused, the file left as it was
};

inline void PrintTo(const EncodingSave& row, std::ostream* os) {
    *os << row.name;
}

inline const std::vector<EncodingSave>& encodingSaves() {
    const std::string melange = "M\xC3\xA9lange_2.bin";             // in Windows-1252
    const std::string mixedLatin = "\xC5\x93uvre \xE2\x82\xAC.bin"; // 1252's own 80..9F
    const std::string kanji = "\xE6\xBC\xA2\xE5\xAD\x97.bin";
    const std::string cyrillic = "\xD0\x96\xD1\x83\xD0\xBA.bin";
    const std::string emoji = "\xF0\x9F\x98\x80.bin"; // beyond the BMP
    const std::string ansiFile = "[FILE INFO]\r\nWait=1\r\nFile Name=x\r\n";
    const std::string ansiMelange = "[FILE INFO]\r\nType=1\r\nFile Name=M\xE9lange_2.bin\r\n";
    const auto newFile = [](const std::string& name) {
        return "[FILE INFO]\r\nFile Name=" + name + "\r\nType=6050\r\n";
    };
    // The puts of most rows: the name, then a type.
    const auto nameAndType = [](const std::string& name) {
        return Puts{{"File Name", name}, {"Type", "6050"}};
    };
    static const std::vector<EncodingSave> rows = {
        {"UntouchedWindows1252NameKeepsItsBytes", ansiMelange, nameAndType(melange), melange,
         "[FILE INFO]\r\nType=6050\r\nFile Name=M\xE9lange_2.bin\r\n"},
        {"Windows1252NameIntoAnAnsiFile", ansiFile, nameAndType(melange), "x",
         "[FILE INFO]\r\nWait=1\r\nFile Name=M\xE9lange_2.bin\r\nType=6050\r\n"},
        {"AsciiNameIntoAnAnsiFile", ansiFile, nameAndType("vtl_2.bin"), "x",
         "[FILE INFO]\r\nWait=1\r\nFile Name=vtl_2.bin\r\nType=6050\r\n"},
        {"KanjiIntoAWindows1252FileRefused", ansiMelange, nameAndType(kanji), melange, ""},
        {"NewFileWithAsciiInWindows1252", "", nameAndType("vtl_2.bin"), "", newFile("vtl_2.bin")},
        {"NewFileWithAnAccentInWindows1252", "", nameAndType(melange), "",
         newFile("M\xE9lange_2.bin")},
        {"NewFileWithWindows1252PunctuationInWindows1252", "", nameAndType(mixedLatin), "",
         newFile("\x9Cuvre \x80.bin")},
        {"NewFileWithKanjiInUtf16", "", nameAndType(kanji), "", utf16File(newFile(kanji))},
        {"NewFileWithCyrillicInUtf16", "", nameAndType(cyrillic), "", utf16File(newFile(cyrillic))},
        {"NewFileBeyondTheBmpInUtf16", "", nameAndType(emoji), "", utf16File(newFile(emoji))},
        {"Utf16FileUpdatedInUtf16",
         utf16File("[FILE INFO]\r\nType=1\r\nFile Name=" + kanji + "\r\n"),
         {{"Type", "6050"}, {"File Name", melange}, {"Wait", "0"}},
         kanji,
         utf16File("[FILE INFO]\r\nType=6050\r\nFile Name=" + melange + "\r\nWait=0\r\n")},
        {"Utf16FileTakesKanji", utf16File("[FILE INFO]\r\nFile Name=x\r\n"), nameAndType(kanji),
         "x", utf16File(newFile(kanji))},
        // Windows' profile API reads neither a header on a UTF-8 mark's line nor UTF-16BE: the
        // one gets a line end after the mark, the other is UTF-16LE.
        {"Utf8FileKeepsNoHeaderOnItsMarksLine",
         "\xEF\xBB\xBF[FILE INFO]\r\nFile Name=" + melange + "\r\n", nameAndType(kanji), melange,
         "\xEF\xBB\xBF\r\n[FILE INFO]\r\nFile Name=" + kanji + "\r\nType=6050\r\n"},
        {"Utf16BeFileWrittenAsUtf16Le",
         utf16File("[FILE INFO]\r\nFile Name=" + kanji + "\r\n", true), nameAndType(kanji), kanji,
         utf16File("[FILE INFO]\r\nFile Name=" + kanji + "\r\nType=6050\r\n")},
    };
    return rows;
}

} // namespace quentra::test_support
