#pragma once
// The time-stamped text log: opening, closing, and the lines written as the data comes and
// when it pauses. The frame holds the file and names the commands.

#include "transfer/textlog.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class QObject;
class QTimer;
class QWidget;
namespace fw {
class File;
}

namespace transfer {

// The log as its holder keeps it: the file, its path (empty while none is open), the line
// cutter, the pause timer, the object whose life bounds a late failure box, and what to do
// when the path changes (the caption).
struct Log {
    fw::File& file;
    std::string& path;
    LineCutter& lines;
    QTimer& pause;
    QObject* owner;
    std::function<void()> changed;
};

// Asks for the file, and whether an existing non-empty one is replaced or appended to, and
// opens it: false when the user cancels or after the failure box. The pause timer is then set
// up; its holder connects it to LogPause.
bool OpenLog(const Log& log, QWidget* parent);

// Opens `path` (full path, file system bytes) as the log, emptied or appended to: false after
// the failure box, with no log open. Where nobody is asked (the command line), append.
bool OpenLog(const Log& log, const std::string& path, bool append);

// Writes the open line and ends the log. Whatever the last write, the flush or the close
// report, the log ends, and a failure is then thrown as the command's.
void CloseLog(const Log& log);

// The data paused: the open line is written.
void LogPause(const Log& log);

// One receive event to the open log: `text` as the text view shows it, after `erase`
// characters erased at the end. What the event finishes is written at once. A write that
// fails stops the log: it is closed and its name cleared at once, and the failure is reported
// once, after the event has reached the screen.
void WriteLog(const Log& log, std::string_view text, std::size_t erase, std::int64_t ms);

// The data pauses this long before an open line is written.
inline constexpr int kLogPauseMs = 200;

inline constexpr const char* kLogFilter = "Log Files (*.log) | *.log | All Files (*.*) | *.* ||";
inline constexpr const char* kLogExtension = "log";

} // namespace transfer
