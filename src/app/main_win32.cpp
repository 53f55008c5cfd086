// The Windows program: creates and shows frmMain, runs its messages, ends when it closes.
#include "core/platform/ini_file_store.hpp"
#include "core/platform/native_file_system.hpp"
#include "core/platform/wide_text.hpp"
#include "ui/model/layout.hpp"
#include "ui/win32/frm_main.hpp"

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <exception>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int showCommand) {
    using quentra::core::widen;
    const std::wstring title = widen(quentra::ui::model::kWindowTitle);

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    int status = 0;
    HRESULT com = E_FAIL;
    {
        quentra::core::IniFileStore store;
        quentra::core::NativeFileSystem fileSystem;
        quentra::ui::win32::frmMain window(instance, store, fileSystem);
        try {
            if (!window.create(showCommand)) {
                MessageBoxW(nullptr, L"The window could not be created.", title.c_str(),
                            MB_OK | MB_ICONERROR);
                status = 1;
            }
        } catch (const std::exception& error) {
            MessageBoxW(nullptr, widen(error.what()).c_str(), title.c_str(), MB_OK | MB_ICONERROR);
            status = 1;
        }
        if (status == 0) {
            // The accessibility annotations are COM objects, and the open-file dialog wants COM
            // as well; both come after the window is shown, through its messages, so COM is
            // started here rather than before the window (about 1 ms under Wine).
            com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            MSG message{};
            while (GetMessageW(&message, nullptr, 0, 0) > 0) {
                if (window.preTranslate(message)) {
                    continue;
                }
                const HWND hwnd = window.handle();
                if (hwnd != nullptr && IsDialogMessageW(hwnd, &message) != FALSE) {
                    continue;
                }
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            status = static_cast<int>(message.wParam);
        }
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return status;
}
