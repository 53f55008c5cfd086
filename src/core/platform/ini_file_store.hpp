#pragma once

#include "core/config_store.hpp"
#include "core/platform/profile_read_back.hpp"

#include <memory>

namespace quentra::core {

// ConfigStore over a conventional initialization file ("[SECTION]" lines, then key=value
// lines). Puts are collected and reach the file together at commit(): written to a temporary
// file beside it, flushed, renamed over it, under an exclusive lock, after re-reading the file,
// so that foreign content and a concurrent writer's keys are kept. The file is read and written
// in its own encoding (UTF-16LE or UTF-8 after their mark, else the system's ANSI code page); a
// new file is in the ANSI code page when that holds every text, else in UTF-16LE. Before the
// written file takes the old one's place, `reader` reads each put back from it as the file's
// consumer would; a value read otherwise refuses the commit (ReadBackMismatchError).
class IniFileStore final : public ConfigStore {
public:
    explicit IniFileStore(ConsumerReader reader = readAsTheConsumer);
    ~IniFileStore() override;
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
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace quentra::core
