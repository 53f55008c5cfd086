#include "ui/win32/dpi.hpp"

namespace quentra::ui::win32::dpi {

namespace {

struct PerMonitor {
    UINT(WINAPI* getDpiForWindow)(HWND);
    int(WINAPI* getSystemMetricsForDpi)(int, UINT);
    BOOL(WINAPI* systemParametersInfoForDpi)(UINT, UINT, PVOID, UINT, UINT);
    BOOL(WINAPI* adjustWindowRectExForDpi)(LPRECT, DWORD, BOOL, DWORD, UINT);
};

template <typename Function> void lookUp(Function& function, HMODULE user32, const char* name) {
#ifdef QMU_AS_ON_WINDOWS_7
    // A build for the tests only: the path of Windows 7, on any system.
    static_cast<void>(user32);
    static_cast<void>(name);
    function = nullptr;
#else
    // Through void (*)(), the one function pointer type every other converts from cleanly.
    function =
        reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(user32, name)));
#endif
}

const PerMonitor& perMonitor() {
    static const PerMonitor found = [] {
        const HMODULE user32 = GetModuleHandleW(L"user32.dll");
        PerMonitor functions{};
        lookUp(functions.getDpiForWindow, user32, "GetDpiForWindow");
        lookUp(functions.getSystemMetricsForDpi, user32, "GetSystemMetricsForDpi");
        lookUp(functions.systemParametersInfoForDpi, user32, "SystemParametersInfoForDpi");
        lookUp(functions.adjustWindowRectExForDpi, user32, "AdjustWindowRectExForDpi");
        return functions;
    }();
    return found;
}

// The DPI the system's own sizes are given at; it changes only with a new sign-in.
UINT systemDpi() {
    static const UINT found = [] {
        const HDC screen = GetDC(nullptr);
        const int pixels = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        return pixels > 0 ? static_cast<UINT>(pixels) : USER_DEFAULT_SCREEN_DPI;
    }();
    return found;
}

int scaled(int value, UINT dpi) {
    return MulDiv(value, static_cast<int>(dpi), static_cast<int>(systemDpi()));
}

} // namespace

UINT forWindow(HWND window) {
    const auto get = perMonitor().getDpiForWindow;
    return get != nullptr ? get(window) : systemDpi();
}

int systemMetric(int index, UINT dpi) {
    const auto get = perMonitor().getSystemMetricsForDpi;
    return get != nullptr ? get(index, dpi) : scaled(GetSystemMetrics(index), dpi);
}

LOGFONTW messageFont(UINT dpi) {
    // Its size at 0x0601 and later includes iPaddedBorderWidth, which Vista and later take.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    const auto get = perMonitor().systemParametersInfoForDpi;
    if (get != nullptr) {
        get(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi);
    } else {
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
        metrics.lfMessageFont.lfHeight = scaled(metrics.lfMessageFont.lfHeight, dpi);
    }
    return metrics.lfMessageFont;
}

void adjustWindowRect(RECT& rect, DWORD style, DWORD exStyle, UINT dpi) {
    const auto adjust = perMonitor().adjustWindowRectExForDpi;
    if (adjust != nullptr) {
        adjust(&rect, style, FALSE, exStyle, dpi);
    } else {
        // Before Windows 10 (1607) the frame is drawn at the system's sizes at every DPI.
        AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    }
}

} // namespace quentra::ui::win32::dpi
