#include "transfer/logfile.h"

#include "framework/errors.h"
#include "framework/file.h"
#include "framework/msgbox.h"
#include "framework/stringtable.h"
#include "res/resource.h"
#include "transfer/dumpfile.h"
#include "transfer/openfailure.h"

#include <QTimer>

namespace transfer {
namespace {

void Forget(const Log& log) {
    log.path.clear();
    log.lines = {};
    log.pause.stop();
    log.changed();
}

// Writes `lines` to the log; on failure the log ends at once and the failure is told later,
// once, so that the receive road finishes first.
void WriteLines(const Log& log, const std::string& lines) {
    if (lines.empty()) return;
    try {
        log.file.write(lines.data(), lines.size());
    } catch (const fw::FileError& e) {
        // What was written before is kept as far as the disk lets it.
        try {
            log.file.flush();
        } catch (const fw::FileError&) {
        }
        log.file.abort();
        Forget(log);
        const std::string text = fw::FormatString(IDS_LOG_STOPPED, {e.message()});
        QTimer::singleShot(0, log.owner,
                           [text] { fw::MessageBox(text, fw::Buttons::Ok, fw::Icon::Stop); });
    }
}

} // namespace

bool OpenLog(const Log& log, QWidget* parent) {
    const auto choice = ChooseRecordingFile(parent, kLogExtension, kLogFilter);
    return choice && OpenLog(log, choice->path, choice->append);
}

bool OpenLog(const Log& log, const std::string& path, bool append) {
    // Exclusive, like the dump, so that the two can never share one file.
    const unsigned mode =
        fw::File::Write | fw::File::Create | fw::File::Exclusive | (append ? fw::File::Append : 0u);
    try {
        log.file.open(path, mode);
    } catch (const fw::FileError& e) {
        ShowOpenFailure(e);
        return false;
    }
    log.path = path;
    log.lines = {};
    log.pause.setSingleShot(true);
    log.pause.setInterval(kLogPauseMs);
    log.changed();
    return true;
}

void CloseLog(const Log& log) {
    try {
        std::string last;
        log.lines.finish(last);
        if (!last.empty()) log.file.write(last.data(), last.size());
        log.file.flush();
        log.file.close();
    } catch (...) {
        log.file.abort();
        Forget(log);
        throw;
    }
    Forget(log);
}

void LogPause(const Log& log) {
    if (log.path.empty()) return;
    std::string lines;
    log.lines.pause(lines);
    WriteLines(log, lines);
}

void LogMark(const Log& log, std::string_view text, std::int64_t ms) {
    if (log.path.empty()) return;
    std::string lines;
    log.lines.pause(lines);
    lines += FormatMark(ms, text);
    log.pause.stop();
    WriteLines(log, lines);
}

void WriteLog(const Log& log, std::string_view text, std::size_t erase, std::int64_t ms) {
    std::string lines;
    log.lines.received(text, erase, ms, lines);
    WriteLines(log, lines);
    if (log.path.empty()) return;
    // Every event restarts the wait: only a pause in the data cuts an open line.
    if (log.lines.lineOpen())
        log.pause.start();
    else
        log.pause.stop();
}

} // namespace transfer
