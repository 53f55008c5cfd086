#pragma once

namespace quentra::ui {

// Installs, once, what the window adds to Qt's accessibility (which AT-SPI reads on Linux):
// frmMain as a window; text boxes whose text is one attribute run, so that a screen reader speaks
// it whole; the module list with its entry as value and text; and the module list's picks
// through its drop-down list (ModuleList). Call before the window is made.
void installAccessibility();

} // namespace quentra::ui
