#include "session/portwait.h"

#include "comm/netaddress.h"
#include "comm/status.h"

#include <algorithm>
#include <cerrno>

#include <sys/stat.h>

namespace {

// Changes come in bursts (a link removed and made, a node made then given its permissions):
// let a burst settle before looking.
constexpr int kSettleMs = 20;
// Between two attempts at least this long, so that a device that opens and at once goes
// again costs a few attempts a second, not a busy loop.
constexpr int kMinGapMs = 100;

// A failure that only says the device is not really back yet (a node left behind by a device
// that hung up): the wait goes on without a word.
bool NotBackYet(const fw::ControlError& e) {
    if (e.code() == static_cast<int>(comm::ErrorCode::NoSuchDevice)) return true;
    if (e.code() != static_cast<int>(comm::ErrorCode::DeviceError)) return false;
    // A far end that is down refuses or does not answer until it is back.
    for (const int err : {EIO, ENXIO, ENODEV, ECONNREFUSED, ETIMEDOUT, EHOSTUNREACH, ENETUNREACH})
        if (e.sysErrno() == err) return true;
    return false;
}

} // namespace

namespace session {

PortWait::PortWait(CCommCtrl& comm)
    : m_comm(comm) {
    m_next.setSingleShot(true);
    connect(&m_next, &QTimer::timeout, this, &PortWait::attempt);
    connect(&m_watcher, &comm::PathWatcher::changed, this, [this] { schedule(kSettleMs); });
}

void PortWait::start(const comm::PortPath& port) {
    m_port = port;
    m_waiting = true;
    // An address has no path to watch: the watcher's slow poll (every 2 s) retries it.
    comm::NetAddress address;
    const bool remote = comm::ParseNetAddress(port.path, address).ok();
    m_message = remote ? "Connection to " + address.hostPort() + " lost; waiting to reconnect..."
                       : port.shown + " has gone away; waiting for it to return...";
    m_watcher.watch(remote ? std::vector<std::string>{} : std::vector<std::string>{port.path});
    // It may be back already (a board that resets re-enumerates at once).
    schedule(kMinGapMs);
}

void PortWait::stop() {
    m_waiting = false;
    m_held = false;
    m_next.stop();
    m_watcher.stop();
}

void PortWait::hold(bool held) {
    m_held = held;
    if (!held && m_waiting) schedule(kSettleMs);
}

void PortWait::schedule(int ms) {
    if (!m_waiting) return;
    if (m_sinceAttempt.isValid()) ms = std::max<qint64>(ms, kMinGapMs - m_sinceAttempt.elapsed());
    if (!m_next.isActive() || m_next.remainingTime() > ms) m_next.start(ms);
}

bool PortWait::deviceThere() const {
    const comm::PortPath now = comm::ResolvePort(m_comm.GetCommPort());
    if (now.fromMap != m_port.fromMap || now.path != m_port.path) return false;
    if (comm::IsNetworkName(now.path)) return true; // only connecting tells
    struct stat st {};
    return ::stat(now.path.c_str(), &st) == 0; // through the links, to the device itself
}

void PortWait::attempt() {
    if (!m_waiting || m_held) return;
    if (m_comm.GetPortOpen()) { // opened meanwhile by other means
        stop();
        return;
    }
    if (!deviceThere()) return;
    m_sinceAttempt.start();
    try {
        m_comm.SetPortOpen(true);
    } catch (const fw::ControlError& e) {
        if (NotBackYet(e)) return;
        // Busy, no permission, not a terminal: say why, and wait for the next change.
        m_message = e.description() + " Still waiting...";
        if (m_report) m_report(Outcome::Refused);
        return;
    }
    stop();
    m_message = m_port.name + " reopened";
    if (m_report) m_report(Outcome::Reopened);
}

} // namespace session
