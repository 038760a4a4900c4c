#include "comm/netdevice.h"

#include "comm/errortext.h"
#include "comm/netaddress.h"
#include "comm/netconnect.h"
#include "comm/telnet.h"

#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace comm {

namespace {

// Data taken per write: its escaped form is what may wait in the device at most.
constexpr std::size_t kWriteChunk = 4096;

ssize_t Send(int fd, const void* buf, std::size_t n) {
    ssize_t r;
    do
        r = ::send(fd, buf, n, MSG_NOSIGNAL | MSG_DONTWAIT);
    while (r < 0 && errno == EINTR);
    return r;
}

ssize_t Receive(int fd, void* buf, std::size_t n) {
    ssize_t r;
    do
        r = ::recv(fd, buf, n, MSG_DONTWAIT);
    while (r < 0 && errno == EINTR);
    return r;
}

class NetDevice final : public SerialDevice {
public:
    NetDevice(int fd, const NetAddress& a, std::string shown, ConnectHooks hooks)
        : m_fd(fd)
        , m_rfc2217(a.kind == NetAddress::Kind::Rfc2217)
        , m_shown(std::move(shown))
        , m_hooks(std::move(hooks))
        , m_client(m_rfc2217) {
        if (m_rfc2217) m_client.start();
        flush();
    }
    ~NetDevice() override { ::close(m_fd); }

    int fd() const override { return m_fd; }

    Status configure(const LineSettings& s, std::int32_t handshaking) override {
        if (m_rfc2217) {
            m_client.setLine(s, handshaking);
            flush();
        } else {
            noteOnce(m_shown + " is a raw TCP port: its settings stay here and do not reach "
                               "the far end.");
        }
        return Status::success();
    }
    Status setDTR(bool on) override { return apply([&] { m_client.setDTR(on); }); }
    Status setRTS(bool on) override { return apply([&] { m_client.setRTS(on); }); }
    Status setBreak(bool on) override { return apply([&] { m_client.setBreak(on); }); }

    std::optional<ModemLines> modemLines() override {
        if (!m_rfc2217) return std::nullopt;
        return m_client.modemLines();
    }
    std::optional<LineCounters> counters() override { return std::nullopt; }

    ssize_t read(void* buf, std::size_t n) override {
        if (!m_rfc2217) return Receive(m_fd, buf, n);
        flush();
        // What the server sent may be negotiation only: read on until data or nothing.
        for (;;) {
            const ssize_t r = Receive(m_fd, buf, n);
            if (r <= 0) return r;
            m_data.clear();
            m_client.receive(std::string_view(static_cast<const char*>(buf),
                                              static_cast<std::size_t>(r)),
                             m_data);
            if (m_client.takeRefusal())
                noteOnce(m_shown + " does not take port settings (the server refused COM "
                                   "Port Control); bytes still pass.");
            flush();
            if (m_data.empty()) continue;
            std::copy(m_data.begin(), m_data.end(), static_cast<char*>(buf));
            return static_cast<ssize_t>(m_data.size());
        }
    }

    ssize_t write(const void* buf, std::size_t n) override {
        if (!m_rfc2217) return Send(m_fd, buf, n);
        if (!flush()) return -1;
        if (!m_client.output().empty()) {
            errno = EAGAIN; // the socket is full: the control waits for it
            return -1;
        }
        const std::size_t taken = std::min(n, kWriteChunk);
        m_client.send(std::string_view(static_cast<const char*>(buf), taken));
        if (!flush() && errno != EAGAIN) return -1;
        return static_cast<ssize_t>(taken);
    }

    int outputQueue() override {
        flush(); // what waits here leaves when the socket takes it; the control polls this
        int unsent = 0;
        if (ioctl(m_fd, SIOCOUTQNSD, &unsent) < 0 || unsent < 0) unsent = 0;
        return unsent + static_cast<int>(std::min<std::size_t>(m_client.output().size(), 32767));
    }

    void discardOutput() override {
        if (!m_rfc2217) return;
        m_client.purge(telnet::kPurgeTransmit);
        flush();
    }

    bool marksErrors() const override { return false; }

private:
    template <typename Change>
    Status apply(Change change) {
        if (m_rfc2217) {
            change();
            flush();
        }
        return Status::success();
    }

    // Sends what waits for the server; false with errno when the socket refused (EAGAIN: full).
    bool flush() {
        std::string& out = m_client.output();
        std::size_t sent = 0;
        bool ok = true;
        while (sent < out.size()) {
            const ssize_t r = Send(m_fd, out.data() + sent, out.size() - sent);
            if (r <= 0) {
                ok = false;
                break;
            }
            sent += static_cast<std::size_t>(r);
        }
        const int err = errno;
        out.erase(0, sent);
        errno = err;
        return ok;
    }

    void noteOnce(const std::string& text) {
        if (m_noted) return;
        m_noted = true;
        if (m_hooks.note) m_hooks.note(text);
    }

    int m_fd;
    bool m_rfc2217;
    std::string m_shown;
    ConnectHooks m_hooks;
    TelnetClient m_client;
    std::string m_data;
    bool m_noted = false;
};

} // namespace

std::unique_ptr<SerialDevice> OpenNetworkDevice(const PortPath& port, const LineSettings& s,
                                                std::int32_t handshaking, bool dtr, bool rts,
                                                Status& status, const ConnectHooks& hooks) {
    NetAddress a;
    if (Status st = ParseNetAddress(port.path, a); !st) {
        status = Fail(Message::BadAddress, {port.shown, st.description});
        return nullptr;
    }
    if (hooks.connecting) hooks.connecting("Connecting to " + a.hostPort() + "...");
    const ConnectResult c = ConnectWithin(a);
    if (hooks.connecting) hooks.connecting(std::string());
    if (c.fd < 0) {
        status = c.noSuchHost ? Fail(Message::UnknownHost, {port.shown, a.host, c.why}, c.err)
                 : c.err == ETIMEDOUT ? Fail(Message::NoAnswer, {port.shown, a.hostPort()}, c.err)
                                      : Fail(Message::ConnectFailed, {port.shown, a.hostPort()}, c.err);
        return nullptr;
    }
    auto dev = std::make_unique<NetDevice>(c.fd, a, port.shown, hooks);
    dev->configure(s, handshaking);
    dev->setDTR(dtr);
    dev->setRTS(rts);
    status = Status::success();
    return dev;
}

std::unique_ptr<SerialDevice> OpenAnyDevice(const PortPath& port, const LineSettings& s,
                                            std::int32_t handshaking, bool dtr, bool rts,
                                            Status& status, const ConnectHooks& hooks) {
    if (IsNetworkName(port.path))
        return OpenNetworkDevice(port, s, handshaking, dtr, rts, status, hooks);
    return OpenTermiosDevice(port, s, handshaking, dtr, rts, status);
}

} // namespace comm
