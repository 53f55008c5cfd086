#include "core/platform/ini_file_store.hpp"

#include "core/in_quotes.hpp"
#include "core/platform/ansi_code_page.hpp"
#include "core/platform/atomic_file.hpp"

#include <algorithm>
#include <new>
#include <span>
#include <utility>

namespace quentra::core {

namespace {

// The pending put of the key, as the file's reader matches names; end() when there is none.
std::vector<IniPut>::iterator pendingPutOf(std::vector<IniPut>& pending, const std::string& section,
                                           const std::string& key) {
    return std::ranges::find_if(pending, [&](const IniPut& p) {
        return iniNamesEqual(trimIniBlanks(p.section), trimIniBlanks(section)) &&
               iniNamesEqual(trimIniBlanks(p.key), trimIniBlanks(key));
    });
}

// Refuses the written file at `temporary`, which is to replace `file`, when a put does not
// read back as put.
void checkReadBack(const ConsumerReader& reader, const std::string& temporary,
                   const std::string& file, std::span<const IniPut> puts, bool utf8File) {
    const ReadBack back = reader(temporary, puts);
    for (const ConsumerReading& reading : back.readings) {
        const IniPut& put = puts[reading.put];
        if (reading.value != put.value) {
            throw ReadBackMismatchError(
                put.key, put.value, reading.value,
                "Cannot write " + inQuotes(file) + ": the key " + inQuotes(put.key) +
                    " would read back as " +
                    (reading.value ? inQuotes(*reading.value) : std::string("missing")) +
                    ", not as the " + inQuotes(put.value) + " put",
                back.asTheConsumer, utf8File);
        }
    }
}

} // namespace

IniFileStore::IniFileStore(ConsumerReader reader) : reader_(std::move(reader)) {}

void IniFileStore::putFilePath(const std::string& path) {
    if (!pending_.empty() && path != path_) {
        throw StoreError("Cannot name " + inQuotes(path) + ": the values put for " +
                         inQuotes(path_) + " are not committed yet");
    }
    path_ = path;
    cached_ = false;
    document_ = IniDocument();
    readError_.reset();
}

void IniFileStore::putSectionName(const std::string& name) {
    section_ = name;
}

void IniFileStore::putKeyName(const std::string& name) {
    key_ = name;
}

void IniFileStore::putKeyValue(std::int32_t value) {
    record(std::to_string(value));
}

void IniFileStore::putKeyValue(const std::string& value) {
    record(value);
}

void IniFileStore::record(std::string value) {
    checkIniSectionName(section_);
    checkIniKeyName(key_);
    (void)encodeIniValue(value); // refuses line breaks and NUL before anything is kept
    const auto same = pendingPutOf(pending_, section_, key_);
    if (same != pending_.end()) {
        same->value = std::move(value);
    } else {
        pending_.push_back(IniPut{section_, key_, std::move(value)});
    }
}

std::string IniFileStore::getKeyValue() {
    const auto same = pendingPutOf(pending_, section_, key_);
    if (same != pending_.end()) {
        return same->value;
    }
    load();
    return document_.value(section_, key_).value_or(std::string());
}

void IniFileStore::load() {
    if (cached_) {
        return;
    }
    readError_.reset();
    try {
        document_ = IniDocument(readFileIfExists(path_).bytes, systemAnsiCodePage());
    } catch (const StoreError& e) {
        document_ = IniDocument();
        readError_ = e.what();
    } catch (const std::bad_alloc&) {
        document_ = IniDocument();
        readError_ = "Cannot read " + inQuotes(path_) + ": not enough memory for its size";
    }
    cached_ = true;
}

void IniFileStore::commit() {
    // The next get sees the file as committed, or as another writer left it; the old copy is
    // dropped now, as the commit reads the file afresh.
    cached_ = false;
    document_ = IniDocument();
    if (pending_.empty()) {
        return;
    }
    try {
        write();
    } catch (const NotDurableError&) {
        pending_.clear();
        throw; // written all the same
    } catch (const std::bad_alloc&) {
        throw StoreError("Cannot write " + inQuotes(path_) + ": not enough memory for its size");
    }
    pending_.clear();
}

void IniFileStore::write() {
    if (path_.empty()) {
        throw StoreError("Cannot write the settings: no file path was given");
    }
    // Through a symbolic link to the file it names, so the link itself stays.
    const std::string target = checkWriteTarget(path_).path;
    // The lock lives beside the target, not on it: the rename replaces the target's inode, and a
    // lock held on the old one would not stop the next writer.
    const FileLock lock(target + ".lock");
    removeStaleTemporaries(target);
    // Re-read under the lock: another writer may have changed the file since our last read.
    // Windows' profile API does not read UTF-16BE: such a file is written as UTF-16LE.
    const IniDocument current(utf16BeAsLe(readFileIfExists(target).bytes), systemAnsiCodePage());
    // Written from the bytes as read and the changed lines, without a second copy of a large
    // file.
    const IniDocument::Edit edit = current.edited(pending_);
    replaceFileAtomically(target, edit.pieces(), [&](const std::string& temporary) {
        checkReadBack(reader_, temporary, path_, pending_,
                      current.encoding() == FileEncoding::Utf8);
    });
}

std::optional<std::string> IniFileStore::readError() const {
    return readError_;
}

} // namespace quentra::core
