// The frame's ends of the receive road, kept by their names: the session runs it.

#include "mainframe/mainframe.h"

void CMainFrame::OnComm() {
    m_session.onCommEvent();
}

void CMainFrame::ShowReceived(std::string_view received) {
    m_session.received(received);
}
