// The orderly end: unsent output drains (with a question every ten seconds), the port closes,
// then an open dump and an open log, the settings are saved, and the window goes.

#include "framework/application.h"
#include "framework/clock.h"
#include "framework/msgbox.h"
#include "mainframe/mainframe.h"
#include "res/resource.h"

#include <QPointer>

namespace {
constexpr std::int64_t kDrainSeconds = 10;
}

void CMainFrame::OnClose() {
    // A disabled frame (a transmission runs) takes no input, its close box included; a frame
    // already closed by an inner run ignores a late request.
    if (!isEnabled() || m_closed) return;
    QPointer<CMainFrame> self(this);
    const auto gone = [&] { return !self || m_closed; };

    fw::Guard(fw::Entry::WindowMessage, [&] {
        if (m_wndComm.GetPortOpen()) {
            std::int64_t deadline = fw::Now() + kDrainSeconds;
            bool ignored = false;
            while (m_wndComm.GetOutBufferCount() != 0) {
                m_bCancel = 0;
                PumpPendingMessages();
                // A close that ran inside the pump has finished the job.
                if (gone()) return;
                if (!ignored && fw::Now() <= deadline) continue;
                switch (fw::MessageBox(IDS_DATA_NOT_SENT, fw::Buttons::AbortRetryIgnore)) {
                case fw::Answer::Abort:
                    return;
                case fw::Answer::Retry:
                    deadline = fw::Now() + kDrainSeconds;
                    break;
                default:
                    ignored = true;
                    break;
                }
                if (gone()) return;
            }
            m_wndComm.SetPortOpen(false);
        }
        if (!m_strDumpFile.empty()) OnCloseDumpFile();
        if (!m_strLogFile.empty()) OnCloseLogFile();
        SaveSettings();
        DestroyFrame();
    });
}

void CMainFrame::DestroyFrame() {
    // The window goes now; the object itself once the event loop is back at the level where
    // the close began, so that any run still inside a handler finds it (and sees m_closed).
    m_closed = true;
    hide();
    if (fw::MainWindow() == this) {
        fw::SetMainWindow(nullptr);
        fw::RequestQuit();
    }
    deleteLater();
}
