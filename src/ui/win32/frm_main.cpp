// frmMain's window: its making and showing, its messages, its size.
#include "ui/win32/frm_main.hpp"

#include "core/platform/wide_text.hpp"
#include "ui/win32/dpi.hpp"

#include <exception>
#include <string>
#include <utility>

namespace quentra::ui::win32 {

using core::widen;
using model::Control;

namespace {

constexpr wchar_t kClassName[] = L"QuentraModuleUpgrade.frmMain";
// A fixed frame that can be minimised but neither resized nor maximised: nothing in the layout
// follows a change of size.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kWindowExStyle = 0;
// Sent to itself once the window is on screen.
constexpr UINT kShownMessage = WM_APP + 1;

} // namespace

frmMain::frmMain(HINSTANCE instance, core::ConfigStore& store, core::FileSystem& fileSystem)
    : instance_(instance), model_(*this, store, fileSystem) {}

frmMain::~frmMain() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
}

// A control moved before the window is first shown needs no redrawing: the first paint draws
// everything.
UINT frmMain::placeFlags() const {
    const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    return IsWindowVisible(window_) != FALSE ? flags : flags | SWP_NOREDRAW;
}

int frmMain::px(int twips) const {
    return MulDiv(twips, static_cast<int>(dpi_), model::kTwipsPerInch);
}

int frmMain::twips(int pixels) const {
    return MulDiv(pixels, model::kTwipsPerInch, static_cast<int>(dpi_));
}

bool frmMain::create(int showCommand) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &frmMain::windowProc;
    windowClass.hInstance = instance_;
    windowClass.hIcon = static_cast<HICON>(
        LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                   GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                   GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    if (RegisterClassExW(&windowClass) == 0) {
        return false;
    }

    const std::wstring title = widen(model::kWindowTitle);
    window_ = CreateWindowExW(kWindowExStyle, kClassName, title.c_str(), kWindowStyle,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                              nullptr, instance_, this);
    if (window_ == nullptr) {
        return false;
    }
    dpi_ = dpi::forWindow(window_);
    clientHeight_ = model::kDesignClientHeight;
    makeFont();
    // The captions are measured first, so that each control is made once, in its final place.
    placeDesignedControls();
    fitCaptions();
    createDesignedControls();
    // The window is sized by Load, from its last row, before anything is shown.
    placement_ = BeginDeferWindowPos(static_cast<int>(model::kSlotCount));
    model_.Form_Load();
    EndDeferWindowPos(std::exchange(placement_, nullptr));
    knownListIndex_ = listIndex();

    lastFocus_ = item({Control::txtType}).hwnd;
    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
    // For the entries Load put in; only the dropped list shows it, which nobody can open yet.
    widenDropDown();
    addTooltip();
    SetFocus(lastFocus_);
    // As the dialog manager does for a box reached by Tab: its text selected, ready to replace.
    SendMessageW(lastFocus_, EM_SETSEL, 0, -1);
    PostMessageW(window_, kShownMessage, 0, 0);
    return true;
}

// Sizes the window for its client area in twips at the window's DPI, with the frame this system
// draws.
void frmMain::sizeWindow() {
    RECT outer{0, 0, px(model::kClientWidth), px(clientHeight_)};
    dpi::adjustWindowRect(outer, kWindowStyle, kWindowExStyle, dpi_);
    SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool frmMain::preTranslate(const MSG& message) const {
    // The dialog manager takes a character typed on a control that takes none (a button, a check
    // box) for an access key, as if Alt were held: a bare "o" would press Ok and save. Only
    // Alt+O and Alt+C press the buttons; the character is dropped, as the control would drop it.
    if (message.message == WM_CHAR && GetAncestor(message.hwnd, GA_ROOT) == window_) {
        const LRESULT wants = SendMessageW(message.hwnd, WM_GETDLGCODE, message.wParam,
                                           reinterpret_cast<LPARAM>(&message));
        if ((wants & (DLGC_WANTCHARS | DLGC_WANTMESSAGE)) == 0) {
            return true;
        }
    }
    if (message.message != WM_KEYDOWN && message.message != WM_CHAR) {
        return false;
    }
    if (message.wParam != VK_RETURN && message.wParam != VK_ESCAPE) {
        return false;
    }
    // The dialog manager would press a focused button on Enter; none of ours is a default one.
    const HWND focus = GetFocus();
    for (Control button : {Control::cmdSelect, Control::cmdOk, Control::cmdCancel}) {
        if (focus != nullptr && focus == item({button}).hwnd) {
            return true;
        }
    }
    return false;
}

LRESULT CALLBACK frmMain::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* self = static_cast<frmMain*>(creation->lpCreateParams);
        self->window_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<frmMain*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return self->handle(hwnd, message, wParam, lParam);
}

LRESULT frmMain::handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        // Enter and Esc reach here as IDOK and IDCANCEL from no control: nothing to press.
        if (lParam != 0) {
            onCommand(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
        }
        return 0;
    case WM_ACTIVATE:
        // The focus returns to the control that had it when the window was left.
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = GetFocus();
            if (focus != nullptr && IsChild(window_, focus)) {
                lastFocus_ = focus;
            }
        } else if (lastFocus_ != nullptr) {
            SetFocus(lastFocus_);
        }
        return 0;
    case WM_DPICHANGED: {
        dpi_ = HIWORD(wParam);
        makeFont();
        fitCaptions();
        applyLayout();
        widenDropDown();
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        RECT outer{0, 0, px(model::kClientWidth), px(clientHeight_)};
        dpi::adjustWindowRect(outer, kWindowStyle, kWindowExStyle, dpi_);
        SetWindowPos(window_, nullptr, suggested->left, suggested->top, outer.right - outer.left,
                     outer.bottom - outer.top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case kShownMessage:
        nameControls();
        model_.windowShown();
        return 0;
    case WM_DESTROY:
        clearAnnotations();
        window_ = nullptr;
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void frmMain::onCommand(HWND control, int notification) {
    const auto isControl = [&](Control which) { return control == item({which}).hwnd; };
    try {
        if (isControl(Control::cmbType) && notification == CBN_SELCHANGE) {
            // The user's own change, once per real change of the index.
            const int index = listIndex();
            if (index != knownListIndex_) {
                knownListIndex_ = index;
                model_.cmbType_Click();
            }
        } else if (notification == BN_CLICKED) {
            if (isControl(Control::chkAll)) {
                model_.chkAll_Click();
            } else if (isControl(Control::cmdSelect)) {
                model_.cmdSelect_Click();
            } else if (isControl(Control::cmdOk)) {
                model_.cmdOk_Click();
            } else if (isControl(Control::cmdCancel)) {
                model_.cmdCancel_Click();
            }
        }
    } catch (const std::exception& error) {
        // Nothing may unwind through the system's code that called the window procedure.
        warn(model::kWindowTitle, error.what());
    }
}

} // namespace quentra::ui::win32
