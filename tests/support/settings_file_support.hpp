#pragma once

// What the settings-file tests share: files made from texts, puts stored as the store does, and
// a store on Config.dat in a temporary directory.

#include "core/ini_document.hpp"
#include "core/platform/ini_file_store.hpp"
#include "core/text_encoding.hpp"
#include "support/test_support.hpp"

#include <span>
#include <string>
#include <string_view>

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

// A store on Config.dat in the test's own directory, a key at a time in "FILE INFO".
class IniFileStoreTest : public TempDirTest {
protected:
    void put(core::IniFileStore& store, const std::string& key, const std::string& value) {
        store.putFilePath(file_.string());
        store.putSectionName("FILE INFO");
        store.putKeyName(key);
        store.putKeyValue(value);
    }
    std::string get(core::IniFileStore& store, const std::string& key) {
        store.putFilePath(file_.string());
        store.putSectionName("FILE INFO");
        store.putKeyName(key);
        return store.getKeyValue();
    }
};

} // namespace quentra::test_support
