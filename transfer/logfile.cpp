#include "transfer/logfile.h"

#include "framework/errors.h"
#include "framework/filedialog.h"
#include "framework/msgbox.h"
#include "mainframe/mainframe.h"
#include "res/resource.h"

#include <QTimer>

namespace {

// Writes `lines` to the log; on failure the log ends at once and the failure is told later,
// once, so that the receive road finishes first.
void WriteLines(CMainFrame& frame, const std::string& lines) {
    if (lines.empty()) return;
    try {
        frame.m_fileLog.write(lines.data(), lines.size());
    } catch (const fw::FileError& e) {
        // What was written before is kept as far as the disk lets it.
        try {
            frame.m_fileLog.flush();
        } catch (const fw::FileError&) {
        }
        frame.m_fileLog.abort();
        frame.m_strLogFile.clear();
        frame.m_logLines = {};
        frame.m_logPause.stop();
        frame.UpdateTitle();
        const std::string text = e.message() + "\nLogging has stopped and the log file is closed.";
        QTimer::singleShot(0, &frame,
                           [text] { fw::MessageBox(text, fw::Buttons::Ok, fw::Icon::Stop); });
    }
}

} // namespace

void CMainFrame::OnOpenLogFile() {
    const auto path = fw::GetOpenFileName(this, kLogExtension, kLogFilter);
    if (!path) return;
    try {
        // Exclusive, like the dump, so that the two can never share one file.
        m_fileLog.open(*path, fw::File::Write | fw::File::Create | fw::File::Exclusive);
    } catch (const fw::FileError&) {
        fw::MessageBox(IDS_FAILED_TO_OPEN_FILE);
        return;
    }
    m_strLogFile = *path;
    m_logLines = {};
    m_logPause.setSingleShot(true);
    m_logPause.setInterval(kLogPauseMs);
    connect(&m_logPause, &QTimer::timeout, this, &CMainFrame::OnLogPause, Qt::UniqueConnection);
    UpdateTitle();
}

void CMainFrame::OnCloseLogFile() {
    // As for the dump: whatever the last write, the flush or the close report, the log ends
    // here, and a failure is then reported as the command's.
    const auto finish = [this] {
        m_strLogFile.clear();
        m_logLines = {};
        m_logPause.stop();
        UpdateTitle();
    };
    try {
        std::string last;
        m_logLines.finish(last);
        if (!last.empty()) m_fileLog.write(last.data(), last.size());
        m_fileLog.flush();
        m_fileLog.close();
    } catch (...) {
        m_fileLog.abort();
        finish();
        throw;
    }
    finish();
}

void CMainFrame::OnLogPause() {
    // Entered from the event loop by the timer: nothing may escape into Qt.
    fw::Guard(fw::Entry::WindowMessage, [this] {
        if (m_strLogFile.empty()) return;
        std::string lines;
        m_logLines.pause(lines);
        WriteLines(*this, lines);
    });
}

void WriteLog(CMainFrame& frame, std::string_view text, std::size_t erase, std::int64_t ms) {
    std::string lines;
    frame.m_logLines.received(text, erase, ms, lines);
    WriteLines(frame, lines);
    if (frame.m_strLogFile.empty()) return;
    // Every event restarts the wait: only a pause in the data cuts an open line.
    if (frame.m_logLines.lineOpen())
        frame.m_logPause.start();
    else
        frame.m_logPause.stop();
}
