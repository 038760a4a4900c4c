// The control's event: status texts in the message pane, received text to the screen, and
// line errors in a box that offers to close the port.

#include "framework/msgbox.h"
#include "framework/stringtable.h"
#include "mainframe/mainframe.h"
#include "res/resource.h"

namespace {

enum class Shown { Status, Error };

struct CommEventText {
    short code;
    unsigned stringId;
    Shown shown;
};

constexpr CommEventText kEventTexts[] = {
    {1, IDS_EVENT_SEND, Shown::Status},       {2, IDS_EVENT_RECEIVE, Shown::Status},
    {3, IDS_EVENT_CTS, Shown::Status},        {4, IDS_EVENT_DSR, Shown::Status},
    {5, IDS_EVENT_CD, Shown::Status},         {6, IDS_EVENT_RING, Shown::Status},
    {7, IDS_EVENT_EOF, Shown::Status},        {1001, IDS_ERROR_BREAK, Shown::Error},
    {1002, IDS_ERROR_CTSTO, Shown::Error},    {1003, IDS_ERROR_DSRTO, Shown::Error},
    {1004, IDS_ERROR_FRAME, Shown::Error},    {1006, IDS_ERROR_OVERRUN, Shown::Error},
    {1007, IDS_ERROR_CDTO, Shown::Error},     {1008, IDS_ERROR_RXOVER, Shown::Error},
    {1009, IDS_ERROR_RXPARITY, Shown::Error}, {1010, IDS_ERROR_TXFULL, Shown::Error},
};

constexpr short kReceive = 2;

const CommEventText* FindEventText(short code) {
    for (const auto& entry : kEventTexts)
        if (entry.code == code) return &entry;
    return nullptr;
}

} // namespace

void CMainFrame::OnComm() {
    const short code = m_wndComm.GetCommEvent();
    const CommEventText* entry = FindEventText(code);
    if (!entry) return;

    if (entry->shown == Shown::Status) {
        const std::string status = fw::LoadString(entry->stringId);
        // One reading per event: what InputLen leaves behind waits for the next one.
        if (code == kReceive) ShowReceived(m_wndComm.GetInput());
        // While a port waits for its device, the pane keeps saying so.
        if (!m_portWait.IsWaiting()) m_wndStatusBar.SetPaneText(0, status, true);
        return;
    }

    fw::MessageBeep(fw::Icon::Exclamation);
    const std::string error = fw::LoadString(entry->stringId) + "\nOK to ignore, Cancel to quit";
    if (fw::MessageBox(error, fw::Buttons::OkCancel, fw::Icon::Exclamation) == fw::Answer::Cancel)
        m_wndComm.SetPortOpen(false);
}
