#pragma once

namespace quentra::ui {

// Installs, once, what the window adds to Qt's accessibility (which AT-SPI reads on Linux):
// frmMain as a window, and the module list's picks through its drop-down list (ModuleList).
// Call before the window is made.
void installAccessibility();

} // namespace quentra::ui
