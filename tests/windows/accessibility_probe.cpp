// Reads what assistive technology gets from a running window: for each control that takes the
// focus, in the order of the window's z-order (the order Tab follows), one line
//   role|name|label
// with the role and name that AccessibleObjectFromWindow's object reports for the control, and
// the text of the label just before it in z-order, the one that names a control without a
// caption of its own on Windows. Waits until the window's program is idle in its message loop,
// so that what it does once its window is shown is done. In UTF-8.
// Usage: accessibility_probe <window title>. Exit status 2 for a usage error or no such window.
#include "probe_output.hpp"

#include <windows.h>

#include <initguid.h> // the GUIDs of oleacc.h defined here
#include <oleacc.h>

#include <string>

namespace {

bool isLabel(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return _wcsicmp(name, L"Static") == 0;
}

std::wstring windowText(HWND hwnd) {
    wchar_t text[256] = {};
    GetWindowTextW(hwnd, text, 256);
    return text;
}

std::wstring roleName(LONG role) {
    switch (role) {
    case ROLE_SYSTEM_TEXT:
        return L"text";
    case ROLE_SYSTEM_COMBOBOX:
        return L"combo box";
    case ROLE_SYSTEM_PUSHBUTTON:
        return L"push button";
    case ROLE_SYSTEM_CHECKBUTTON:
        return L"check box";
    case ROLE_SYSTEM_CLIENT:
        return L"client";
    default:
        return L"role " + std::to_wstring(role);
    }
}

// "role|name" from the control's accessible object; "none|" without one.
std::wstring accessible(HWND hwnd) {
    IAccessible* object = nullptr;
    if (FAILED(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                          reinterpret_cast<void**>(&object)))) {
        return L"none|";
    }
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    VARIANT role{};
    std::wstring line = L"none";
    if (SUCCEEDED(object->get_accRole(self, &role)) && role.vt == VT_I4) {
        line = roleName(role.lVal);
    }
    BSTR name = nullptr;
    line += L"|";
    if (object->get_accName(self, &name) == S_OK && name != nullptr) {
        line += name;
        SysFreeString(name);
    }
    object->Release();
    return line;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        writeUtf8(L"usage: accessibility_probe <window title>\n");
        return 2;
    }
    const HWND window = FindWindowW(nullptr, argv[1]);
    if (window == nullptr) {
        writeUtf8(L"no such window\n");
        return 2;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    const HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, processId);
    if (process != nullptr) {
        WaitForInputIdle(process, 60000); // a bound against a hang
        CloseHandle(process);
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongPtrW(child, GWL_STYLE) & WS_TABSTOP) == 0) {
            continue;
        }
        const HWND before = GetWindow(child, GW_HWNDPREV);
        const std::wstring label = before != nullptr && isLabel(before) ? windowText(before) : L"";
        writeUtf8(accessible(child) + L"|" + label + L"\n");
    }
    CoUninitialize();
    return 0;
}
