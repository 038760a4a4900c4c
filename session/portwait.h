#pragma once
// Waiting for the device of a port that has gone away, to open the port again as soon as the
// device is back. The control keeps the port's properties while it is closed, so opening it
// again restores the same settings, lines and thresholds.
//
// Attempts follow changes in the folders of the device's paths (and a slow poll), at most one
// every few tenths of a second however the device flaps. One is made only while the port
// resolves as it did when it went — through its port map entry, or to the same built-in
// device — and the device path exists: a removed map entry never falls back to the built-in
// map's device of the same number.

#include "comm/ccommctrl.h"
#include "comm/pathwatcher.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <string>

namespace session {

class PortWait : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Reopened, Refused };
    explicit PortWait(CCommCtrl& comm);
    // `report` hears of every attempt that reached a device: reopened, or refused (the port
    // stays closed and the wait goes on); message() has the text to show either way.
    void setReport(std::function<void(Outcome)> report) { m_report = std::move(report); }

    // Starts waiting for `port`, the port as it was opened before it went away.
    void start(const comm::PortPath& port);
    // Ends the wait; no attempt follows.
    void stop();
    // While held no attempt is made (the port's settings are being edited); released, one
    // is made soon.
    void hold(bool held);

    bool isWaiting() const { return m_waiting; }
    const comm::PortPath& port() const { return m_port; }
    // What the message pane says about the wait: that the port is waited for, why the device
    // that came back could not be opened, or that it has been reopened.
    const std::string& message() const { return m_message; }

private:
    void schedule(int ms);
    void attempt();
    bool deviceThere() const;

    CCommCtrl& m_comm;
    std::function<void(Outcome)> m_report;
    comm::PathWatcher m_watcher;
    QTimer m_next;
    QElapsedTimer m_sinceAttempt;
    comm::PortPath m_port;
    std::string m_message;
    bool m_waiting = false;
    bool m_held = false;
};

} // namespace session
