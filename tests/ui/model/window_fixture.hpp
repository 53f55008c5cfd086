#pragma once

// One window for the handlers' tests: a view without a toolkit, the real store and file system
// over a temporary AppDir, and the model over them.

#include "core/platform/ini_file_store.hpp"
#include "core/platform/native_file_system.hpp"
#include "fake_view.hpp"
#include "ui/model/window_model.hpp"

#include <map>
#include <set>
#include <string>

namespace quentra::ui::testing {

// What the user sees in the job's controls, for before/after comparisons.
struct Snapshot {
    std::map<core::JobField, std::string> texts;
    int listIndex = -1;
    std::set<int> ticked;
    bool operator==(const Snapshot&) const = default;
};

inline Snapshot snapshot(const FakeView& v) {
    return {v.texts, v.index, v.ticked()};
}

// One window: a view, the real store and file system, and the model over them.
struct Window {
    explicit Window(const std::string& programDir, core::ConfigStore* otherStore = nullptr,
                    core::FileSystem* otherFiles = nullptr)
        : model(view, otherStore != nullptr ? *otherStore : store,
                otherFiles != nullptr ? *otherFiles : files) {
        view.programDir = programDir;
    }
    Window& load() {
        model.Form_Load();
        return *this;
    }

    FakeView view;
    core::IniFileStore store;
    core::NativeFileSystem files;
    model::WindowModel model;
};

} // namespace quentra::ui::testing
