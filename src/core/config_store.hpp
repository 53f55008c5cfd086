#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace quentra::core {

struct StoreError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A value, or a section or key name, that the settings file's encoding cannot hold. Nothing is
// written; `key` is the key it was put under.
struct UnencodableValueError : StoreError {
    UnencodableValueError(std::string key, const std::string& what)
        : StoreError(what), key(std::move(key)) {}
    std::string key;
};

// Which file of a save another program held: Config.dat itself, the lock file beside it, or the
// new file written to take Config.dat's place.
enum class HeldFile { Settings, Lock, NewFile };

// The file is held open or locked by another program (a reader of Config.dat, a text editor, a
// second saver, a virus scanner checking the new file), beyond the wait a save allows; the same
// save may succeed once it lets go. `path` is the held file's.
struct FileInUseError : StoreError {
    explicit FileInUseError(const std::string& what, HeldFile file = HeldFile::Settings,
                            std::string path = {})
        : StoreError(what), file(file), path(std::move(path)) {}
    HeldFile file;
    std::string path;
};

// The new file is in place, but the system could not make its rename durable (a failed flush of
// the folder): the save is done and may not survive a power loss.
struct NotDurableError : StoreError {
    using StoreError::StoreError;
};

// The written file, read back before it took the old one's place, did not give `put` under
// `key`: nothing was replaced. `read` is empty when the reading found no such key.
// `asTheConsumer`: it was read as the consumer reads it (Windows' profile API), not by the
// store's own reader. `utf8File`: the file is UTF-8 with its mark, which Windows' profile API
// reads as text in the ANSI code page.
struct ReadBackMismatchError : StoreError {
    ReadBackMismatchError(std::string key, std::string put, std::optional<std::string> read,
                          const std::string& what, bool asTheConsumer = true, bool utf8File = false)
        : StoreError(what), key(std::move(key)), put(std::move(put)), read(std::move(read)),
          asTheConsumer(asTheConsumer), utf8File(utf8File) {}
    std::string key;
    std::string put;
    std::optional<std::string> read;
    bool asTheConsumer;
    bool utf8File;
};

// The settings-file component: file path, section and key are set, then a value is put or got.
// Every value goes to, and comes from, the key named last in the section and file named last.
class ConfigStore {
public:
    virtual ~ConfigStore() = default;

    virtual void putFilePath(const std::string& path) = 0;
    virtual void putSectionName(const std::string& name) = 0;
    virtual void putKeyName(const std::string& name) = 0;

    // Stores a value under the current key. Texts are UTF-8. The text form throws StoreError
    // for a text that cannot be stored (one holding CR, LF or NUL, or one that is not UTF-8);
    // nothing is then recorded.
    virtual void putKeyValue(std::int32_t value) = 0;
    virtual void putKeyValue(const std::string& value) = 0;

    // The value stored under the current key as text; empty when the key is absent or the file
    // could not be read (see readError).
    virtual std::string getKeyValue() = 0;

    // Makes every value put since the last commit durable in the file, all of them or none.
    // Throws StoreError with the system's reason when that cannot be done, and
    // UnencodableValueError when the file's encoding cannot hold a value, ReadBackMismatchError
    // when the written file would not read back as put; the file is then left as it was. Throws
    // NotDurableError when every value is in the file but may not survive a power loss.
    virtual void commit() = 0;

    // Why the current file could not be read, when a get found it unreadable.
    virtual std::optional<std::string> readError() const = 0;
};

} // namespace quentra::core
