#pragma once
// The window's DPI and the system's sizes at that DPI. The per-monitor functions of USER32 came
// with Windows 10 (1607); importing them would keep the program from starting on anything older,
// so they are looked up once, at run time. Where they are missing (Windows 7 to 10 1511) the
// window is drawn at the system DPI, which is all Windows 7 has; a window that Windows 8.1 moves
// to a monitor of another DPI (WM_DPICHANGED) gets the system's sizes scaled to that DPI.
#include <windows.h>

namespace quentra::ui::win32::dpi {

// The DPI the window is drawn at.
UINT forWindow(HWND window);
// GetSystemMetrics(index) at that DPI.
int systemMetric(int index, UINT dpi);
// The message font (SPI_GETNONCLIENTMETRICS) at that DPI.
LOGFONTW messageFont(UINT dpi);
// Widens the client rectangle to the window's, with the frame the system draws at that DPI.
void adjustWindowRect(RECT& rect, DWORD style, DWORD exStyle, UINT dpi);

} // namespace quentra::ui::win32::dpi
