// Reads a running window as the system holds it: its client area, then each visible control in
// it (the controls of its controls too) with its class, text (its lines as one) and place in the
// window's client area, and for a list view the text of each of its entries. What the file
// dialog lists and which filter it shows, where a window that the screen cut short placed its
// buttons, and what a message box says are read here rather than guessed from pixels. Waits
// until the window's program is idle in its message loop. In UTF-8, one a line:
//   window|<client width>|<client height>
//   <class>|<text>|<left>|<top>|<width>|<height>
//   entry|<text>                       (after a list view's line, one per entry)
// Usage: window_probe <window title>. Exit status 2 for a usage error or no such visible window.
#include "probe_output.hpp"

#include <windows.h>

#include <commctrl.h>

#include <string>

namespace {

struct Search {
    const wchar_t* title;
    HWND found;
};

// The first visible top-level window of that title: a hidden one of the same title (a
// message box's owner not yet shown) is not the one on screen.
BOOL CALLBACK findVisible(HWND hwnd, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    wchar_t text[256] = {};
    GetWindowTextW(hwnd, text, 256);
    if (IsWindowVisible(hwnd) != FALSE && wcscmp(text, search->title) == 0) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// A list view's entries live in its own process: the request and the answer go through memory
// taken there.
void writeEntries(HWND list) {
    DWORD processId = 0;
    GetWindowThreadProcessId(list, &processId);
    const HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (process == nullptr) {
        writeUtf8(L"entry|(the list's process cannot be read)\n");
        return;
    }
    constexpr int kLength = 512;
    const SIZE_T size = sizeof(LVITEMW) + kLength * sizeof(wchar_t);
    auto* remote = static_cast<char*>(
        VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    const auto count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; remote != nullptr && i < count; ++i) {
        LVITEMW item{};
        item.iSubItem = 0;
        item.cchTextMax = kLength;
        item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
        wchar_t text[kLength] = {};
        SIZE_T moved = 0;
        if (WriteProcessMemory(process, remote, &item, sizeof(item), &moved) != FALSE &&
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(remote)) >= 0 &&
            ReadProcessMemory(process, remote + sizeof(LVITEMW), text, sizeof(text) - 2, &moved) !=
                FALSE) {
            writeUtf8(std::wstring(L"entry|") + text + L"\n");
        }
    }
    if (remote != nullptr) {
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
}

BOOL CALLBACK writeControl(HWND control, LPARAM data) {
    if (IsWindowVisible(control) == FALSE) {
        return TRUE;
    }
    const auto window = reinterpret_cast<HWND>(data);
    wchar_t name[64] = {};
    GetClassNameW(control, name, 64);
    // WM_GETTEXT, unlike GetWindowText, reaches a control of another process; of a drop-down
    // list it is the chosen entry.
    wchar_t text[512] = {};
    SendMessageW(control, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    for (wchar_t& c : text) {
        c = c == L'\r' || c == L'\n' ? L' ' : c; // a message box's lines, one line here
    }
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&rect), 2);
    writeUtf8(std::wstring(name) + L"|" + text + L"|" + std::to_wstring(rect.left) + L"|" +
              std::to_wstring(rect.top) + L"|" + std::to_wstring(rect.right - rect.left) + L"|" +
              std::to_wstring(rect.bottom - rect.top) + L"\n");
    if (_wcsicmp(name, WC_LISTVIEWW) == 0) {
        writeEntries(control);
    }
    return TRUE;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        writeUtf8(L"usage: window_probe <window title>\n");
        return 2;
    }
    Search search{argv[1], nullptr};
    EnumWindows(findVisible, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) {
        writeUtf8(L"no such window\n");
        return 2;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(search.found, &processId);
    const HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, processId);
    if (process != nullptr) {
        WaitForInputIdle(process, 60000); // a bound against a hang
        CloseHandle(process);
    }
    RECT client{};
    GetClientRect(search.found, &client);
    writeUtf8(L"window|" + std::to_wstring(client.right) + L"|" + std::to_wstring(client.bottom) +
              L"\n");
    EnumChildWindows(search.found, writeControl, reinterpret_cast<LPARAM>(search.found));
    return 0;
}
