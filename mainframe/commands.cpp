// Command routing of the main frame: the message map, the fall-through to the frame's bar
// toggles and the application, and the small command handlers.

#include "framework/application.h"
#include "framework/errors.h"
#include "framework/msgbox.h"
#include "framework/stringtable.h"
#include "mainframe/mainframe.h"
#include "res/resource.h"
#include "settings/settingsdlg.h"
#include "settings/valuedlg.h"
#include "transfer/modem.h"

#include <QStatusBar>
#include <QToolBar>

namespace {

using Entry = fw::MapEntry<CMainFrame>;

// First match wins: 32775-32778 are taken before the settings range sees them.
constexpr Entry kMessageMap[] = {
    fw::OnUpdateRange(ID_FILE_OPEN_DUMP, ID_FILE_TRANSMIT_TEXT, &CMainFrame::OnUpdateFileCommand),
    fw::OnCommand(ID_FILE_OPEN_DUMP, &CMainFrame::OnOpenDumpFile),
    fw::OnCommand(ID_FILE_CLOSE_DUMP, &CMainFrame::OnCloseDumpFile),
    fw::OnCommand(ID_FILE_TRANSMIT_TEXT, &CMainFrame::OnTransmitTextFile),
    fw::OnUpdateRange(ID_COMM_PORT_OPENCLOSE, ID_COMM_HANGUP, &CMainFrame::OnUpdateCommCommand),
    fw::OnCommandRange(ID_COMM_PORT_OPENCLOSE, ID_COMM_HANGUP, &CMainFrame::OnCommCommand),
    fw::OnUpdateRange(ID_COMM_PORT_OPEN, ID_COMM_PORT_CLOSE, &CMainFrame::OnUpdateCommCommand),
    fw::OnCommandRange(ID_COMM_PORT_OPEN, ID_COMM_PORT_CLOSE, &CMainFrame::OnCommCommand),
    fw::OnUpdateRange(ID_INDICATOR_CD, ID_INDICATOR_NONE, &CMainFrame::OnUpdateCommCommand),
    fw::OnCommandRange(ID_VIEW_CLEAR, ID_VIEW_CLEAR, &CMainFrame::OnCommCommand),
    fw::OnUpdate(ID_SETTINGS_DTRENABLE, &CMainFrame::OnUpdateDTREnable),
    fw::OnUpdate(ID_VIEW_HEX, &CMainFrame::OnUpdateHexView),
    fw::OnUpdate(ID_VIEW_TERMINAL, &CMainFrame::OnUpdateTerminal),
    fw::OnCommandRange(ID_VIEW_TERMINAL, ID_VIEW_RESET_TERMINAL, &CMainFrame::OnTerminalCommand),
    fw::OnCommandRange(ID_SETTINGS_INPUTLEN, ID_QUERY_DSR, &CMainFrame::OnSettingsCommand),
    fw::OnUpdate(ID_COMM_RECONNECT, &CMainFrame::OnUpdateReconnect),
    fw::OnCommand(ID_COMM_RECONNECT, &CMainFrame::OnReconnect),
    fw::OnUpdateRange(ID_FILE_OPEN_LOG, ID_FILE_CLOSE_LOG, &CMainFrame::OnUpdateFileCommand),
    fw::OnCommand(ID_FILE_OPEN_LOG, &CMainFrame::OnOpenLogFile),
    fw::OnCommand(ID_FILE_CLOSE_LOG, &CMainFrame::OnCloseLogFile),
    fw::OnUpdateRange(ID_VIEW_TIMESTAMPS, ID_SETTINGS_BREAKS_AUTO, &CMainFrame::OnUpdateLineOption),
    fw::OnCommandRange(ID_VIEW_TIMESTAMPS, ID_SETTINGS_BREAKS_AUTO, &CMainFrame::OnLineOption),
    fw::OnUpdateRange(ID_VIEW_SENDBAR, ID_COMM_MACRO_LAST, &CMainFrame::OnUpdateSendingCommand),
    fw::OnCommandRange(ID_VIEW_SENDBAR, ID_COMM_MACRO_LAST, &CMainFrame::OnSendingCommand),
    fw::OnUpdateRange(ID_SETTINGS_CHARSET_UTF8, ID_SETTINGS_CHARSET_WESTERN,
                      &CMainFrame::OnUpdateCharacterSet),
    fw::OnCommandRange(ID_SETTINGS_CHARSET_UTF8, ID_SETTINGS_CHARSET_WESTERN,
                       &CMainFrame::OnCharacterSet),
    fw::OnCommand(ID_SETTINGS_SCREENSIZE, &CMainFrame::OnScreenSize),
    fw::OnCommand(ID_SETTINGS_SCROLLBACK, &CMainFrame::OnScrollbackLines),
    fw::OnCommandRange(ID_VIEW_ZOOM_IN, ID_VIEW_ZOOM_NORMAL, &CMainFrame::OnZoom),
    fw::OnCommand(ID_VIEW_FONT, &CMainFrame::OnChooseFont),
    fw::OnCommand(ID_VIEW_FIND, &CMainFrame::OnFind),
    fw::OnUpdateRange(ID_SETTINGS_BACKSPACE_DEL, ID_SETTINGS_BACKSPACE_BS, &CMainFrame::OnUpdateLineOption),
    fw::OnCommandRange(ID_SETTINGS_BACKSPACE_DEL, ID_SETTINGS_BACKSPACE_BS, &CMainFrame::OnLineOption),
    fw::OnUpdateRange(ID_FILE_SEND_XMODEM, ID_FILE_RECEIVE_ZMODEM, &CMainFrame::OnUpdateFileTransfer),
    fw::OnCommandRange(ID_FILE_SEND_XMODEM, ID_FILE_RECEIVE_ZMODEM, &CMainFrame::OnFileTransfer),
};

// The line-signal queries: the command, the property's name and how to read it.
struct SignalQuery {
    unsigned id;
    const char* name;
    bool (CCommCtrl::*read)() const;
};
constexpr SignalQuery kSignalQueries[] = {
    {ID_QUERY_CD, "CDHolding", &CCommCtrl::GetCDHolding},
    {ID_QUERY_CTS, "CTSHolding", &CCommCtrl::GetCTSHolding},
    {ID_QUERY_DSR, "DSRHolding", &CCommCtrl::GetDSRHolding},
};

} // namespace

std::span<const fw::MapEntry<CMainFrame>> CMainFrame::MessageMap() {
    return kMessageMap;
}

void CMainFrame::SendCommand(unsigned id, Source source) {
    const fw::Entry entry =
        source == Source::ToolBar ? fw::Entry::WindowMessage : fw::Entry::MenuOrKeyCommand;
    fw::Guard(entry, [&] {
        // A command whose state has become disabled does not run.
        fw::ProbeCmdUI probe(id);
        UpdateCommand(probe);
        if (!probe.enabled) return;
        if (fw::RouteCommand(*this, MessageMap(), id)) return;
        RouteToBase(id);
    });
}

bool CMainFrame::RouteToBase(unsigned id) {
    switch (id) {
    case ID_VIEW_TOOLBAR:
        ToggleBar(m_wndToolBar.widget());
        return true;
    case ID_VIEW_STATUS_BAR:
        ToggleBar(m_wndStatusBar.widget());
        return true;
    default:
        return fw::RouteAppCommand(id, true);
    }
}

void CMainFrame::ToggleBar(QWidget* bar) {
    if (bar) bar->setVisible(!bar->isVisibleTo(this));
}

bool CMainFrame::HasHandler(unsigned id) const {
    return fw::FindEntry(MessageMap(), fw::MapKind::Command, id) != nullptr ||
           id == ID_VIEW_TOOLBAR || id == ID_VIEW_STATUS_BAR || fw::RouteAppCommand(id, false);
}

void CMainFrame::OnCommCommand(unsigned id) {
    switch (id) {
    case ID_COMM_PORT_OPENCLOSE:
    case ID_COMM_PORT_OPEN:
    case ID_COMM_PORT_CLOSE:
        // Each of them ends a wait for a device that went away; Port Open then opens at once.
        if (m_session.portWait().isWaiting()) {
            StopWaitingForPort();
            if (id != ID_COMM_PORT_OPEN) break;
        }
        m_wndComm.SetPortOpen(!m_wndComm.GetPortOpen());
        // A hang-up under way ends with the port, not later on a port opened again.
        if (!m_wndComm.GetPortOpen()) {
            m_session.endHangUp();
            m_session.portClosed();
        }
        break;
    case ID_SETTINGS_PORT: {
        // The wait stands still while the port's settings are edited, and ends with new ones.
        struct Held {
            session::PortWait& wait;
            ~Held() { wait.hold(false); }
        } held{m_session.portWait()};
        m_session.portWait().hold(true);
        CSettingsDlg dlg(this, m_wndComm, m_wndEdit.m_bEcho);
        if (dlg.DoModal() == QDialog::Accepted) StopWaitingForPort();
        break;
    }
    case ID_COMM_DIAL:
        transfer::DialPhone([this](std::string_view bytes) { m_session.sendTyped(bytes); },
                            m_strPhoneNumber,
                            [this](const std::string& prompt, const std::string& offered) {
                                CValueDlg dialog(this);
                                dialog.m_strPrompt = prompt;
                                dialog.m_strValue = offered;
                                return dialog.DoModal() == QDialog::Accepted
                                           ? std::optional<std::string>(dialog.m_strValue)
                                           : std::nullopt;
                            });
        break;
    case ID_COMM_HANGUP:
        m_session.hangUp();
        break;
    case ID_VIEW_CLEAR:
        m_wndEdit.setText({});
        break;
    default:
        break;
    }
}

void CMainFrame::OnLineOption(unsigned id) {
    if (id == ID_VIEW_TIMESTAMPS) {
        m_bTimeStamps = !m_bTimeStamps;
        m_wndEdit.setTimeStamps(m_bTimeStamps);
    } else if (id >= ID_SETTINGS_ENTER_CR && id <= ID_SETTINGS_ENTER_CRLF) {
        m_wndEdit.m_enterSends = static_cast<terminal::EnterSends>(id - ID_SETTINGS_ENTER_CR);
        m_wndTerm.setEnterSends(m_wndEdit.m_enterSends);
    } else if (id >= ID_SETTINGS_BREAKS_CR && id <= ID_SETTINGS_BREAKS_AUTO) {
        m_session.setLineBreaks(static_cast<terminal::LineBreaks>(id - ID_SETTINGS_BREAKS_CR));
    } else if (id >= ID_SETTINGS_BACKSPACE_DEL && id <= ID_SETTINGS_BACKSPACE_BS) {
        m_wndTerm.setBackspaceSends(static_cast<terminal::BackspaceSends>(id - ID_SETTINGS_BACKSPACE_DEL));
    }
}

void CMainFrame::OnSettingsCommand(unsigned id) {
    CValueDlg prompt(this);
    switch (id) {
    case ID_SETTINGS_INPUTLEN:
    case ID_SETTINGS_RTHRESHOLD:
    case ID_SETTINGS_STHRESHOLD:
    case ID_SETTINGS_PARITYREPLACE:
        PromptForValue(m_wndComm, prompt, id);
        break;
    case ID_SETTINGS_DTRENABLE:
        m_wndComm.SetDTREnable(!m_wndComm.GetDTREnable());
        break;
    case ID_VIEW_HEX:
        SetHexView(!GetHexView());
        // The hexadecimal view needs the byte screen.
        if (GetHexView()) SetTerminal(0);
        break;
    case ID_QUERY_CD:
    case ID_QUERY_CTS:
    case ID_QUERY_DSR:
        for (const auto& query : kSignalQueries) {
            if (query.id != id) continue;
            const bool holding = (m_wndComm.*query.read)();
            fw::MessageBox(fw::FormatString(holding ? IDS_SIGNAL_TRUE : IDS_SIGNAL_FALSE,
                                            {query.name}));
        }
        break;
    default:
        break;
    }
}

void CMainFrame::OnTerminalCommand(unsigned id) {
    if (id == ID_VIEW_TERMINAL) SetTerminal(!m_bTerminal);
    if (id == ID_VIEW_RESET_TERMINAL) m_wndTerm.resetTerminal();
}

void CMainFrame::SetTerminal(Bool32 on) {
    m_bTerminal = on ? 1 : 0;
    if (m_bTerminal) SetHexView(0);
    m_wndTerm.setEnterSends(m_wndEdit.m_enterSends);
    if (m_bTerminal)
        m_session.setTerminalSink([this](std::string_view bytes) { m_wndTerm.feed(bytes); });
    else
        m_session.setTerminalSink({});
    if (!m_views) return;
    QWidget* shown = m_bTerminal ? static_cast<QWidget*>(&m_wndTerm) : &m_wndEdit;
    m_views->setCurrentWidget(shown);
    if (m_findBar)
        m_findBar->setTarget(m_bTerminal ? static_cast<terminal::FindTarget*>(&m_wndTerm) : &m_wndEdit, shown);
    shown->setFocus();
}
