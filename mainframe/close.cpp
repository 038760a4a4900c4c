// The orderly end: unsent output drains (with a question every ten seconds; Ignore gives up
// what is left), the port closes, then an open dump and an open log, the settings are saved,
// and the window goes.

#include "framework/application.h"
#include "framework/clock.h"
#include "framework/msgbox.h"
#include "framework/stringtable.h"
#include "mainframe/mainframe.h"
#include "res/resource.h"

#include <QPointer>

namespace {

constexpr std::int64_t kDrainSeconds = 10;

// Tells in the message pane how much output the close still waits for.
void ShowDraining(CStatusBar& bar, short pending) {
    const std::string text = fw::FormatString(IDS_DRAINING_ON_CLOSE, {std::to_string(pending)});
    if (bar.paneCount() > 0 && bar.GetPaneText(0) != text) bar.SetPaneText(0, text);
}

} // namespace

void CMainFrame::OnClose() {
    // A disabled frame (a transmission runs) takes no input, its close box included; a frame
    // already closed by an inner run ignores a late request.
    if (!isEnabled() || m_closed) return;
    QPointer<CMainFrame> self(this);
    const auto gone = [&] { return !self || m_closed; };

    fw::Guard(fw::Entry::WindowMessage, [&] {
        if (m_wndComm.GetPortOpen()) {
            std::int64_t deadline = fw::Now() + kDrainSeconds;
            for (short pending; (pending = m_wndComm.GetOutBufferCount()) != 0;) {
                ShowDraining(m_wndStatusBar, pending);
                m_bCancel = 0;
                PumpPendingMessages();
                // A close that ran inside the pump has finished the job.
                if (gone()) return;
                if (fw::Now() <= deadline) continue;
                const fw::Answer answer =
                    fw::MessageBox(IDS_DATA_NOT_SENT, fw::Buttons::AbortRetryIgnore);
                if (gone()) return;
                if (answer == fw::Answer::Abort) {
                    m_wndStatusBar.SetPaneText(0, fw::LoadString(IDS_IDLE_MESSAGE));
                    return;
                }
                if (answer != fw::Answer::Retry) break; // Ignore: closing drops what is left
                deadline = fw::Now() + kDrainSeconds;
            }
            m_wndComm.SetPortOpen(false);
            m_session.portClosed();
        }
        // A hang-up still holding DTR down ends here, so that the settings keep DTREnable.
        m_session.endHangUp();
        if (!m_session.dumpPath().empty()) OnCloseDumpFile();
        if (!m_session.logPath().empty()) OnCloseLogFile();
        SaveSettings();
        DestroyFrame();
    });
}

void CMainFrame::DestroyFrame() {
    // The window goes now; the object itself once the event loop is back at the level where
    // the close began, so that any run still inside a handler finds it (and sees m_closed).
    m_closed = true;
    m_session.portWait().stop(); // a window that has gone waits for no device
    hide();
    if (fw::MainWindow() == this) {
        fw::SetMainWindow(nullptr);
        fw::RequestQuit();
    }
    deleteLater();
}
