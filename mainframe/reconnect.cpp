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
    m_portWait.Start(m_wndComm.GetOpenedPort());
    m_wndStatusBar.SetPaneText(0, m_portWait.Message(), true);
    UpdateTitle();
}

void CMainFrame::StopWaitingForPort() {
    if (!m_portWait.IsWaiting()) return;
    m_portWait.Stop();
    m_wndStatusBar.SetPaneText(0, IdleMessage(), true);
    UpdateTitle();
}

std::string CMainFrame::IdleMessage() const {
    return m_portWait.IsWaiting() ? m_portWait.Message() : fw::LoadString(IDS_IDLE_MESSAGE);
}

void CMainFrame::OnReconnect() {
    m_bReconnect = !m_bReconnect;
    if (!m_bReconnect) StopWaitingForPort();
}

void CMainFrame::OnUpdateReconnect(fw::CmdUI& ui) {
    ui.SetCheck(m_bReconnect != 0);
    ui.Enable(true);
}
