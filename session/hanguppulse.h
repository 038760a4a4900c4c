#pragma once
// Hanging up a modem with a DTR pulse: DTR raised, dropped, and DTREnable put back as it was
// about a second later, from a timer, so that the window goes on working meanwhile.

#include <QTimer>

class CCommCtrl;

namespace session {

// How long the hang-up holds DTR down: well beyond what a modem needs to notice (its S25
// register is counted in hundredths of a second).
inline constexpr int kHangUpMs = 1000;

class HangUpPulse {
public:
    explicit HangUpPulse(CCommCtrl& comm);

    // Raises DTR, drops it, and starts the timer that puts it back. A hang-up while the line
    // is still down adds nothing.
    void start();
    // Ends a pulse under way at once: DTREnable is as it was before (on the device too when
    // the port is open). Closing the port or the window calls it, so that no restore lands
    // later on a port that has been closed or opened again meanwhile.
    void end();
    bool running() const { return m_running; }

private:
    CCommCtrl& m_comm;
    bool m_was = false; // DTREnable before the pulse
    bool m_running = false;
    QTimer m_timer;
};

} // namespace session
