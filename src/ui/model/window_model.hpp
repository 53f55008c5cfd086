#pragma once

// The window's behaviour, written once for every view: Load with the grid build, type selection,
// All, Select, Ok and Cancel. The controls stay the only place where the job's values live; the
// model keeps nothing between events but AppDir, a pending load warning and whether the saved
// job could not be read.

#include "core/config_store.hpp"
#include "core/file_system.hpp"
#include "ui/model/window_view.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace quentra::ui::model {

class WindowModel {
public:
    // The view, the store and the file system must outlive the model. Nothing runs until
    // Form_Load.
    WindowModel(WindowView& view, core::ConfigStore& store, core::FileSystem& fileSystem);

    // Load: AppDir, the module list, the grid build and window size, then the saved job or the
    // defaults. Run once, after the view has created its designed controls and before the window
    // is first shown.
    void Form_Load();

    // The view calls these from the user's actions:
    // a change of cmbType's index made by the user (never one made by the program; see WindowView);
    void cmbType_Click();
    // a click on chkAll (not a change of its state made by the program);
    void chkAll_Click();
    // a press of cmdSelect, cmdOk or cmdCancel (mouse, Space, or the access key).
    void cmdSelect_Click();
    void cmdOk_Click();
    void cmdCancel_Click();
    // Closing the window by other means (title bar, Alt+F4) has no handler: the view just closes.

    // The view calls this once its window is first on screen (Qt: from a zero timer after the
    // first show event; Win32: from a message posted once the window is shown), so that a warning
    // has the window behind it. It says a pending load failure once; later calls do nothing.
    void windowShown();

    // The program's directory, ending in a separator; empty before Form_Load.
    const std::string& appDir() const { return AppDir; }

private:
    void buildGridAndSizeWindow();
    // The program's own change of the list index: sets it and runs type selection once, unless
    // the index is the one already selected.
    void selectListIndex(int index);
    // What the window shows for a stored key: its text box's text, or a port's ticked columns.
    std::string shownText(std::string_view key) const;

    WindowView& view_;
    core::ConfigStore& iniFile;
    core::FileSystem& fileSystem_;
    std::string AppDir;
    std::optional<std::string> pendingLoadWarning_;
    // Config.dat could not be read at load: Ok asks before it replaces it, until the user says
    // Yes. A user who missed the load warning must not lose the saved job to the window's
    // incomplete one by a plain Ok.
    bool unreadAtLoad_ = false;
};

} // namespace quentra::ui::model
