// frmMain's controls: their making from the design's table, their placing at the window's DPI,
// their tooltip and their names for assistive technology.
#include "ui/win32/frm_main.hpp"

#include "core/platform/wide_text.hpp"
#include "core/upgrade_settings.hpp"

#include <commctrl.h>
#include <initguid.h> // the GUIDs of oleacc.h defined here, not looked for in a library
#include <oleacc.h>

#include <algorithm>

namespace quentra::ui::win32 {

using core::widen;

namespace {

using model::Control;
using model::ControlKind;
using model::ControlRef;
using model::DesignedControl;

// Control identifiers are slot + this: never IDOK or IDCANCEL, which the dialog manager sends
// for Enter and Esc.
constexpr int kFirstControlId = 100;
// Rows the module list shows when it drops down.
constexpr int kDroppedRows = 12;

const wchar_t* windowClassOf(ControlKind kind) {
    switch (kind) {
    case ControlKind::Label:
        return L"STATIC";
    case ControlKind::TextBox:
        return L"EDIT";
    case ControlKind::DropDownList:
        return L"COMBOBOX";
    case ControlKind::Button:
    case ControlKind::CheckBox:
        return L"BUTTON";
    }
    return L"STATIC";
}

DWORD styleOf(ControlKind kind) {
    const DWORD child = WS_CHILD;
    switch (kind) {
    case ControlKind::Label:
        return child | SS_LEFT | SS_NOPREFIX;
    case ControlKind::TextBox:
        return child | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
    case ControlKind::DropDownList:
        return child | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
    case ControlKind::Button:
        // Never BS_DEFPUSHBUTTON: Enter presses no button.
        return child | WS_TABSTOP | BS_PUSHBUTTON;
    case ControlKind::CheckBox:
        return child | WS_TABSTOP | BS_AUTOCHECKBOX;
    }
    return child;
}

} // namespace

HWND frmMain::createControl(const DesignedControl& row, ControlRef ref, bool visible) {
    Item& own = item(ref);
    const std::wstring text = widen(row.text);
    const DWORD exStyle = row.kind == ControlKind::TextBox ? WS_EX_CLIENTEDGE : 0;
    const DWORD style = styleOf(row.kind) | (visible ? WS_VISIBLE : 0);
    const HWND hwnd = CreateWindowExW(
        exStyle, windowClassOf(row.kind), text.c_str(), style, px(own.left), px(own.top),
        px(own.width), px(own.height), window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + model::slotOf(ref))),
        instance_, nullptr);
    own.hwnd = hwnd;
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    if (row.kind == ControlKind::TextBox) {
        SendMessageW(hwnd, EM_SETLIMITTEXT, 0, 0); // as long as the system allows
    } else if (row.kind == ControlKind::DropDownList) {
        SetWindowPos(hwnd, nullptr, 0, 0, px(own.width), droppedListHeight(own),
                     placeFlags() | SWP_NOMOVE);
    }
    return hwnd;
}

// A combo box's height includes its dropped list.
int frmMain::droppedListHeight(const Item& list) const {
    const auto row = static_cast<int>(SendMessageW(list.hwnd, CB_GETITEMHEIGHT, 0, 0));
    return px(list.height) + row * kDroppedRows + 2;
}

void frmMain::applyLayout() {
    const HWND list = item({Control::cmbType}).hwnd;
    for (Item& own : items_) {
        if (own.hwnd == nullptr) {
            continue;
        }
        SendMessageW(own.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        const int height = own.hwnd == list ? droppedListHeight(own) : px(own.height);
        SetWindowPos(own.hwnd, nullptr, px(own.left), px(own.top), px(own.width), height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    InvalidateRect(window_, nullptr, TRUE);
}

// A control without a caption of its own is named for MSAA and UI Automation by the label just
// before it in z-order. The text boxes have theirs (see createDesignedControls); the list and
// the grid boxes get a label of no size, which draws nothing and takes neither the focus nor a
// click, placed just before the control. The system's annotation service names them as well,
// where there is one. Both come once the window is on screen, so as not to delay the first
// picture; without either the window works as before, only unnamed for a screen reader.
void frmMain::nameControls() {
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IAccPropServices, reinterpret_cast<void**>(&accessibility_)))) {
        accessibility_ = nullptr;
    }
    const auto name = [this](ControlRef ref, const std::string& text) {
        const std::wstring wide = widen(text);
        const HWND control = item(ref).hwnd;
        if (!model::designOf(ref).field) {
            const HWND label = CreateWindowExW(0, L"STATIC", wide.c_str(),
                                               WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, 0,
                                               0, 0, window_, nullptr, instance_, nullptr);
            const HWND above = GetWindow(control, GW_HWNDPREV);
            SetWindowPos(label, above != nullptr ? above : HWND_TOP, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW);
        }
        if (accessibility_ != nullptr) {
            accessibility_->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                           PROPID_ACC_NAME, wide.c_str());
        }
    };
    for (const DesignedControl& row : model::kDesignedControls) {
        if (!row.accessibleName.empty()) {
            name(row.ref, std::string(row.accessibleName));
        }
    }
    for (int i = core::kAddressColumns; i < core::kBoxCount; ++i) {
        name({Control::ChkAddr, i}, model::gridBoxAccessibleName(i));
    }
}

void frmMain::placeDesignedControls() {
    for (const DesignedControl& row : model::kDesignedControls) {
        item(row.ref) = Item{nullptr, row.left, row.top, row.width, row.height};
    }
}

// The tooltip of chkAll. Made once the window is on screen: a tooltip shows only on a hover,
// which the message loop handles after this, and making its window delays the first picture.
void frmMain::addTooltip() {
    const std::wstring tip = widen(model::designOf({Control::chkAll}).tooltip);
    tooltip_ =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, instance_, nullptr);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(item({Control::chkAll}).hwnd);
    tool.lpszText = const_cast<wchar_t*>(tip.c_str());
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

// A new child window goes to the bottom of its siblings' z-order, and the dialog manager takes
// the focus from control to control in z-order: created by their focus numbers, the designed
// controls take the focus in that order, and the boxes created at load follow them in their
// order of creation, with no reordering afterwards. A text box's caption is made just before its
// box, whatever its own number, so that it names the box (labels take no focus: Tab's order is
// the same).
void frmMain::createDesignedControls() {
    const auto order = [](const DesignedControl& row) {
        for (const DesignedControl& box : model::kDesignedControls) {
            if (row.kind == ControlKind::Label && box.field &&
                row.text == model::fieldCaption(*box.field)) {
                return 2 * box.focus - 1;
            }
        }
        return 2 * row.focus;
    };
    std::array<const DesignedControl*, model::kDesignedControls.size()> rows{};
    std::transform(model::kDesignedControls.begin(), model::kDesignedControls.end(), rows.begin(),
                   [](const DesignedControl& row) { return &row; });
    std::sort(rows.begin(), rows.end(), [&](const DesignedControl* a, const DesignedControl* b) {
        return order(*a) < order(*b);
    });
    for (const DesignedControl* row : rows) {
        createControl(*row, row->ref, true);
    }
}

// The service keeps the names until they are cleared; done as the window goes.
void frmMain::clearAnnotations() {
    if (accessibility_ == nullptr) {
        return;
    }
    const MSAAPROPID name = PROPID_ACC_NAME;
    for (const Item& own : items_) {
        if (own.hwnd != nullptr) {
            accessibility_->ClearHwndProps(own.hwnd, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                           &name, 1);
        }
    }
    accessibility_->Release();
    accessibility_ = nullptr;
}

} // namespace quentra::ui::win32
