// The settings file: arbitrary bytes in Config.dat (as they come, as UTF-16LE with its mark, or
// after the UTF-8 mark), read through the store, then a save of arbitrary values committed and
// read back.
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
using quentra::reliability::decodeUtf8;
using quentra::reliability::fitsWindows1252;
using quentra::reliability::IniOracle;
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

bool isText(std::string_view s) {
    return decodeUtf8(s) == s;
}

// The character a byte stands for when bytes are turned into text: ASCII as it is, 80..CF as in
// Windows-1252, D0..DF Cyrillic, E0..FF CJK, so that texts inside and beyond Windows-1252 occur.
unsigned long characterOf(unsigned char b) {
    if (b >= 0xE0) {
        return 0x4E00 + (b - 0xE0) * 97ul;
    }
    if (b >= 0xD0) {
        return 0x0410 + (b - 0xD0);
    }
    return cp1252(b);
}

std::string textOf(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        putUtf8(out, characterOf(static_cast<unsigned char>(c)));
    }
    return out;
}

// UTF-16LE after its mark, one code unit per byte; F0..FF give lone or paired surrogates.
std::string utf16Of(std::string_view bytes, bool oddLastByte) {
    std::string out = "\xFF\xFE";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        const unsigned long unit = b >= 0xF8 ? 0xDC00 + b : b >= 0xF0 ? 0xD800 + b : characterOf(b);
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    }
    if (oddLastByte) {
        out += 'x';
    }
    return out;
}

// The reasons a put may be refused: the line could not hold the value, or the names would not
// read back as the same names.
bool refusalJustified(const std::string& section, const std::string& key, const std::string* text) {
    const std::string_view s = trimmed(section);
    const std::string_view k = trimmed(key);
    return holdsBreakOrNul(s) || s.find(']') != std::string_view::npos || holdsBreakOrNul(k) ||
           k.find('=') != std::string_view::npos ||
           (!k.empty() && (k.front() == ';' || k.front() == '#' || k.front() == '[')) ||
           !isText(s) || !isText(k) ||
           (text != nullptr && (holdsBreakOrNul(*text) || !isText(*text)));
}

// A text from the input: its bytes as they are (often no UTF-8 at all), or turned into text.
std::string pickText(FuzzedDataProvider& in, bool asText, std::size_t maxLength) {
    const std::string bytes = in.ConsumeRandomLengthString(maxLength);
    return asText ? textOf(bytes) : bytes;
}

std::string pickName(FuzzedDataProvider& in, const std::string* choices, std::size_t count,
                     bool asText) {
    const std::uint8_t pick = in.ConsumeIntegral<std::uint8_t>();
    if (pick < count * 16) {
        std::string name = choices[pick % count];
        if (pick & 0x80) {
            name = " " + name + "\t"; // blanks around names are not part of them
        }
        return name;
    }
    return pickText(in, asText, 24);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string path = configFilePath(appDir());
    const std::uint8_t mode = in.ConsumeIntegral<std::uint8_t>();
    const bool fileExists = (mode & 1) == 0;
    const bool asText = (mode & 0x20) != 0;
    std::string before = fileExists ? in.ConsumeRandomLengthString(4096) : std::string();
    switch ((mode >> 2) & 3) {
    case 1:
        before = utf16Of(before, (mode & 0x10) != 0);
        break;
    case 2:
        before = "\xEF\xBB\xBF" + before;
        break;
    default:
        break; // as it comes: Windows-1252 unless it starts with a mark itself
    }
    if (!fileExists) {
        before.clear();
    }
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
        for (std::string* text :
             {&controls.type, &controls.address, &controls.fileSize, &controls.blockSize,
              &controls.fileName, &controls.wait, &controls.console}) {
            *text = pickText(in, asText, 40);
        }
        for (int& state : controls.boxStates) {
            state = in.ConsumeIntegralInRange(0, 2);
        }
        UpgradeSettings settings;
        try {
            settings = settingsFromControls(controls);
        } catch (const InvalidValueError& e) {
            FUZZ_CHECK(e.field != JobField::FileName || holdsBreakOrNul(controls.fileName) ||
                           !isText(controls.fileName),
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
                       "an unstorable put was accepted");
            accepted[{nameKey(section), nameKey(key)}] = value;
        }
    }

    // A file with content and no mark is in Windows-1252 and keeps it; an empty or new one is
    // written in Windows-1252 when that holds every text, else in UTF-16LE.
    bool allFit = true;
    for (const auto& [name, value] : accepted) {
        allFit = allFit && fitsWindows1252(name.first) && fitsWindows1252(name.second) &&
                 fitsWindows1252(value);
    }
    const bool windows1252File =
        !before.empty() && original.encoding == OracleEncoding::Windows1252;
    try {
        store.commit();
    } catch (const UnencodableValueError& e) {
        FUZZ_CHECK(windows1252File && !allFit, "refused: %s", e.what());
        FUZZ_CHECK(slurp(path) == before, "a refused save changed the file");
        return 0;
    } catch (const StoreError& e) {
        FUZZ_CHECK(false, "commit failed: %s", e.what());
    }
    FUZZ_CHECK(!windows1252File || allFit, "a text beyond Windows-1252 went into such a file");
    const std::string after = slurp(path);
    FUZZ_CHECK(fileExists || !accepted.empty() || after.empty(), "a file appeared from nothing");
    if (before.empty() && !accepted.empty()) {
        FUZZ_CHECK(after.starts_with("\xFF\xFE") == !allFit, "a new file in the wrong encoding");
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
