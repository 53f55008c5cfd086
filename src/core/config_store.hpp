#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace quentra::core {

struct StoreError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The settings-file component: file path, section and key are set, then a value is put or got.
// Every value goes to, and comes from, the key named last in the section and file named last.
class ConfigStore {
public:
    virtual ~ConfigStore() = default;

    virtual void putFilePath(const std::string& path) = 0;
    virtual void putSectionName(const std::string& name) = 0;
    virtual void putKeyName(const std::string& name) = 0;

    // Stores a value under the current key. The text form throws StoreError for a text that
    // cannot be stored (one holding CR, LF or NUL); nothing is then recorded.
    virtual void putKeyValue(std::int32_t value) = 0;
    virtual void putKeyValue(const std::string& value) = 0;

    // The value stored under the current key as text; empty when the key is absent or the file
    // could not be read (see readError).
    virtual std::string getKeyValue() = 0;

    // Makes every value put since the last commit durable in the file, all of them or none.
    // Throws StoreError with the system's reason when that cannot be done; the file is then
    // left as it was.
    virtual void commit() = 0;

    // Why the current file could not be read, when a get found it unreadable.
    virtual std::optional<std::string> readError() const = 0;
};

} // namespace quentra::core
