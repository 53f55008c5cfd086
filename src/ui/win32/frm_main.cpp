#include "ui/win32/frm_main.hpp"

#include "core/platform/program_directory.hpp"
#include "core/platform/wide_text.hpp"
#include "core/upgrade_settings.hpp"
#include "ui/model/caption_fit.hpp"
#include "ui/win32/dpi.hpp"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <new>
#include <utility>
#include <vector>

namespace quentra::ui::win32 {

using core::narrow;
using core::widen;

namespace {

using model::Control;
using model::ControlKind;
using model::ControlRef;
using model::DesignedControl;

constexpr wchar_t kClassName[] = L"QuentraModuleUpgrade.frmMain";
// A fixed frame that can be minimised but neither resized nor maximised: nothing in the layout
// follows a change of size.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kWindowExStyle = 0;
// Sent to itself once the window is on screen.
constexpr UINT kShownMessage = WM_APP + 1;
// Rows the module list shows when it drops down.
constexpr int kDroppedRows = 12;
// The message font is stepped down at most to this share of its size to make the captions whole.
constexpr int kSmallestFontPercent = 70;

int twipsRoundedUp(int pixels, UINT dpi) {
    const int dpiValue = static_cast<int>(dpi);
    return (pixels * model::kTwipsPerInch + dpiValue - 1) / dpiValue;
}

std::wstring windowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(got, 0)));
    return text;
}

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
    placement_ = BeginDeferWindowPos(static_cast<int>(kSlotCount));
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

void frmMain::makeFont() {
    const LOGFONTW message = dpi::messageFont(dpi_);
    const HFONT font = CreateFontIndirectW(&message);
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
    font_ = font;
}

// Captions whole: a caption box widens to the right into the free room before the next control
// on its row, as far as the model allows; where that is not enough, the font steps down.
void frmMain::fitCaptions() {
    // The message font and smaller heights of it, one logical unit a size towards zero, down to
    // kSmallestFontPercent of its height; each size's font is made once, when first measured.
    class Measure final : public model::CaptionMeasure {
    public:
        Measure(HDC dc, const LOGFONTW& font, int indicator, UINT dpi)
            : dc_(dc), base_(font), indicator_(indicator), dpi_(dpi),
              before_(GetCurrentObject(dc, OBJ_FONT)) {}
        ~Measure() override {
            SelectObject(dc_, before_);
            if (font_ != nullptr) {
                DeleteObject(font_);
            }
        }
        Measure(const Measure&) = delete;
        Measure& operator=(const Measure&) = delete;

        int sizeCount() const override {
            const int full = std::abs(static_cast<int>(base_.lfHeight));
            return (full * (100 - kSmallestFontPercent) + 99) / 100 + 1;
        }
        std::optional<int> need(const model::CaptionBox& caption, int size) override {
            select(size);
            const std::wstring text = widen(caption.text);
            SIZE extent{};
            GetTextExtentPoint32W(dc_, text.c_str(), static_cast<int>(text.size()), &extent);
            const int beside = caption.ref.control == Control::chkAll ? indicator_ : 0;
            return twipsRoundedUp(extent.cx + beside, dpi_);
        }
        // The font of `size`, now the caller's to delete.
        HFONT take(int size) {
            select(size);
            SelectObject(dc_, before_);
            const HFONT font = font_;
            font_ = nullptr;
            return font;
        }

    private:
        void select(int size) {
            if (font_ != nullptr && size == size_) {
                return;
            }
            LOGFONTW font = base_;
            font.lfHeight += static_cast<LONG>(base_.lfHeight < 0 ? size : -size);
            const HFONT made = CreateFontIndirectW(&font);
            SelectObject(dc_, made);
            if (font_ != nullptr) {
                DeleteObject(font_);
            }
            font_ = made;
            size_ = size;
        }

        HDC dc_;
        LOGFONTW base_;
        int indicator_;
        UINT dpi_;
        HGDIOBJ before_;
        HFONT font_ = nullptr;
        int size_ = 0;
    };

    LOGFONTW font{};
    GetObjectW(font_, sizeof(font), &font);
    const HDC dc = GetDC(window_);
    const int indicator = dpi::systemMetric(SM_CXMENUCHECK, dpi_) + MulDiv(4, dpi_, 96);
    {
        Measure measure(dc, font, indicator, dpi_);
        const model::CaptionFit fit = model::fitCaptions(measure);
        if (fit.size != 0) {
            DeleteObject(font_);
            font_ = measure.take(fit.size);
        }
        const auto captions = model::captionBoxes();
        for (std::size_t i = 0; i < captions.size(); ++i) {
            item(captions.at(i).ref).width = fit.widths.at(i);
        }
    }
    ReleaseDC(window_, dc);
    // The created port captions are copies of the first one.
    for (int p = 1; p < core::kPortCount; ++p) {
        item({Control::lblPort, p}).width = item({Control::lblPort, 0}).width;
    }
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

// The closed list is narrower than the longest names; its drop-down shows them whole.
void frmMain::widenDropDown() {
    const HWND list = item({Control::cmbType}).hwnd;
    const HDC dc = GetDC(list);
    const HGDIOBJ before = SelectObject(dc, font_);
    int widest = 0;
    const auto count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const auto length = static_cast<int>(SendMessageW(list, CB_GETLBTEXTLEN, i, 0));
        std::wstring entry(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
        SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry.data()));
        SIZE size{};
        GetTextExtentPoint32W(dc, entry.c_str(), length, &size);
        widest = std::max(widest, static_cast<int>(size.cx));
    }
    SelectObject(dc, before);
    ReleaseDC(list, dc);
    const int dropped = widest + dpi::systemMetric(SM_CXVSCROLL, dpi_) + MulDiv(8, dpi_, 96);
    SendMessageW(list, CB_SETDROPPEDWIDTH, std::max(dropped, px(item({Control::cmbType}).width)),
                 0);
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

std::string frmMain::programDirectory() const {
    return core::programDirectory();
}

std::string frmMain::text(core::JobField field) const {
    return narrow(windowText(item(model::textBoxOf(field).ref).hwnd));
}

void frmMain::setText(core::JobField field, const std::string& text) {
    SetWindowTextW(item(model::textBoxOf(field).ref).hwnd, widen(text).c_str());
}

void frmMain::clearList() {
    SendMessageW(item({Control::cmbType}).hwnd, CB_RESETCONTENT, 0, 0);
    knownListIndex_ = -1;
}

void frmMain::addListEntry(std::string_view text) {
    const std::wstring entry = widen(text);
    SendMessageW(item({Control::cmbType}).hwnd, CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(entry.c_str()));
}

int frmMain::listIndex() const {
    const auto index =
        static_cast<int>(SendMessageW(item({Control::cmbType}).hwnd, CB_GETCURSEL, 0, 0));
    return index == CB_ERR ? -1 : index;
}

void frmMain::setListIndex(int index) {
    // CB_SETCURSEL reports nothing back: the model runs type selection itself.
    SendMessageW(item({Control::cmbType}).hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    knownListIndex_ = listIndex();
}

int frmMain::checkState(ControlRef box) const {
    switch (SendMessageW(item(box).hwnd, BM_GETCHECK, 0, 0)) {
    case BST_CHECKED:
        return 1;
    case BST_INDETERMINATE:
        return 2;
    default:
        return 0;
    }
}

void frmMain::setChecked(ControlRef box, bool ticked) {
    SendMessageW(item(box).hwnd, BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
}

// Created where member 0 stands, with its size, its design text ("Port #1", or none for a
// box) and unticked, as the design's copy of member 0 is.
void frmMain::createCopy(ControlRef member) {
    const ControlRef first{member.control, 0};
    const Item& original = item(first);
    item(member) = Item{nullptr, original.left, original.top, original.width, original.height};
    createControl(model::designOf(first), member, false);
}

void frmMain::setVisible(ControlRef control, bool visible) {
    const Item& own = item(control);
    if (placement_ != nullptr) {
        place(own, visible ? SWP_SHOWWINDOW : SWP_HIDEWINDOW);
        return;
    }
    ShowWindow(own.hwnd, visible ? SW_SHOWNA : SW_HIDE);
}

// Puts the control at its item's place, showing or hiding it as `flags` say: at once, or while
// Load builds the grid, into the list of placements done before the window is shown (where a
// later call for the same control updates its entry).
void frmMain::place(const Item& own, UINT flags) {
    flags |= placeFlags() | SWP_NOSIZE;
    if (placement_ == nullptr) {
        SetWindowPos(own.hwnd, nullptr, px(own.left), px(own.top), 0, 0, flags);
        return;
    }
    placement_ =
        DeferWindowPos(placement_, own.hwnd, nullptr, px(own.left), px(own.top), 0, 0, flags);
    if (placement_ == nullptr) {
        throw std::bad_alloc(); // the list could not grow, and it is gone with what it held
    }
}

int frmMain::top(ControlRef control) const {
    const Item& own = item(control);
    if (placement_ != nullptr) {
        return twips(px(own.top)); // where it will stand, in the system's whole pixels
    }
    RECT rect{};
    GetWindowRect(own.hwnd, &rect);
    MapWindowPoints(HWND_DESKTOP, window_, reinterpret_cast<POINT*>(&rect), 2);
    return twips(rect.top);
}

void frmMain::setTop(ControlRef control, int twips) {
    Item& own = item(control);
    own.top = twips;
    place(own, 0);
}

void frmMain::setLeft(ControlRef control, int twips) {
    Item& own = item(control);
    own.left = twips;
    place(own, 0);
}

void frmMain::setCaption(ControlRef control, std::string_view text) {
    SetWindowTextW(item(control).hwnd, widen(text).c_str());
}

// The design's outer height holds its own frame (345 twips above the client area, 60 below);
// this system's frame differs, so the client area is sized and the outer height told in the
// design's terms. Where the system grants less height (a small screen), the read-back shows it.
void frmMain::setOuterHeight(int twips) {
    clientHeight_ = twips - model::kDesignFrameHeight;
    sizeWindow();
}

int frmMain::outerHeight() const {
    RECT client{};
    GetClientRect(window_, &client);
    return twips(client.bottom - client.top) + model::kDesignFrameHeight;
}

void frmMain::warn(std::string_view title, std::string_view text) {
    MessageBoxW(window_, widen(text).c_str(), widen(title).c_str(), MB_OK | MB_ICONWARNING);
}

// No is the default button; a Yes/No box has no Esc or close of its own, so only No or Yes ends it.
bool frmMain::confirm(std::string_view title, std::string_view text) {
    return MessageBoxW(window_, widen(text).c_str(), widen(title).c_str(),
                       MB_YESNO | MB_DEFBUTTON2 | MB_ICONWARNING) == IDYES;
}

void frmMain::close() {
    DestroyWindow(window_);
}

core::FileDialog& frmMain::fileDialog() {
    if (!dialog_) {
        dialog_ = std::make_unique<Win32FileDialog>(window_);
    }
    return *dialog_;
}

} // namespace quentra::ui::win32
