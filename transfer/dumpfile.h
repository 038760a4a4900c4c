#pragma once
// Recording received data raw into a file: choosing it, opening, writing on the receive road
// and closing. The frame holds the file and its path and names the commands.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

class QObject;
class QWidget;
namespace fw {
class File;
}

namespace transfer {

// The dump as its holder keeps it: the file, its path (empty while none is open), the object
// whose life bounds a late failure box, and what to do when the path changes (the caption).
struct Dump {
    fw::File& file;
    std::string& path;
    QObject* owner;
    std::function<void()> changed;
};

struct DumpChoice {
    std::string path;
    bool append = false;
};

// Asks for a file of the kind `extension` and `filter` name, and whether an existing non-empty
// one is replaced or appended to; none when the user cancels either question.
std::optional<DumpChoice> ChooseRecordingFile(QWidget* parent, const char* extension,
                                              const char* filter);
// The same for the dump.
std::optional<DumpChoice> ChooseDumpFile(QWidget* parent);

// Opens `path` (full path, file system bytes) for recording: false after the failure box,
// with no dump open.
bool OpenDump(const Dump& dump, const std::string& path, bool append);

// Ends the recording. Whatever the flush or the close report, the dump ends, and a failure is
// then thrown as the command's.
void CloseDump(const Dump& dump);

// Writes one received piece to the open dump. A write that fails stops the recording: the
// dump is closed and its name cleared at once, and the failure is reported once, after the
// piece has reached the screen.
void WriteDump(const Dump& dump, std::string_view piece);

inline constexpr const char* kDumpFilter = "Dump Files (*.dmp) | *.dmp | All Files (*.*) | *.* ||";
inline constexpr const char* kDumpExtension = "dmp";

} // namespace transfer
