// The frame's file commands: the dump, the text log and the text file transmission, each
// handed to what the transfer folder does with the frame's file and path.

#include "framework/errors.h"
#include "mainframe/mainframe.h"
#include "transfer/transmission.h"

void CMainFrame::OnOpenDumpFile() {
    if (const auto choice = transfer::ChooseDumpFile(this))
        OpenDumpFile(choice->path, choice->append);
}

bool CMainFrame::OpenDumpFile(const std::string& path, bool append) {
    return transfer::OpenDump(m_dump, path, append);
}

void CMainFrame::OnCloseDumpFile() {
    transfer::CloseDump(m_dump);
}

void CMainFrame::OnOpenLogFile() {
    if (transfer::OpenLog(m_log, this))
        connect(&m_logPause, &QTimer::timeout, this, &CMainFrame::OnLogPause, Qt::UniqueConnection);
}

void CMainFrame::OnCloseLogFile() {
    transfer::CloseLog(m_log);
}

void CMainFrame::OnLogPause() {
    // Entered from the event loop by the timer: nothing may escape into Qt.
    fw::Guard(fw::Entry::WindowMessage, [this] { transfer::LogPause(m_log); });
}

void CMainFrame::OnTransmitTextFile() {
    transfer::TransmitTextFile(
        {*this, m_wndComm, m_bCancel, [this] { PumpPendingMessages(); },
         [this](const std::string& text) { m_wndStatusBar.SetPaneText(0, text); },
         [this] { m_wndEdit.setFocus(); }});
}
