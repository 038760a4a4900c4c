#pragma once
// The time-stamped text log. The commands are the frame's OnOpenLogFile and OnCloseLogFile;
// lines are cut on the receive road and when the data pauses (the frame's OnLogPause).

#include <cstddef>
#include <cstdint>
#include <string_view>

class CMainFrame;

// One receive event to the open log: `text` as the text view shows it, after `erase`
// characters erased at the end. What the event finishes is written at once. A write that
// fails stops the log: it is closed and its name cleared at once, and the failure is reported
// once, after the event has reached the screen.
void WriteLog(CMainFrame& frame, std::string_view text, std::size_t erase, std::int64_t ms);

// The data pauses this long before an open line is written.
inline constexpr int kLogPauseMs = 200;

inline constexpr const char* kLogFilter = "Log Files (*.log) | *.log | All Files (*.*) | *.* ||";
inline constexpr const char* kLogExtension = "log";
