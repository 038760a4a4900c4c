// Sending beyond typed keys: the send bar and the macro bar at the foot of the window, the
// macros and the pacing dialogs, RTS, and the commands that go with them.

#include "framework/codepage.h"
#include "framework/msgbox.h"
#include "framework/stringtable.h"
#include "mainframe/mainframe.h"
#include "res/resource.h"
#include "terminal/enterkey.h"
#include "transfer/sendtext.h"

#include <QApplication>
#include <QClipboard>
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

void CMainFrame::WireSending() {
    session::SendQueue& queue = m_session.sendQueue();
    m_sendRuns = std::make_unique<CSendRuns>(queue);
    m_pSendProgress = new CSendProgress;
    m_wndStatusBar.widget()->addWidget(m_pSendProgress);
    connect(m_pSendProgress, &CSendProgress::cancelRequested, this,
            [this] { m_sendRuns->cancelAll(); });
    connect(m_sendRuns.get(), &CSendRuns::progress, this, [this](qint64 sent, qint64 total) {
        if (m_sendRuns->busy())
            m_pSendProgress->setProgress(sent, total);
        else
            m_pSendProgress->finish();
    });
    // A run cut short by the port's closing says so once, as a file transmission does.
    connect(m_sendRuns.get(), &CSendRuns::runEnded, this,
            [this](session::SendResult result, qint64 sent, qint64 total) {
                if (result != session::SendResult::PortClosed) return;
                if (!m_wndComm.GetPortOpen()) {
                    m_session.note(fw::FormatString(IDS_SEND_PORT_CLOSED,
                                                    {std::to_string(sent), std::to_string(total)}));
                    return;
                }
                // The port is open: the device refused the line (a Break it cannot make). Ending
                // the Break asks the device once more, so its own error is shown as any failed
                // command's.
                fw::Guard(fw::Entry::MenuOrKeyCommand, [this] {
                    m_wndComm.SetBreak(false);
                    fw::MessageBox(fw::LoadString(IDS_BREAK_REFUSED), fw::Buttons::Ok,
                                   fw::Icon::Stop);
                });
            });
    connect(m_pSendBar, &CSendBar::sendRequested, this, [this](const std::string& bytes) {
        fw::Guard(fw::Entry::MenuOrKeyCommand, [&] {
            SendRun({{transfer::SendItem::Kind::Bytes, bytes, 0}}, true);
        });
    });
    connect(m_pMacroBar, &CMacroBar::macroClicked, this, [this](int index) {
        SendCommand(ID_COMM_MACRO_FIRST + static_cast<unsigned>(index), Source::ToolBar);
    });
    m_wndEdit.setPasteHandler(
        [this] {
            fw::ProbeCmdUI probe(ID_EDIT_PASTE_TO_PORT);
            UpdateCommand(probe);
            return probe.enabled;
        },
        [this] { SendCommand(ID_EDIT_PASTE_TO_PORT, Source::Menu); });
    WatchForZmodem();
}

void CMainFrame::SendRun(const transfer::SendItems& items, bool paced) {
    if (items.empty() || !m_wndComm.GetPortOpen() || TransferRunning()) return;
    const bool echo = m_wndEdit.m_bEcho != 0;
    if (echo)
        m_session.sendQueue().setEchoSink(
            [this](std::string_view bytes) { m_wndEdit.replaceSel(bytes); });
    m_sendRuns->start(items, {.paced = paced, .echo = echo});
}

void CMainFrame::SetPacing(const settings::Pacing& pacing) {
    m_pacing = pacing;
    m_session.sendQueue().setPacing(m_pacing.charMs, m_pacing.lineMs);
}

void CMainFrame::SendMacro(int index) {
    const settings::Macro& macro = m_macros.at(static_cast<std::size_t>(index));
    auto parsed = transfer::ParseMacro(macro.text);
    if (const auto* error = std::get_if<transfer::ParseError>(&parsed)) {
        fw::MessageBox(
            fw::FormatString(IDS_MACRO_FAULT, {std::to_string(index + 1), error->message}),
            fw::Buttons::Ok, fw::Icon::Stop);
        return;
    }
    SendRun(std::get<transfer::SendItems>(parsed), true);
}

void CMainFrame::OnPasteToPort() {
    PasteText(QApplication::clipboard()->text(),
              m_wndEdit.characterSet() == terminal::CharacterSet::Utf8);
}

void CMainFrame::PasteText(const QString& pasted, bool utf8) {
    const std::string text = utf8 ? pasted.toStdString() : fw::ToAnsi(pasted);
    const auto plan = transfer::PlanPaste(text, terminal::EnterBytes(m_wndEdit.m_enterSends));
    if (plan.bytes.empty()) return;
    if (plan.mustAsk &&
        fw::MessageBox(fw::FormatString(plan.controls ? IDS_PASTE_CONTROLS : IDS_PASTE_CONFIRM,
                                        {std::to_string(plan.bytes.size())}),
                       fw::Buttons::OkCancel) != fw::Answer::Ok)
        return;
    SendRun({{transfer::SendItem::Kind::Bytes, plan.bytes, 0}}, true);
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
        settings::Pacing pacing = m_pacing;
        CPacingDlg dialog(this, pacing);
        if (dialog.DoModal() == QDialog::Accepted) SetPacing(pacing);
        break;
    }
    case ID_COMM_SENDBREAK:
        SendRun({{transfer::SendItem::Kind::Break, {}, transfer::kBreakMs}}, false);
        break;
    case ID_EDIT_PASTE_TO_PORT:
        OnPasteToPort();
        break;
    default:
        if (id >= ID_COMM_MACRO_FIRST && id <= ID_COMM_MACRO_LAST)
            SendMacro(static_cast<int>(id - ID_COMM_MACRO_FIRST));
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
    case ID_COMM_SENDBREAK:
        ui.Enable(m_wndComm.GetPortOpen() && !TransferRunning());
        return;
    case ID_EDIT_PASTE_TO_PORT:
        ui.Enable(m_wndComm.GetPortOpen() && !TransferRunning() &&
                  !QApplication::clipboard()->text().isEmpty());
        return;
    default:
        break;
    }
    if (id >= ID_COMM_MACRO_FIRST && id <= ID_COMM_MACRO_LAST) {
        const auto& macro = m_macros.at(id - ID_COMM_MACRO_FIRST);
        ui.SetText(fw::ToAnsi(CMacroBar::Label(macro, static_cast<int>(id - ID_COMM_MACRO_FIRST))
                                  .replace(QLatin1Char('&'), QStringLiteral("&&"))));
        ui.Enable(m_wndComm.GetPortOpen() && !TransferRunning() && !macro.text.empty());
        return;
    }
    ui.Enable(false);
}
