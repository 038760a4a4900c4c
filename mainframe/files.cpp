// The frame's file commands: the dump and the text log (the session owns the files) and the
// text file transmission, which sends through the session's queue.

#include "mainframe/mainframe.h"
#include "transfer/transmission.h"

void CMainFrame::OnOpenDumpFile() {
    if (const auto choice = transfer::ChooseDumpFile(this))
        OpenDumpFile(choice->path, choice->append);
}

bool CMainFrame::OpenDumpFile(const std::string& path, bool append) {
    return m_session.openDump(path, append);
}

void CMainFrame::OnCloseDumpFile() {
    m_session.closeDump();
}

void CMainFrame::OnOpenLogFile() {
    m_session.openLog(this);
}

void CMainFrame::OnCloseLogFile() {
    m_session.closeLog();
}

void CMainFrame::OnTransmitTextFile() {
    transfer::TransmitTextFile(
        {*this, m_session.fileOutlet(), m_bCancel, [this] { PumpPendingMessages(); },
         [this](const std::string& text) { m_wndStatusBar.SetPaneText(0, text); },
         [this] { m_wndEdit.setFocus(); }});
}
