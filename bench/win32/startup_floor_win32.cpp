// The floor for the Windows program's start-up: a bare Win32 window with the same class, frame,
// fonts, controls, styles and resources as frmMain after load, showing as constants what the
// program shows with the benchmark's saved job, and no logic (no model, no settings file). What
// the program costs above this is its own.
#include "core/catalogue.hpp"
#include "ui/model/layout.hpp"
#include "ui/win32/dpi.hpp"

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <string>

namespace {

namespace model = quentra::ui::model;

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
UINT dpi = USER_DEFAULT_SCREEN_DPI;
HFONT font = nullptr;

int px(int twips) {
    return MulDiv(twips, static_cast<int>(dpi), model::kTwipsPerInch);
}

std::wstring wide(std::string_view text) {
    return {text.begin(), text.end()}; // the design's texts are ASCII
}

HWND add(HWND parent, model::ControlKind kind, std::string_view text, int left, int top, int width,
         int height) {
    const wchar_t* windowClass = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    switch (kind) {
    case model::ControlKind::Label:
        style |= SS_LEFT | SS_NOPREFIX;
        break;
    case model::ControlKind::TextBox:
        windowClass = L"EDIT";
        style |= WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
    case model::ControlKind::DropDownList:
        windowClass = L"COMBOBOX";
        style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
        height += 12 * 16;
        break;
    case model::ControlKind::Button:
        windowClass = L"BUTTON";
        style |= WS_TABSTOP | BS_PUSHBUTTON;
        break;
    case model::ControlKind::CheckBox:
        windowClass = L"BUTTON";
        style |= WS_TABSTOP | BS_AUTOCHECKBOX;
        break;
    }
    const HWND hwnd =
        CreateWindowExW(exStyle, windowClass, wide(text).c_str(), style, px(left), px(top),
                        px(width), kind == model::ControlKind::DropDownList ? height : px(height),
                        parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return hwnd;
}

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"QuentraModuleUpgrade.floor";
    RegisterClassExW(&windowClass);
    const HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Quentra Module Upgrade",
                                        kStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                        CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    dpi = quentra::ui::win32::dpi::forWindow(window);
    const LOGFONTW messageFont = quentra::ui::win32::dpi::messageFont(dpi);
    font = CreateFontIndirectW(&messageFont);

    // The benchmark job's texts, in the boxes' order of the table.
    const char* texts[] = {"6050", "12", "vtl_2.bin", "70144", "65536", "0", "1"};
    int nextText = 0;
    HWND list = nullptr;
    HWND all = nullptr;
    for (const model::DesignedControl& row : model::kDesignedControls) {
        const int top =
            row.ref.control == model::Control::cmdOk || row.ref.control == model::Control::cmdCancel
                ? 9630
                : row.top;
        const std::string_view text =
            row.kind == model::ControlKind::TextBox ? texts[nextText++] : row.text;
        const HWND hwnd = add(window, row.kind, text, row.left, top, row.width, row.height);
        if (row.kind == model::ControlKind::DropDownList) {
            list = hwnd;
        } else if (row.ref.control == model::Control::chkAll) {
            all = hwnd;
        } else if (row.ref.control == model::Control::ChkAddr) {
            SendMessageW(hwnd, BM_SETCHECK, BST_CHECKED, 0);
        }
    }
    for (std::string_view name : quentra::core::displayNames()) {
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(name).c_str()));
    }
    SendMessageW(list, CB_SETCURSEL, 8, 0);
    for (int p = 1; p < 16; ++p) {
        add(window, model::ControlKind::Label, "Port #" + std::to_string(p + 1), 240,
            4680 + 300 * p, 1335, 255);
        for (int c = 0; c < 4; ++c) {
            SendMessageW(add(window, model::ControlKind::CheckBox, "", model::columnLeft(c),
                             4680 + 300 * p, 255, 255),
                         BM_SETCHECK, BST_CHECKED, 0);
        }
    }
    RECT outer{0, 0, px(model::kClientWidth), px(10410)};
    quentra::ui::win32::dpi::adjustWindowRect(outer, kStyle, 0, dpi);
    SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    // What the program does once its window is on screen, done here at the same point.
    const HWND tooltip =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, instance, nullptr);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window;
    tool.uId = reinterpret_cast<UINT_PTR>(all);
    wchar_t tip[] = L"Upgrade all console modules";
    tool.lpszText = tip;
    SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(window, &message) == FALSE) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return 0;
}
