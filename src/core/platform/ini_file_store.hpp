#pragma once

#include "core/config_store.hpp"
#include "core/ini_document.hpp"
#include "core/platform/profile_read_back.hpp"

#include <optional>
#include <string>
#include <vector>

namespace quentra::core {

// ConfigStore over a conventional initialization file ("[SECTION]" lines, then key=value
// lines). Puts are collected and reach the file together at commit(): written to a temporary
// file beside it, flushed, renamed over it, under an exclusive lock, after re-reading the file,
// so that foreign content and a concurrent writer's keys are kept. The file is read and written
// in its own encoding (UTF-16LE or UTF-8 after their mark, else the system's ANSI code page); a
// new file is in the ANSI code page when that holds every text, else in UTF-16LE. Before the
// written file takes the old one's place, `reader` reads each put back from it as the file's
// consumer would; a value read otherwise refuses the commit (ReadBackMismatchError).
//
// The store writes one file: the puts wait for the commit of the file named when they were put.
// Naming another file while puts wait throws StoreError and changes nothing, so that no put is
// dropped or written to a file it was not put for; naming the same file again keeps them.
class IniFileStore final : public ConfigStore {
public:
    explicit IniFileStore(ConsumerReader reader = readAsTheConsumer);
    IniFileStore(const IniFileStore&) = delete;
    IniFileStore& operator=(const IniFileStore&) = delete;

    void putFilePath(const std::string& path) override;
    void putSectionName(const std::string& name) override;
    void putKeyName(const std::string& name) override;
    void putKeyValue(std::int32_t value) override;
    void putKeyValue(const std::string& value) override;
    std::string getKeyValue() override;
    void commit() override;
    std::optional<std::string> readError() const override;

private:
    void record(std::string value);
    void load();
    void write();

    ConsumerReader reader_;
    std::string path_;
    std::string section_;
    std::string key_;
    std::vector<IniPut> pending_; // for path_, in the order first put; a later put replaces

    // The file as last read for path_, kept so that one Load reads it once.
    bool cached_ = false;
    IniDocument document_;
    std::optional<std::string> readError_;
};

} // namespace quentra::core
