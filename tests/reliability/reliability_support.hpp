#pragma once

// Jobs that can be told apart by any one of their keys, a scratch directory per test, and
// saving through the same path the window takes (settingsFromControls, saveSettings, commit).

#include "core/paths.hpp"
#include "core/platform/ini_file_store.hpp"
#include "core/upgrade_settings.hpp"
#include "ini_oracle.hpp"
#include "support/settings_file_support.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quentra::reliability {

namespace fs = std::filesystem;

using test_support::entries;
using test_support::jobKeys;
using test_support::readFile;
using test_support::utf16File;
using test_support::writeFile;

inline std::set<IniOracle::Name> jobKeyNames() {
    std::set<IniOracle::Name> out;
    for (const auto& key : jobKeys()) {
        out.insert({nameKey(core::kSectionName), nameKey(key)});
    }
    return out;
}

// Job n: every key's stored text differs from that of every other job below 100000.
inline core::JobControls jobControls(int n) {
    core::JobControls c;
    c.texts[core::JobField::Type] = std::to_string(n);
    c.texts[core::JobField::Address] = std::to_string(n % 128);
    c.texts[core::JobField::FileSize] = std::to_string(100000 + n);
    c.texts[core::JobField::BlockSize] = std::to_string(n % 65537);
    c.texts[core::JobField::FileName] = "job_" + std::to_string(n) + ".bin";
    c.texts[core::JobField::Wait] = std::to_string(3 * n);
    c.texts[core::JobField::Console] = std::to_string(1 + n % 256);
    for (int p = 0; p < core::kPortCount; ++p) {
        const int mask = (n + p) % 16;
        for (int col = 0; col < core::kAddressColumns; ++col) {
            c.boxStates[static_cast<std::size_t>(core::boxIndex(p, col))] = (mask >> col) & 1;
        }
    }
    return c;
}

// The texts a job's keys read back as.
inline std::vector<std::string> jobTexts(int n) {
    const core::UpgradeSettings s = core::settingsFromControls(jobControls(n));
    std::vector<std::string> t{std::to_string(s.type),
                               std::to_string(s.address),
                               std::to_string(s.fileLength),
                               std::to_string(s.blockSize),
                               s.fileName,
                               std::to_string(s.wait),
                               std::to_string(s.console)};
    for (const auto mask : s.portMasks) {
        t.push_back(std::to_string(mask));
    }
    return t;
}

// The job the file holds whole, or nothing when any of its 23 keys is missing or belongs to
// another job; `why` says what was wrong.
inline std::optional<int> wholeJob(const std::string& bytes, std::string* why = nullptr) {
    const IniOracle file(bytes);
    const auto type = file.value(core::kSectionName, "Type");
    if (!type || type->empty() || type->find_first_not_of("0123456789") != std::string::npos ||
        type->size() > 6) {
        if (why) {
            *why = "no job type in the file";
        }
        return std::nullopt;
    }
    const int n = std::stoi(*type);
    const auto keys = jobKeys();
    const auto texts = jobTexts(n);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const auto got = file.value(core::kSectionName, keys[i]);
        if (got != texts[i]) {
            if (why) {
                *why = "job " + std::to_string(n) + " has \"" + keys[i] +
                       "\" = " + got.value_or("(absent)") + ", expected " + texts[i];
            }
            return std::nullopt;
        }
    }
    return n;
}

// A save as the window does it. Throws what the store throws.
inline void saveJob(const std::string& appDir, int n) {
    core::IniFileStore store;
    core::saveSettings(store, appDir, core::settingsFromControls(jobControls(n)));
    store.commit();
}

// A fresh directory per test, removed afterwards; `appDir_` ends in a separator.
class ScratchDirTest : public test_support::TempDirTest {
protected:
    // Files in the directory other than Config.dat and its lock: leftovers of a commit.
    std::set<std::string> strayFiles() const {
        std::set<std::string> out;
        for (const auto& name : entries(dir_)) {
            if (name != "Config.dat" && name != "Config.dat.lock") {
                out.insert(name);
            }
        }
        return out;
    }
};

} // namespace quentra::reliability
