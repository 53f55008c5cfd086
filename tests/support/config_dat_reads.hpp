#pragma once

// How Config.dat reads: files, and what a key of one reads as (nothing: absent), as the
// consumer reads them through the Windows profile API. One table for every reader of such files:
// the store's own (ini_document_test.cpp), the independent judge of the fuzz target
// (oracle_test.cpp) and, under Wine, the profile API itself (profile_api_test.cpp). A file
// without a mark is read in Windows-1252. The rows named Job* are files of the consumer's own
// kinds whose values were measured from the profile API; the profile API test also reads every
// key of the job in them.

#include "support/test_support.hpp"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace quentra::test_support {

struct ConfigDatRead {
    const char* name;
    std::string bytes;
    std::string section;
    std::string key;
    std::optional<std::string> value;
    // Where the profile API under Wine was measured to read otherwise than the table's other
    // readers: what it read.
    const char* wineReads = nullptr;
};

inline void PrintTo(const ConfigDatRead& row, std::ostream* os) {
    *os << row.name;
}

inline const std::vector<ConfigDatRead>& configDatReads() {
    using namespace std::string_literals;
    const std::string bom = "\xEF\xBB\xBF";
    const std::string fffd = "\xEF\xBF\xBD";
    static const std::vector<ConfigDatRead> rows = {
        {"Plain", "[FILE INFO]\r\nType=6060\r\n", "FILE INFO", "Type", "6060"},
        {"NamesIgnoreCase", "[file info]\nTYPE=1\n", "FILE INFO", "type", "1"},
        {"BlanksAroundNamesAndValues", "  [ FILE INFO ] \n \tType \t=  6060 \t\n", "FILE INFO",
         "Type", "6060"},
        {"BlanksAroundAskedNames", "[FILE INFO]\nType=1\n", " FILE INFO ", "Type\t", "1"},
        {"DoubleQuotesRemoved", "[S]\nN=\"  a b \"\n", "S", "N", "  a b "},
        {"SingleQuotesRemoved", "[S]\nN= 'x' \n", "S", "N", "x"},
        {"OnlyOnePairRemoved", "[S]\nN=\"\"x\"\"\n", "S", "N", "\"x\""},
        {"MismatchedQuotesKept", "[S]\nN=\"x'\n", "S", "N", "\"x'"},
        {"LoneQuoteKept", "[S]\nN=\"\n", "S", "N", "\""},
        {"EmptyValueIsPresent", "[S]\nN=\n", "S", "N", ""},
        {"EqualsInValue", "[S]\nN=b=c\n", "S", "N", "b=c"},
        {"SemicolonInValueKept", "[S]\nN=1 ; note\n", "S", "N", "1 ; note"},
        {"AbsentKey", "[S]\nA=1\n", "S", "B", std::nullopt},
        {"AbsentSection", "[T]\nA=1\n", "S", "A", std::nullopt},
        {"KeyOfAnotherSection", "[A]\nType=1\n[FILE INFO]\n", "FILE INFO", "Type", std::nullopt},
        {"KeyBeforeAnySection", "Type=1\n[FILE INFO]\n", "FILE INFO", "Type", std::nullopt},
        {"FirstDuplicateSectionWins", "[S]\nA=1\n[T]\n[s]\nA=2\n", "S", "A", "1"},
        {"LaterDuplicateSectionIgnored", "[S]\nA=1\n[S]\nB=2\n", "S", "B", std::nullopt},
        {"FirstDuplicateKeyWins", "[S]\nA=1\na=2\n", "S", "A", "1"},
        {"CommentsNeverMatch", "[S]\n;A=1\n  #A=2\nA=3\n", "S", "A", "3"},
        {"CommentOnly", "[S]\n; A=1\n", "S", "A", std::nullopt},
        {"KeyAloneHidesLaterLines", "[S]\nA\nA=4\n", "S", "A", std::nullopt},
        {"KeyAloneIsNoOtherKey", "[S]\nAB\nA=4\n", "S", "A", "4"},
        {"HeaderWithTrailingText", "[S] junk\nA=1\n", "S", "A", "1"},
        {"UnclosedBracketIsNoHeader", "[S]\n[broken\nA=1\n", "S", "A", "1"},
        {"ByteOrderMark", bom + "[S]\r\nA=1\r\n", "S", "A", "1"},
        {"CrOnlyLineEnds", "[S]\rA=1\rB=2", "S", "B", "2"},
        {"LfOnlyNoFinalLineEnd", "[S]\nA=1\nB=2", "S", "B", "2"},
        {"MixedLineEnds", "[S]\r\r\nA=1\n\rB=2\r\n", "S", "B", "2"},
        {"NulEndsQuotedValue", "[S]\nA=\"x\0\"\n"s, "S", "A", "\"x"},
        {"NulEndsKeyName", "[S]\nA\0b=1\nA=2\n"s, "S", "A", "1"},
        {"NulAfterBlankInKeyName", "[S]\nA \0=1\nA=2\n"s, "S", "A", "2"},
        {"NulEndsSectionName", "[S\0x]\nA=1\n"s, "S", "A", "1"},
        {"SectionNameRunsToLastBracket", "[S]x]\nA=1\n", "S]x", "A", "1"},
        {"SectionNameNotUpToFirstBracket", "[S]x]\nA=1\n", "S", "A", std::nullopt},
        {"OtherWhiteSpaceTrimmed",
         "\x1a[\x0bS\x0c]\x0b\n\x0c"
         "A\x1a=\x0b 5\x1a\x0c\n",
         "S", "A", "5"},
        {"Utf16BigEndian", utf16File("[S]\r\nA=\xC3\xA9\r\n", true), "S", "A", "\xC3\xA9"},
        {"Utf8SurrogateAsTheSystemReadsIt", bom + "[S]\nA=x\xED\xA0\x80y\n", "S", "A",
         "x\xEF\xBF\xBD\xEF\xBF\xBDy"},
        {"Utf8CutShortMidFile", bom + "[S]\nA=\xE6\x41\nB=1", "S", "A",
         "\xEF\xBF\xBD"
         "A"},
        {"Utf8CutShortByTheEndTakesTheRest", bom + "[S]\nA=x\xF0\x41=", "S", "A", "x\xEF\xBF\xBD"},
        {"NulElsewhereHarmless", "\0\0[S]\0\n[S]\nA=1\n"s, "S", "A", "1"},
        {"NoMarkReadsAsWindows1252", "[S]\nA=\xff\xfe\xc3\n", "S", "A", "\xc3\xbf\xc3\xbe\xc3\x83"},
        {"NonAsciiIsCaseSensitive", "[S]\n\xc3\x84=1\n", "S", "\xc3\xa4", std::nullopt},
        {"QuotesAndWhiteSpaceAroundRemoved",
         bom + "; c\r\n[ file info ]\rTYPE = ' 1 '\ntype=2\n[Other]\nA=x\n[FILE INFO]\nWait=3\n",
         "FILE INFO", "Type", " 1 "},
        {"SecondSectionOfANameIgnored", bom + "[S]\nA=1\n[Other]\n[s]\nWait=3\n", "S", "Wait",
         std::nullopt},
        {"NameAskedForTrimmed", "[Other]\nA=x\n", "\x0Bother ", "\x1A a\t", "x"},
        {"AllWhiteSpaceOfTheConsumerTrimmed", "\x1A[S]\x0B\n\x0C\x1A A \x0B= \x1Ax\x0C\x1A\n", "S",
         "A", "x"},
        {"SectionNameTrimmedThenCutAtNul", "[ S \0x]\nA=1\n[S]\nA=2\n"s, "S", "A", "2"},
        {"UnclosedBracketIsAKeyLine", "[S]\n[x=1\nA=2\n", "S", "[x", "1"},
        {"CommentIsNoKey", "[S]\n ;A=1\n", "S", ";A", std::nullopt, "1"},
        {"ValueTrimmedThenCutAtNul", "[S]\nA= x \0y \n"s, "S", "A", "x "},
        {"Windows1252", "[S]\nA=\x80\x81\xE9\n", "S", "A", "\xE2\x82\xAC\xC2\x81\xC3\xA9"},
        {"Utf16LoneSurrogateKeptOddByteReplaced", utf16File("[S]\r\nA=\xC3\xA9") + "\x3D\xD8" + "Z",
         "S", "A", "\xC3\xA9\xED\xA0\xBD\xEF\xBF\xBD"},
        {"Utf16SurrogatePair", utf16File("[S]\r\nA=") + "\x3D\xD8\x00\xDE"s, "S", "A",
         "\xF0\x9F\x98\x80"},
        {"Utf8SecondByteOutOfRangeIsTaken", bom + "[S]\nA=\xED\xA0\x80|\xE0\x80|\xF4\x90\x80\x80\n",
         "S", "A", "\xEF\xBF\xBD\xEF\xBF\xBD|\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"Utf8InvalidLeadsAndStrayBytes", bom + "[S]\nA=\xC0\xAF\xF5\x80\n", "S", "A",
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"Utf8SequenceEndsBeforeANonContinuationByte", bom + "[S]\nA=\xE6\xBC\xA2\xE6\xBC 1\n", "S",
         "A", "\xE6\xBC\xA2\xEF\xBF\xBD 1"},
        {"JobUtf16BigEndian",
         utf16File(u"[FILE INFO]\r\nType=6050\r\nFile Name=\u00E9t\u00E9.bin\r\nWait = ' 3 '\r\n",
                   true),
         "FILE INFO", "File Name", "\xC3\xA9t\xC3\xA9.bin"},
        {"JobUtf16LoneSurrogates",
         utf16File(u"[FILE INFO]\r\nFile Name=a"s + char16_t(0xD800) + u"b" + char16_t(0xDC00) +
                   u"\r\nConsole=" + char16_t(0xDC00) + char16_t(0xD800) + u"\r\nType=" +
                   char16_t(0xD83D) + char16_t(0xDE00) + u"\r\n"),
         "FILE INFO", "File Name",
         "a\xED\xA0\x80"
         "b\xED\xB0\x80"},
        {"JobUtf16BigEndianLoneSurrogates",
         utf16File(u"[FILE INFO]\r\nConsole="s + char16_t(0xDBFF) + u"\r\nAddress=1" +
                       char16_t(0xDC00),
                   true),
         "FILE INFO", "Address", "1\xED\xB0\x80"},
        {"JobAllWhiteSpace",
         "\x1A[FILE INFO]\x0B\r\n\x0C Type \x1A= \x0B"
         "6050\x1A\r\n\tWait\x0C=\x0C\x1A\r\n File Name = \"\x0B"
         "a\x0B\"\x1A\r\nConsole=\x1A\r\n",
         "FILE INFO", "Type", "6050"},
        {"JobNulInKeysAndValues",
         "[FILE INFO]\r\nType \0=1\r\nType=2\r\nAddress=3 \0x\r\nFile Name=\"a\0\"\r\n"
         "Wait\0x=4\r\nConsole=\0\r\n"s,
         "FILE INFO", "Address", "3 "},
        {"JobNulInSectionNames", "[FILE INFO \0]\r\nType=1\r\n[FILE INFO\0 x]\r\nType=2\r\n"s,
         "FILE INFO", "Type", "2"},
        {"JobSeveralBrackets",
         "[FILE INFO]x]\r\nType=1\r\n[FILE INFO] ]\r\nType=2\r\n[FILE INFO]\r\n[x=5\r\nType=3\r\n"
         "]Address=4\r\n",
         "FILE INFO", "Type", "3"},
        {"JobKeysAlone",
         "[FILE INFO]\r\nType\r\nType=1\r\nAddress "
         "\x1A\r\nAddress=2\r\n;Wait\r\nWait=3\r\nConsole\r\n",
         "FILE INFO", "Type", std::nullopt},
        {"JobDuplicateSections",
         "[FILE INFO]\r\nType=1\r\n[Other]\r\nAddress=9\r\n[file info]\r\nAddress=2\r\nType=3\r\n",
         "FILE INFO", "Address", std::nullopt},
        {"JobUtf8AsTheSystemDecodesIt",
         bom +
             std::string(
                 "[FILE "
                 "INFO]\r\nType=\xED\xA0\x80|\xE0\x80|\xF4\x90\x80\x80\r\nAddress=\xC0\xAF\xF5\x80"
                 "\r\nFile Name=\xE6\xBC\xA2\xE6\xBC "
                 "x\r\nConsole=\xF0\x9F\x98\x80\r\nWait=x\xF0\r\n"),
         "FILE INFO", "Type", fffd + fffd + "|" + fffd + "|" + fffd + fffd + fffd},
        {"JobAnsiCodePage", "[FILE INFO]\r\nFile Name=\x80\x81\xE9\xFF.bin\r\nType=1\r\n",
         "FILE INFO", "Type", "1"},
    };
    return rows;
}

} // namespace quentra::test_support
