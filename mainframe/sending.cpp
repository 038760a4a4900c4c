// Sending beyond typed keys: the send bar and the macro bar at the foot of the window, the
// macros and the pacing dialogs, RTS, and the commands that go with them.

#include "framework/codepage.h"
#include "mainframe/mainframe.h"
#include "res/resource.h"
#include "transfer/sendtext.h"

#include <QLineEdit>
#include <QToolBar>

namespace {

// A tool bar at the foot of the frame that holds one widget and stays there.
QToolBar* FootBar(QMainWindow* frame, QWidget* content, const char* name, const char* title) {
    auto* bar = new QToolBar(frame);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setWindowTitle(QString::fromLatin1(title));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->addWidget(content);
    frame->addToolBar(Qt::BottomToolBarArea, bar);
    bar->hide();
    return bar;
}

// The macro editor's preview: what a text sends, or where it is wrong.
settings::MacroPreview PreviewMacro(const std::string& text) {
    const auto parsed = transfer::ParseMacro(text);
    if (const auto* error = std::get_if<transfer::ParseError>(&parsed))
        return {error->message, error->position};
    const auto& items = std::get<transfer::SendItems>(parsed);
    return {items.empty() ? std::string("(nothing)") : transfer::DescribeItems(items),
            std::nullopt};
}

bool DrivesRts(std::int32_t handshaking) {
    return handshaking == 2 || handshaking == 3; // RTS/CTS, alone or with Xon/Xoff
}

} // namespace

void CMainFrame::CreateSendBars() {
    // The foot's first row lies at the window's edge: the macro bar goes there, the send bar
    // on a row of its own above it, right under the screen.
    m_pMacroBar = new CMacroBar;
    m_macroDock = FootBar(this, m_pMacroBar, "macroBarDock", "Macro Bar");
    addToolBarBreak(Qt::BottomToolBarArea);
    m_pSendBar = new CSendBar;
    m_sendDock = FootBar(this, m_pSendBar, "sendBarDock", "Send Bar");
    m_pSendBar->setEscapeHandler([this] { m_wndEdit.setFocus(); });
}

void CMainFrame::SetMacros(const settings::Macros& macros) {
    m_macros = macros;
    m_pMacroBar->setMacros(m_macros);
}

void CMainFrame::OnSendingCommand(unsigned id) {
    switch (id) {
    case ID_VIEW_SENDBAR:
        ToggleBar(m_sendDock);
        // A bar just shown is there to be typed into.
        if (m_sendDock->isVisibleTo(this)) m_pSendBar->field()->setFocus();
        break;
    case ID_VIEW_MACROBAR:
        ToggleBar(m_macroDock);
        break;
    case ID_SETTINGS_RTSENABLE:
        m_wndComm.SetRTSEnable(!m_wndComm.GetRTSEnable());
        break;
    case ID_EDIT_COPY_SCREEN:
        m_wndEdit.copy();
        break;
    case ID_SETTINGS_MACROS: {
        settings::Macros edited = m_macros;
        CMacrosDlg dialog(this, edited, PreviewMacro);
        if (dialog.DoModal() == QDialog::Accepted) SetMacros(edited);
        break;
    }
    case ID_SETTINGS_PACING: {
        CPacingDlg dialog(this, m_pacing);
        dialog.DoModal();
        break;
    }
    default:
        break;
    }
}

void CMainFrame::OnUpdateSendingCommand(fw::CmdUI& ui) {
    const unsigned id = ui.id();
    switch (id) {
    case ID_VIEW_SENDBAR:
        ui.SetCheck(m_sendDock->isVisibleTo(this));
        ui.Enable(true);
        return;
    case ID_VIEW_MACROBAR:
        ui.SetCheck(m_macroDock->isVisibleTo(this));
        ui.Enable(true);
        return;
    case ID_SETTINGS_RTSENABLE:
        // Under RTS/CTS handshaking the driver drives RTS.
        ui.SetCheck(m_wndComm.GetRTSEnable());
        ui.Enable(!DrivesRts(m_wndComm.GetHandshaking()));
        return;
    case ID_SETTINGS_MACROS:
    case ID_SETTINGS_PACING:
    case ID_EDIT_COPY_SCREEN:
        ui.Enable(true);
        return;
    default:
        break;
    }
    if (id >= ID_COMM_MACRO_FIRST && id <= ID_COMM_MACRO_LAST) {
        const auto& macro = m_macros.at(id - ID_COMM_MACRO_FIRST);
        ui.SetText(fw::ToAnsi(CMacroBar::Label(macro, static_cast<int>(id - ID_COMM_MACRO_FIRST))
                                  .replace(QLatin1Char('&'), QStringLiteral("&&"))));
        ui.Enable(false); // sending macros comes with the send queue
        return;
    }
    ui.Enable(false);
}
