#pragma once
// What screen readers (and the end-to-end tests, over AT-SPI) read of the terminal view: a
// multi-line text of every scrollback line and every screen row, with the selection.

namespace terminal {

// Makes Qt's accessibility use this interface for every VtView (once per process).
void InstallVtAccessible();

} // namespace terminal
