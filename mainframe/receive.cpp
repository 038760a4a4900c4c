// The frame's end of the receive road: the control's event, and each received chunk to the
// dump, the text log and the screen.

#include "framework/msgbox.h"
#include "framework/stringtable.h"
#include "mainframe/mainframe.h"
#include "terminal/commevents.h"
#include "terminal/showreceived.h"

void CMainFrame::OnComm() {
    const short code = m_wndComm.GetCommEvent();
    const terminal::CommEventText* entry = terminal::FindEventText(code);
    if (!entry) return;

    if (!entry->error) {
        const std::string status = fw::LoadString(entry->stringId);
        // One reading per event: what InputLen leaves behind waits for the next one.
        if (code == terminal::kReceiveEvent) ShowReceived(m_wndComm.GetInput());
        // While a port waits for its device, the pane keeps saying so.
        if (!m_portWait.IsWaiting()) m_wndStatusBar.SetPaneText(0, status, true);
        return;
    }

    fw::MessageBeep(fw::Icon::Exclamation);
    const std::string error = fw::LoadString(entry->stringId) + "\nOK to ignore, Cancel to quit";
    if (fw::MessageBox(error, fw::Buttons::OkCancel, fw::Icon::Exclamation) == fw::Answer::Cancel)
        m_wndComm.SetPortOpen(false);
}

void CMainFrame::ShowReceived(std::string_view received) {
    terminal::ReceiveSinks sinks;
    if (!m_strDumpFile.empty())
        sinks.dump = [this](std::string_view bytes) { transfer::WriteDump(m_dump, bytes); };
    if (!m_strLogFile.empty())
        sinks.log = [this](std::string_view text, std::size_t erase, std::int64_t ms) {
            transfer::WriteLog(m_log, text, erase, ms);
        };
    terminal::ShowReceived(m_wndEdit, received, m_bHexView, m_textBreaks, sinks);
}
