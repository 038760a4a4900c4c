#pragma once
// Recording received data raw into a file. The commands are the frame's OnOpenDumpFile and
// OnCloseDumpFile; the write happens on the receive road.

#include <string_view>

class CMainFrame;

// Writes one received piece to the open dump. A write that fails stops the recording: the
// dump is closed and its name cleared at once, and the failure is reported once, after the
// piece has reached the screen.
void WriteDump(CMainFrame& frame, std::string_view piece);

inline constexpr const char* kDumpFilter = "Dump Files (*.dmp) | *.dmp | All Files (*.*) | *.* ||";
inline constexpr const char* kDumpExtension = "dmp";
