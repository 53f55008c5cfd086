// The settings file: arbitrary bytes in Config.dat (as they come, as UTF-16LE or UTF-16BE with
// its mark, or after the UTF-8 mark; raw or built from the pieces of a settings file), read
// through the store, then a save of arbitrary values committed and read back.
//
// Invariants: no crash or hang; the store reads what an independent reader reads; every put
// value reads back exactly or was refused for a stated reason (a text the file's encoding cannot
// hold among them, and then nothing is written); a new file is in Windows-1252 when that holds
// every text, else in UTF-16LE; every byte outside the keys that the save touched is unchanged
// (see ini_oracle.hpp for the precise meaning of "outside").

#include "core/config_store.hpp"
#include "core/paths.hpp"
#include "core/platform/ini_file_store.hpp"
#include "core/upgrade_settings.hpp"
#include "fuzz_check.hpp"
#include "ini_oracle.hpp"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <unistd.h>

using namespace quentra::core;
using quentra::reliability::cp1252;
using quentra::reliability::fitsWindows1252;
using quentra::reliability::IniOracle;
using quentra::reliability::isUtf8Text;
using quentra::reliability::nameKey;
using quentra::reliability::OracleEncoding;
using quentra::reliability::outsideDifference;
using quentra::reliability::putUtf8;
using quentra::reliability::trimmed;

namespace {

const std::array<std::string, 23>& jobKeys() {
    static const std::array<std::string, 23> keys = [] {
        std::array<std::string, 23> k{"Type",      "Address", "File Length", "Block Size",
                                      "File Name", "Wait",    "Console"};
        for (int p = 1; p <= 16; ++p) {
            k[static_cast<std::size_t>(6 + p)] = portKey(p);
        }
        return k;
    }();
    return keys;
}

// One directory per fuzzing process, on a memory file system when there is one: every run
// commits, and a commit syncs.
const std::string& appDir() {
    static const std::string dir = [] {
        const std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                               ? "/dev/shm"
                                               : std::filesystem::temp_directory_path();
        const auto d = base / ("qmu-fuzz-settings-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        static const std::filesystem::path toRemove = d;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(toRemove, ignored);
        });
        return withTrailingSeparator(d.string());
    }();
    return dir;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool holdsBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// A text for a message: bytes outside printable ASCII as \xNN.
std::string shown(std::string_view s) {
    std::string out;
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += c;
        } else {
            const char* digits = "0123456789ABCDEF";
            out += "\\x";
            out += digits[b >> 4];
            out += digits[b & 15];
        }
    }
    return out;
}

// The code unit a byte stands for when bytes are turned into text: ASCII as it is, 80..CF as in
// Windows-1252, D0..DF Cyrillic, E0..EF CJK, F0..F7 high and F8..FF low surrogates (lone, or a
// pair when one of each meet), so that texts inside and beyond Windows-1252 occur.
unsigned long unitOf(unsigned char b) {
    if (b >= 0xF0) {
        return (b >= 0xF8 ? 0xDC00 : 0xD800) + b;
    }
    if (b >= 0xE0) {
        return 0x4E00 + (b - 0xE0) * 97ul;
    }
    if (b >= 0xD0) {
        return 0x0410 + (b - 0xD0);
    }
    return cp1252(b);
}

// Text, surrogates in their generalized UTF-8 form.
std::string textOf(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        putUtf8(out, unitOf(static_cast<unsigned char>(c)));
    }
    return out;
}

using namespace std::string_view_literals;

// What the input bytes below 20 stand for in a file built from pieces.
// clang-format off
constexpr std::array<std::string_view, 32> kPieces = {
    "[FILE INFO]"sv, "[file info ]"sv, "[FILE INFO \0]"sv, "["sv,
    "]"sv, "="sv, ";"sv, "#"sv,
    "\r\n"sv, "\n"sv, "\r"sv, " "sv,
    "\t"sv, "\x0B"sv, "\x0C"sv, "\x1A"sv,
    "\0"sv, "\""sv, "'"sv, "Type"sv,
    "File Name"sv, "Wait"sv, "Console"sv, "Port #1"sv,
    " \0"sv, "\0 "sv, "=1"sv, "[FILE INFO]\r\n"sv,
    "\r\nType\r\n"sv, "File Name="sv, "[S]x]"sv, "\r\nWait=\"a\"\r\n"sv};
// clang-format on

// The file's content, by kind: 0 as it comes, 1 UTF-16LE, 2 after the UTF-8 mark, 3 UTF-16BE.
// As it comes and after the UTF-8 mark the input bytes go in as they are; in UTF-16 each is one
// code unit. In pieces, a byte below 20 is a piece of a settings file, any other one character.
std::string fileOf(std::string_view input, int kind, bool inPieces, bool oddLastByte) {
    const bool utf16 = kind == 1 || kind == 3;
    std::string out = kind == 1   ? "\xFF\xFE"
                      : kind == 2 ? "\xEF\xBB\xBF"
                      : kind == 3 ? "\xFE\xFF"
                                  : "";
    const auto put = [&](unsigned long unit) {
        if (!utf16) {
            putUtf8(out, unit);
            return;
        }
        const char low = static_cast<char>(unit & 0xFF);
        const char high = static_cast<char>(unit >> 8);
        out += kind == 1 ? low : high;
        out += kind == 1 ? high : low;
    };
    for (const char c : input) {
        const auto b = static_cast<unsigned char>(c);
        if (inPieces && b < 0x20) {
            for (const char p : kPieces[b]) {
                put(static_cast<unsigned char>(p));
            }
        } else if (utf16 || (inPieces && kind == 2)) {
            put(unitOf(b));
        } else {
            out += c;
        }
    }
    if (utf16 && oddLastByte) {
        out += 'x';
    }
    return out;
}

// The reasons a put may be refused: the line could not hold the value, or the names would not
// read back as the same names. Names are text without surrogates; a value may hold a lone one.
bool refusalJustified(const std::string& section, const std::string& key, const std::string* text) {
    const std::string_view s = trimmed(section);
    const std::string_view k = trimmed(key);
    return holdsBreakOrNul(section) || s.find(']') != std::string_view::npos ||
           holdsBreakOrNul(key) || k.find('=') != std::string_view::npos ||
           (!k.empty() && (k.front() == ';' || k.front() == '#' || k.front() == '[')) ||
           !isUtf8Text(s, false) || !isUtf8Text(k, false) ||
           (text != nullptr && (holdsBreakOrNul(*text) || !isUtf8Text(*text, true)));
}

// Whether a file in that encoding can hold the text.
bool holds(OracleEncoding encoding, std::string_view text) {
    switch (encoding) {
    case OracleEncoding::Windows1252:
        return fitsWindows1252(text);
    case OracleEncoding::Utf8:
        return isUtf8Text(text, false);
    case OracleEncoding::Utf16Le:
    case OracleEncoding::Utf16Be:
        break;
    }
    return true;
}

// A text from the input: its bytes as they are (often no UTF-8 at all), or turned into text.
std::string pickText(FuzzedDataProvider& in, bool asText, std::size_t maxLength) {
    const std::string bytes = in.ConsumeRandomLengthString(maxLength);
    return asText ? textOf(bytes) : bytes;
}

std::string pickName(FuzzedDataProvider& in, const std::string* choices, std::size_t count,
                     bool asText) {
    const std::uint8_t pick = in.ConsumeIntegral<std::uint8_t>();
    if (pick >= 0xC0) {
        return pickText(in, asText, 24);
    }
    std::string name = choices[pick % count];
    if (pick & 0x80) {
        // White space around a name is no part of it.
        constexpr std::string_view spaces = " \t\x0B\x0C\x1A";
        name = spaces[pick % spaces.size()] + name + spaces[(pick / 8) % spaces.size()];
    }
    return name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string path = configFilePath(appDir());
    // Bits: 01 no file, 02 arbitrary puts (else a save of the window's controls), 0C the file's
    // kind (see fileOf), 10 an odd last byte in UTF-16, 20 texts made text, 40 the file in pieces.
    const std::uint8_t mode = in.ConsumeIntegral<std::uint8_t>();
    const bool fileExists = (mode & 1) == 0;
    const bool asText = (mode & 0x20) != 0;
    const std::string before = fileExists
                                   ? fileOf(in.ConsumeRandomLengthString(4096), (mode >> 2) & 3,
                                            (mode & 0x40) != 0, (mode & 0x10) != 0)
                                   : std::string();
    std::filesystem::remove(path);
    if (fileExists) {
        std::ofstream(path, std::ios::binary) << before;
    }

    // Load: the store reads what an independent reader reads.
    const IniOracle original(before);
    IniFileStore store;
    store.putFilePath(path);
    store.putSectionName(std::string(kSectionName));
    for (const std::string& key : jobKeys()) {
        store.putKeyName(key);
        const std::string got = store.getKeyValue();
        const std::string expected = original.value(kSectionName, key).value_or("");
        FUZZ_CHECK(got == expected, "\"%s\" read as [%s], expected [%s]", key.c_str(), got.c_str(),
                   expected.c_str());
    }
    FUZZ_CHECK(!store.readError(), "read error %s", store.readError()->c_str());

    std::map<IniOracle::Name, std::string> accepted; // last accepted put of each key
    if ((mode & 2) == 0) {
        // A save of the window's controls.
        JobControls controls;
        for (std::string& text : controls.texts.byField) {
            text = pickText(in, asText, 40);
        }
        for (int& state : controls.boxStates) {
            state = in.ConsumeIntegralInRange(0, 2);
        }
        UpgradeSettings settings;
        try {
            settings = settingsFromControls(controls);
        } catch (const InvalidValueError& e) {
            FUZZ_CHECK(e.field != JobField::FileName ||
                           holdsBreakOrNul(controls.texts[JobField::FileName]) ||
                           !isUtf8Text(controls.texts[JobField::FileName], true),
                       "file name refused: %s", e.what());
            return 0;
        }
        saveSettings(store, appDir(), settings);
        const std::array<std::int32_t, 6> numbers{settings.type,       settings.address,
                                                  settings.fileLength, settings.blockSize,
                                                  settings.wait,       settings.console};
        const std::array<std::size_t, 6> at{0, 1, 2, 3, 5, 6};
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            accepted[{nameKey(kSectionName), nameKey(jobKeys()[at[i]])}] =
                std::to_string(numbers[i]);
        }
        accepted[{nameKey(kSectionName), nameKey("File Name")}] = settings.fileName;
        for (int p = 0; p < 16; ++p) {
            accepted[{nameKey(kSectionName), nameKey(portKey(p + 1))}] =
                std::to_string(settings.portMasks[static_cast<std::size_t>(p)]);
        }
    } else {
        // Arbitrary puts, mostly to the job's own section and keys.
        const std::string sections[] = {std::string(kSectionName), "file info", "Other", ""};
        while (in.remaining_bytes() > 0 && accepted.size() < 40) {
            const std::string section = pickName(in, sections, std::size(sections), asText);
            const std::string key = pickName(in, jobKeys().data(), jobKeys().size(), asText);
            const bool asNumber = in.ConsumeBool();
            std::string value;
            std::int32_t number = 0;
            if (asNumber) {
                number = in.ConsumeIntegral<std::int32_t>();
                value = std::to_string(number);
            } else {
                value = pickText(in, asText, 40);
            }
            store.putSectionName(section);
            store.putKeyName(key);
            try {
                if (asNumber) {
                    store.putKeyValue(number);
                } else {
                    store.putKeyValue(value);
                }
            } catch (const StoreError& e) {
                FUZZ_CHECK(refusalJustified(section, key, asNumber ? nullptr : &value),
                           "put refused: %s", e.what());
                continue;
            }
            FUZZ_CHECK(!refusalJustified(section, key, asNumber ? nullptr : &value),
                       "an unstorable put was accepted: [%s] %s=%s", shown(section).c_str(),
                       shown(key).c_str(), shown(value).c_str());
            accepted[{nameKey(section), nameKey(key)}] = value;
        }
    }

    // A file with content keeps its encoding, and a text it cannot hold refuses the save (only
    // UTF-16 holds lone surrogates); an empty or new one is written in Windows-1252 when that
    // holds every text, else in UTF-16LE.
    bool allFit = true;
    bool allFitWindows1252 = true;
    for (const auto& [name, value] : accepted) {
        for (const std::string_view text :
             {std::string_view(name.first), std::string_view(name.second),
              std::string_view(value)}) {
            allFit = allFit && holds(original.encoding, text);
            allFitWindows1252 = allFitWindows1252 && fitsWindows1252(text);
        }
    }
    try {
        store.commit();
    } catch (const UnencodableValueError& e) {
        FUZZ_CHECK(!before.empty() && !allFit, "refused: %s", e.what());
        FUZZ_CHECK(slurp(path) == before, "a refused save changed the file");
        return 0;
    } catch (const StoreError& e) {
        FUZZ_CHECK(false, "commit failed: %s", e.what());
    }
    FUZZ_CHECK(before.empty() || allFit, "a text went into a file whose encoding cannot hold it");
    const std::string after = slurp(path);
    FUZZ_CHECK(fileExists || !accepted.empty() || after.empty(), "a file appeared from nothing");
    if (before.empty() && !accepted.empty()) {
        FUZZ_CHECK(after.starts_with("\xFF\xFE") == !allFitWindows1252,
                   "a new file in the wrong encoding");
    }

    // Every accepted put reads back exactly, with the independent reader and with a new store.
    const IniOracle written(after);
    IniFileStore reread;
    reread.putFilePath(path);
    std::set<IniOracle::Name> touched;
    for (const auto& [name, value] : accepted) {
        touched.insert(name);
        const auto got = written.value(name.first, name.second);
        FUZZ_CHECK(got == value, "[%s] %s reads back as [%s], was put as [%s]", name.first.c_str(),
                   name.second.c_str(), got.value_or("(absent)").c_str(), value.c_str());
        reread.putSectionName(name.first);
        reread.putKeyName(name.second);
        FUZZ_CHECK(reread.getKeyValue() == value, "the store reads [%s] %s differently",
                   name.first.c_str(), name.second.c_str());
    }
    const std::string difference = outsideDifference(before, after, touched);
    FUZZ_CHECK(difference.empty(), "outside the touched keys: %s", difference.c_str());
    return 0;
}
