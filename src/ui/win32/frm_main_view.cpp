// frmMain as the model's view: its operations on the controls, in twips.
#include "ui/win32/frm_main.hpp"

#include "core/platform/program_directory.hpp"
#include "core/platform/wide_text.hpp"

#include <algorithm>
#include <new>

namespace quentra::ui::win32 {

using core::narrow;
using core::widen;
using model::ControlRef;

namespace {

std::wstring windowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(got, 0)));
    return text;
}

} // namespace

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
    SendMessageW(item({model::Control::cmbType}).hwnd, CB_RESETCONTENT, 0, 0);
    knownListIndex_ = -1;
}

void frmMain::addListEntry(std::string_view text) {
    const std::wstring entry = widen(text);
    SendMessageW(item({model::Control::cmbType}).hwnd, CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(entry.c_str()));
}

int frmMain::listIndex() const {
    const auto index =
        static_cast<int>(SendMessageW(item({model::Control::cmbType}).hwnd, CB_GETCURSEL, 0, 0));
    return index == CB_ERR ? -1 : index;
}

void frmMain::setListIndex(int index) {
    // CB_SETCURSEL reports nothing back: the model runs type selection itself.
    SendMessageW(item({model::Control::cmbType}).hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
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
