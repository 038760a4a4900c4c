// A port whose device goes away (an adapter unplugged, a board that resets): the frame waits
// for the device and opens the port again, or, with reconnecting off, says so in a box.

#include "framework/msgbox.h"
#include "framework/stringtable.h"
#include "mainframe/mainframe.h"
#include "res/resource.h"

void CMainFrame::OnDeviceLost(const std::string& description) {
    m_session.logMark(fw::FormatString(IDS_LOG_PORT_GONE, {m_wndComm.GetOpenedPort().shown}));
    if (!m_bReconnect || m_closed) {
        fw::MessageBox(description, fw::Buttons::Ok, fw::Icon::Stop);
        UpdateTitle();
        return;
    }
    // What arrived before it went is still on its way to the screen and the dump.
    m_session.portWait().start(m_wndComm.GetOpenedPort());
    m_wndStatusBar.SetPaneText(0, m_session.portWait().message(), true);
    UpdateTitle();
}

void CMainFrame::StopWaitingForPort() {
    if (!m_session.portWait().isWaiting()) return;
    m_session.portWait().stop();
    m_wndStatusBar.SetPaneText(0, IdleMessage(), true);
    UpdateTitle();
}

std::string CMainFrame::IdleMessage() const {
    return m_session.portWait().isWaiting() ? m_session.portWait().message() : fw::LoadString(IDS_IDLE_MESSAGE);
}

void CMainFrame::OnReconnect() {
    m_bReconnect = !m_bReconnect;
    if (!m_bReconnect) StopWaitingForPort();
}

void CMainFrame::OnUpdateReconnect(fw::CmdUI& ui) {
    ui.SetCheck(m_bReconnect != 0);
    ui.Enable(true);
}
