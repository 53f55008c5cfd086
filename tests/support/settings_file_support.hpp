#pragma once

// What the settings-file tests share: files made from texts, puts stored as the store does, keys
// put and read as the window does, commits that must be refused, and a store on Config.dat in a
// temporary directory.

#include "core/config_store.hpp"
#include "core/ini_document.hpp"
#include "core/platform/ini_file_store.hpp"
#include "core/text_encoding.hpp"
#include "core/upgrade_settings.hpp"
#include "support/test_support.hpp"

#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quentra::test_support {

inline const std::string kBom = "\xEF\xBB\xBF";

inline const core::IniPut kType{"FILE INFO", "Type", "7"};
inline const core::IniPut kWait{"FILE INFO", "Wait", "3"};

// The edit's pieces become the file, read afresh; returns the file's bytes.
inline std::string storePuts(core::IniDocument& doc, std::span<const core::IniPut> puts) {
    std::string bytes;
    const core::IniDocument::Edit edit = doc.edited(puts);
    for (const std::string_view piece : edit.pieces()) {
        bytes += piece;
    }
    doc = core::IniDocument(bytes);
    return bytes;
}

// The 23 keys of a job, in the order a save writes them.
inline std::vector<std::string> jobKeys() {
    std::vector<std::string> keys{"Type",      "Address", "File Length", "Block Size",
                                  "File Name", "Wait",    "Console"};
    for (int p = 1; p <= core::kPortCount; ++p) {
        keys.push_back(core::portKey(p));
    }
    return keys;
}

// One key of the file at `path`, put or read as the window does it: file, section, key, value.
inline void putKey(core::ConfigStore& store, const std::string& path, const std::string& key,
                   const std::string& value, const std::string& section = "FILE INFO") {
    store.putFilePath(path);
    store.putSectionName(section);
    store.putKeyName(key);
    store.putKeyValue(value);
}
inline std::string getKey(core::ConfigStore& store, const std::string& path, const std::string& key,
                          const std::string& section = "FILE INFO") {
    store.putFilePath(path);
    store.putSectionName(section);
    store.putKeyName(key);
    return store.getKeyValue();
}

// How a commit that must be refused went, as the exit status of the child that ran it.
inline constexpr int kRefused = 0;        // StoreError naming the reason
inline constexpr int kCommitted = 1;      // it claimed success
inline constexpr int kOtherReason = 3;    // refused for another reason, printed
inline constexpr int kCannotArrange = 77; // the child could not set up the fault

inline int commitMustFail(core::ConfigStore& store, const std::string& reason) {
    try {
        store.commit();
    } catch (const core::StoreError& e) {
        if (std::string(e.what()).find(reason) == std::string::npos) {
            std::fprintf(stderr, "refused, but without \"%s\": %s\n", reason.c_str(), e.what());
            return kOtherReason;
        }
        return kRefused;
    }
    return kCommitted;
}

// A store on Config.dat in the test's own directory, a key at a time in "FILE INFO".
class IniFileStoreTest : public TempDirTest {
protected:
    void put(core::IniFileStore& store, const std::string& key, const std::string& value) {
        putKey(store, file_.string(), key, value);
    }
    std::string get(core::IniFileStore& store, const std::string& key) {
        return getKey(store, file_.string(), key);
    }
};

} // namespace quentra::test_support
