#include "core/platform/ini_file_store.hpp"

#include "core/ini_document.hpp"
#include "core/platform/ansi_code_page.hpp"
#include "core/platform/atomic_file.hpp"

#include <algorithm>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace quentra::core {

namespace {

struct PendingPut {
    std::string path;
    IniPut put;
};

bool sameKey(const PendingPut& p, const std::string& path, const std::string& section,
             const std::string& key) {
    return p.path == path && iniNamesEqual(trimIniBlanks(p.put.section), trimIniBlanks(section)) &&
           iniNamesEqual(trimIniBlanks(p.put.key), trimIniBlanks(key));
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
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
                "Cannot write " + quoted(file) + ": the key " + quoted(put.key) +
                    " would read back as " +
                    (reading.value ? quoted(*reading.value) : std::string("missing")) +
                    ", not as the " + quoted(put.value) + " put",
                back.asTheConsumer, utf8File);
        }
    }
}

} // namespace

struct IniFileStore::Impl {
    explicit Impl(ConsumerReader r) : reader(std::move(r)) {}

    ConsumerReader reader;
    std::string path;
    std::string section;
    std::string key;
    std::vector<PendingPut> pending; // in the order first put; a later put of a key replaces

    // The file as last read for `path`, kept so that one Load reads it once.
    bool cached = false;
    IniDocument document;
    std::optional<std::string> readError;

    void record(std::string value) {
        checkIniSectionName(section);
        checkIniKeyName(key);
        (void)encodeIniValue(value); // refuses line breaks and NUL before anything is kept
        const auto same = std::find_if(pending.begin(), pending.end(), [&](const PendingPut& p) {
            return sameKey(p, path, section, key);
        });
        if (same != pending.end()) {
            same->put.value = std::move(value);
        } else {
            pending.push_back(PendingPut{path, IniPut{section, key, std::move(value)}});
        }
    }

    void load() {
        if (cached) {
            return;
        }
        readError.reset();
        try {
            document = IniDocument(readFileIfExists(path).bytes, systemAnsiCodePage());
        } catch (const StoreError& e) {
            document = IniDocument();
            readError = e.what();
        } catch (const std::bad_alloc&) {
            document = IniDocument();
            readError = "Cannot read \"" + path + "\": not enough memory for its size";
        }
        cached = true;
    }

    void commitFile(const std::string& file) {
        if (file.empty()) {
            throw StoreError("Cannot write the settings: no file path was given");
        }
        std::vector<IniPut> puts;
        for (const PendingPut& p : pending) {
            if (p.path == file) {
                puts.push_back(p.put);
            }
        }
        // Through a symbolic link to the file it names, so the link itself stays.
        const std::string target = checkWriteTarget(file).path;
        // The lock lives beside the target, not on it: the rename replaces the target's inode,
        // and a lock held on the old one would not stop the next writer.
        const FileLock lock(target + ".lock");
        removeStaleTemporaries(target);
        // Re-read under the lock: another writer may have changed the file since our last read.
        // Windows' profile API does not read UTF-16BE: such a file is written as UTF-16LE.
        const IniDocument current(utf16BeAsLe(readFileIfExists(target).bytes),
                                  systemAnsiCodePage());
        // Written from the bytes as read and the changed lines, without a second copy of a
        // large file.
        const IniDocument::Edit edit = current.edited(puts);
        try {
            replaceFileAtomically(target, edit.pieces(), [&](const std::string& temporary) {
                checkReadBack(reader, temporary, file, puts,
                              current.encoding() == FileEncoding::Utf8);
            });
        } catch (const NotDurableError&) {
            std::erase_if(pending, [&](const PendingPut& p) { return p.path == file; });
            throw; // written all the same
        }
        std::erase_if(pending, [&](const PendingPut& p) { return p.path == file; });
    }
};

IniFileStore::IniFileStore(ConsumerReader reader)
    : impl_(std::make_unique<Impl>(std::move(reader))) {}

IniFileStore::~IniFileStore() = default;

void IniFileStore::putFilePath(const std::string& path) {
    impl_->path = path;
    impl_->cached = false;
    impl_->document = IniDocument();
    impl_->readError.reset();
}

void IniFileStore::putSectionName(const std::string& name) {
    impl_->section = name;
}

void IniFileStore::putKeyName(const std::string& name) {
    impl_->key = name;
}

void IniFileStore::putKeyValue(std::int32_t value) {
    impl_->record(std::to_string(value));
}

void IniFileStore::putKeyValue(const std::string& value) {
    impl_->record(value);
}

std::string IniFileStore::getKeyValue() {
    Impl& d = *impl_;
    const auto same = std::find_if(d.pending.begin(), d.pending.end(), [&](const PendingPut& p) {
        return sameKey(p, d.path, d.section, d.key);
    });
    if (same != d.pending.end()) {
        return same->put.value;
    }
    d.load();
    return d.document.value(d.section, d.key).value_or(std::string());
}

void IniFileStore::commit() {
    Impl& d = *impl_;
    // The next get sees the file as committed, or as another writer left it; the old copy is
    // dropped now, as the commit reads the file afresh.
    d.cached = false;
    d.document = IniDocument();
    std::vector<std::string> files;
    for (const PendingPut& p : d.pending) {
        if (std::find(files.begin(), files.end(), p.path) == files.end()) {
            files.push_back(p.path);
        }
    }
    // A file written but not made durable does not stop the others.
    std::optional<NotDurableError> notDurable;
    for (const std::string& file : files) {
        try {
            d.commitFile(file);
        } catch (const NotDurableError& e) {
            notDurable.emplace(e);
        } catch (const std::bad_alloc&) {
            throw StoreError("Cannot write \"" + file + "\": not enough memory for its size");
        }
    }
    if (notDurable) {
        throw *notDurable;
    }
}

std::optional<std::string> IniFileStore::readError() const {
    return impl_->readError;
}

} // namespace quentra::core
