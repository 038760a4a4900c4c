#include "session/hanguppulse.h"

#include "comm/ccommctrl.h"
#include "framework/errors.h"

namespace session {

HangUpPulse::HangUpPulse(CCommCtrl& comm)
    : m_comm(comm) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        fw::Guard(fw::Entry::WindowMessage, [this] { end(); });
    });
}

void HangUpPulse::start() {
    if (running()) return;
    m_was = m_comm.GetDTREnable();
    m_comm.SetDTREnable(true);
    m_comm.SetDTREnable(false);
    m_running = true;
    m_timer.start(kHangUpMs);
}

void HangUpPulse::end() {
    if (!m_running) return;
    m_running = false;
    m_timer.stop();
    // DTR toggled by the user meanwhile is left as the user put it.
    if (!m_comm.GetDTREnable()) m_comm.SetDTREnable(m_was);
}

} // namespace session
