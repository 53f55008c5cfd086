#pragma once

#include "core/config_store.hpp"
#include "core/file_system.hpp"
#include "ui/model/control_map.hpp"
#include "ui/model/window_model.hpp"
#include "ui/model/window_view.hpp"
#include "ui/win32/win32_file_dialog.hpp"

#include <windows.h>

#include <array>
#include <memory>
#include <string>

struct IAccPropServices;

namespace quentra::ui::win32 {

// The program's only window on Windows: plain Win32 controls placed from the design's table in
// twips, scaled to the window's DPI, and wired to the window model. Create it, then run the
// message loop through preTranslate and IsDialogMessageW (Tab, Shift+Tab, the access keys).
class frmMain final : public model::WindowView {
public:
    frmMain(HINSTANCE instance, core::ConfigStore& store, core::FileSystem& fileSystem);
    ~frmMain() override;
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    // Creates the window and its designed controls, runs Load, shows the window. False when the
    // window could not be created.
    bool create(int showCommand);
    HWND handle() const { return window_; }
    // Keys the window must not hand to the dialog manager: Enter and Esc press no button, and a
    // plain letter on a button or a check box is no access key.
    bool preTranslate(const MSG& message) const;

    // model::WindowView
    std::string programDirectory() const override;
    std::string text(core::JobField field) const override;
    void setText(core::JobField field, const std::string& text) override;
    void clearList() override;
    void addListEntry(std::string_view text) override;
    int listIndex() const override;
    void setListIndex(int index) override;
    int checkState(model::ControlRef box) const override;
    void setChecked(model::ControlRef box, bool ticked) override;
    void createCopy(model::ControlRef member) override;
    void setVisible(model::ControlRef control, bool visible) override;
    int top(model::ControlRef control) const override;
    void setTop(model::ControlRef control, int twips) override;
    void setLeft(model::ControlRef control, int twips) override;
    void setCaption(model::ControlRef control, std::string_view text) override;
    void setOuterHeight(int twips) override;
    int outerHeight() const override;
    void warn(std::string_view title, std::string_view text) override;
    bool confirm(std::string_view title, std::string_view text) override;
    void close() override;
    core::FileDialog& fileDialog() override;

private:
    // One control: its window and its place in twips as the layout keeps it.
    struct Item {
        HWND hwnd = nullptr;
        int left = 0, top = 0, width = 0, height = 0;
    };

    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void onCommand(HWND control, int notification);

    // Creates the control of `ref` from `row` at the place its item holds.
    HWND createControl(const model::DesignedControl& row, model::ControlRef ref, bool visible);
    void nameControls();
    void clearAnnotations();
    void placeDesignedControls();
    void createDesignedControls();
    void addTooltip();
    void makeFont();
    void fitCaptions();
    int droppedListHeight(const Item& list) const;
    void applyLayout();
    void widenDropDown();
    void sizeWindow();
    void place(const Item& own, UINT flags);
    UINT placeFlags() const;
    int px(int twips) const;
    int twips(int pixels) const;
    Item& item(model::ControlRef ref) { return items_.at(model::slotOf(ref)); }
    const Item& item(model::ControlRef ref) const { return items_.at(model::slotOf(ref)); }

    HINSTANCE instance_;
    HWND window_ = nullptr;
    HWND tooltip_ = nullptr;
    HFONT font_ = nullptr;
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    int clientHeight_ = 0; // twips
    HWND lastFocus_ = nullptr;
    int knownListIndex_ = -1;
    // While Load builds the grid in the hidden window, each control's showing and placing is
    // gathered here and done in one call before the window is shown: under Wine every such call
    // is a round trip to the server, and a grid box takes three. Nothing of it can be seen
    // earlier.
    HDWP placement_ = nullptr;
    std::array<Item, model::kSlotCount> items_{};
    IAccPropServices* accessibility_ = nullptr;
    std::unique_ptr<Win32FileDialog> dialog_;
    model::WindowModel model_;
};

} // namespace quentra::ui::win32
