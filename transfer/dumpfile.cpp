#include "transfer/dumpfile.h"

#include "framework/filedialog.h"
#include "framework/msgbox.h"
#include "framework/stringtable.h"
#include "mainframe/mainframe.h"
#include "res/resource.h"

#include <QPointer>
#include <QTimer>

#include <sys/stat.h>

namespace {

// A file whose content an open for writing would put at stake.
bool HoldsData(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

} // namespace

void CMainFrame::OnOpenDumpFile() {
    const auto path = fw::GetOpenFileName(this, kDumpExtension, kDumpFilter);
    if (!path) return;
    bool append = false;
    // The dialog asks nothing about an existing file; its content is never lost unasked.
    if (HoldsData(*path)) {
        switch (fw::MessageBox(fw::FormatString(IDS_DUMP_EXISTS, {*path}),
                               fw::Buttons::ReplaceAppendCancel)) {
        case fw::Answer::Replace:
            break;
        case fw::Answer::Append:
            append = true;
            break;
        default:
            return;
        }
    }
    OpenDumpFile(*path, append);
}

bool CMainFrame::OpenDumpFile(const std::string& path, bool append) {
    const unsigned mode = fw::File::Write | fw::File::Create | fw::File::Exclusive |
                          (append ? fw::File::Append : 0u);
    m_strDumpFile = path;
    try {
        m_fileDump.open(m_strDumpFile, mode);
    } catch (const fw::FileError&) {
        m_strDumpFile.clear();
        fw::MessageBox(IDS_FAILED_TO_OPEN_FILE);
        return false;
    }
    UpdateTitle();
    return true;
}

void CMainFrame::OnCloseDumpFile() {
    // Whatever the flush or the close report, the dump ends here, so that later pieces never
    // meet a dead file; the failure is then reported as the command's.
    const auto finish = [this] {
        m_strDumpFile.clear();
        UpdateTitle();
    };
    try {
        m_fileDump.flush();
        m_fileDump.close();
    } catch (...) {
        m_fileDump.abort();
        finish();
        throw;
    }
    finish();
}

void WriteDump(CMainFrame& frame, std::string_view piece) {
    if (piece.empty()) return;
    try {
        frame.m_fileDump.write(piece.data(), piece.size());
    } catch (const fw::FileError& e) {
        frame.m_fileDump.abort();
        frame.m_strDumpFile.clear();
        frame.UpdateTitle();
        // Told after the receive road has finished with this piece, so the screen keeps the
        // order of arrival even while the box is open.
        const std::string text =
            e.message() + "\nRecording has stopped and the dump file is closed.";
        QTimer::singleShot(0, &frame,
                           [text] { fw::MessageBox(text, fw::Buttons::Ok, fw::Icon::Stop); });
    }
}
