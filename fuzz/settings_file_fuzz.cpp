// The settings file: arbitrary bytes in Config.dat, read through the store, then a save of
// arbitrary values committed and read back.
//
// Invariants: no crash or hang; the store reads what an independent reader reads; every put
// value reads back exactly or was refused for a stated reason; every byte outside the keys that
// the save touched is unchanged (see ini_oracle.hpp for the precise meaning of "outside").

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
using quentra::reliability::IniOracle;
using quentra::reliability::nameKey;
using quentra::reliability::outsideDifference;
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

// The reasons a put may be refused: the line could not hold the value, or the names would not
// read back as the same names.
bool refusalJustified(const std::string& section, const std::string& key, const std::string* text) {
    const std::string_view s = trimmed(section);
    const std::string_view k = trimmed(key);
    return holdsBreakOrNul(s) || s.find(']') != std::string_view::npos || holdsBreakOrNul(k) ||
           k.find('=') != std::string_view::npos ||
           (!k.empty() && (k.front() == ';' || k.front() == '#' || k.front() == '[')) ||
           (text != nullptr && holdsBreakOrNul(*text));
}

std::string pickName(FuzzedDataProvider& in, const std::string* choices, std::size_t count) {
    const std::uint8_t pick = in.ConsumeIntegral<std::uint8_t>();
    if (pick < count * 16) {
        std::string name = choices[pick % count];
        if (pick & 0x80) {
            name = " " + name + "\t"; // blanks around names are not part of them
        }
        return name;
    }
    return in.ConsumeRandomLengthString(24);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string path = configFilePath(appDir());
    const std::uint8_t mode = in.ConsumeIntegral<std::uint8_t>();
    const bool fileExists = (mode & 1) == 0;
    const std::string before = fileExists ? in.ConsumeRandomLengthString(4096) : std::string();
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
            *text = in.ConsumeRandomLengthString(40);
        }
        for (int& state : controls.boxStates) {
            state = in.ConsumeIntegralInRange(0, 2);
        }
        UpgradeSettings settings;
        try {
            settings = settingsFromControls(controls);
        } catch (const InvalidValueError& e) {
            FUZZ_CHECK(e.field != JobField::FileName || holdsBreakOrNul(controls.fileName),
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
            const std::string section = pickName(in, sections, std::size(sections));
            const std::string key = pickName(in, jobKeys().data(), jobKeys().size());
            const bool asNumber = in.ConsumeBool();
            std::string value;
            std::int32_t number = 0;
            if (asNumber) {
                number = in.ConsumeIntegral<std::int32_t>();
                value = std::to_string(number);
            } else {
                value = in.ConsumeRandomLengthString(40);
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

    try {
        store.commit();
    } catch (const StoreError& e) {
        FUZZ_CHECK(false, "commit failed: %s", e.what());
    }
    const std::string after = slurp(path);
    FUZZ_CHECK(fileExists || !accepted.empty() || after.empty(), "a file appeared from nothing");

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
