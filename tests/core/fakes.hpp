#pragma once

// Fakes of the core's platform interfaces that record what the core asks of them.

#include "core/config_store.hpp"
#include "core/file_dialog.hpp"
#include "core/file_system.hpp"

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace quentra::core::testing {

// A ConfigStore that logs every call in order ("FilePath=...", "SectionName=...", "KeyName=...",
// "KeyValue=5" for a number, "KeyValue='text'" for a text, "get", "commit") and keeps the values
// by file, section and key so that gets return what was put or preset. A commit runs
// `commitFault` when set, which throws what the commit should.
class RecordingConfigStore : public ConfigStore {
public:
    using Key = std::tuple<std::string, std::string, std::string>;

    void putFilePath(const std::string& path) override {
        calls.push_back("FilePath=" + path);
        path_ = path;
    }
    void putSectionName(const std::string& name) override {
        calls.push_back("SectionName=" + name);
        section_ = name;
    }
    void putKeyName(const std::string& name) override {
        calls.push_back("KeyName=" + name);
        key_ = name;
    }
    void putKeyValue(std::int32_t value) override {
        calls.push_back("KeyValue=" + std::to_string(value));
        values[{path_, section_, key_}] = std::to_string(value);
    }
    void putKeyValue(const std::string& value) override {
        calls.push_back("KeyValue='" + value + "'");
        if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
            throw StoreError("a value holding CR, LF or NUL cannot be stored");
        }
        values[{path_, section_, key_}] = value;
    }
    std::string getKeyValue() override {
        calls.push_back("get");
        const auto it = values.find({path_, section_, key_});
        return it == values.end() ? std::string() : it->second;
    }
    void commit() override {
        calls.push_back("commit");
        if (commitFault) {
            commitFault();
        }
    }
    std::optional<std::string> readError() const override { return readFailure; }

    // The puts only, without the gets: what a save sends.
    std::vector<std::string> puts() const {
        std::vector<std::string> out;
        for (const auto& c : calls) {
            if (c != "get" && c != "commit") {
                out.push_back(c);
            }
        }
        return out;
    }

    std::vector<std::string> calls;
    std::map<Key, std::string> values;
    std::optional<std::string> readFailure;
    std::function<void()> commitFault;

private:
    std::string path_;
    std::string section_;
    std::string key_;
};

// A FileSystem over a fixed set of files: `files` maps a path to its length; `directories`
// are paths that exist but are no ordinary files; `unreachable` raise on a length query.
class FakeFileSystem : public FileSystem {
public:
    bool isOrdinaryFile(const std::string& path) override {
        queries.push_back("exists " + path);
        return files.count(path) != 0;
    }
    std::int32_t fileLength(const std::string& path) override {
        queries.push_back("length " + path);
        const auto it = files.find(path);
        if (it == files.end() || unreachable.count(path) != 0) {
            throw FileSystemError("\"" + path + "\": No such file or directory");
        }
        return it->second;
    }

    std::map<std::string, std::int32_t> files;
    std::set<std::string> unreachable;
    std::vector<std::string> queries;
};

// A dialog that logs its set-up and either returns `chosen` or raises as configured.
class FakeFileDialog : public FileDialog {
public:
    void setFlags(std::int32_t flags) override {
        calls.push_back("Flags=" + std::to_string(flags));
    }
    void setCancelError(bool raise) override {
        calls.push_back(std::string("CancelError=") + (raise ? "True" : "False"));
    }
    void setInitDir(const std::string& dir) override { calls.push_back("InitDir=" + dir); }
    void setFilter(const std::string& filter) override { calls.push_back("Filter=" + filter); }
    void setDialogTitle(const std::string& title) override {
        calls.push_back("DialogTitle=" + title);
        if (failOnTitle) {
            throw std::runtime_error("the dialog cannot be set up");
        }
    }
    void showOpen() override {
        calls.push_back("ShowOpen");
        if (cancel) {
            throw DialogCancelled();
        }
    }
    std::string fileName() override {
        calls.push_back("FileName");
        if (failOnFileName) {
            throw std::runtime_error("the name cannot be read");
        }
        return chosen;
    }

    std::string chosen;
    bool cancel = false;
    bool failOnTitle = false;
    bool failOnFileName = false;
    std::vector<std::string> calls;
};

} // namespace quentra::core::testing
