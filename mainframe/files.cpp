// The frame's file commands: the dump, the text log and the text file transmission, each
// handed to what the transfer folder does with the frame's file and path.

#include "framework/errors.h"
#include "mainframe/mainframe.h"
#include "transfer/transmission.h"

transfer::Dump CMainFrame::dumpFile() {
    return {m_fileDump, m_strDumpFile, this, [this] { UpdateTitle(); }};
}

transfer::Log CMainFrame::logFile() {
    return {m_fileLog, m_strLogFile, m_logLines, m_logPause, this, [this] { UpdateTitle(); }};
}

void CMainFrame::OnOpenDumpFile() {
    if (const auto choice = transfer::ChooseDumpFile(this))
        OpenDumpFile(choice->path, choice->append);
}

bool CMainFrame::OpenDumpFile(const std::string& path, bool append) {
    return transfer::OpenDump(dumpFile(), path, append);
}

void CMainFrame::OnCloseDumpFile() {
    transfer::CloseDump(dumpFile());
}

void CMainFrame::OnOpenLogFile() {
    if (transfer::OpenLog(logFile(), this))
        connect(&m_logPause, &QTimer::timeout, this, &CMainFrame::OnLogPause, Qt::UniqueConnection);
}

void CMainFrame::OnCloseLogFile() {
    transfer::CloseLog(logFile());
}

void CMainFrame::OnLogPause() {
    // Entered from the event loop by the timer: nothing may escape into Qt.
    fw::Guard(fw::Entry::WindowMessage, [this] { transfer::LogPause(logFile()); });
}

void CMainFrame::OnTransmitTextFile() {
    transfer::TransmitTextFile(
        {*this, m_wndComm, m_bCancel, [this] { PumpPendingMessages(); },
         [this](const std::string& text) { m_wndStatusBar.SetPaneText(0, text); },
         [this] { m_wndEdit.setFocus(); }});
}
