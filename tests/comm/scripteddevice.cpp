#include "scripteddevice.h"

#include "comm/errortext.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class ScriptedDevice final : public comm::SerialDevice {
public:
    ScriptedDevice(std::shared_ptr<DeviceScript> script, int fd)
        : m_script(std::move(script))
        , m_fd(fd) {}
    ~ScriptedDevice() override { ::close(m_fd); }

    int fd() const override { return m_fd; }
    comm::Status configure(const comm::LineSettings& s, std::int32_t handshaking) override {
        if (m_script->refuseSettings)
            return comm::Fail(comm::Message::SettingsRefused,
                              {"COM1 (script)", comm::FormatSettings(s), "0"}, EINVAL);
        m_script->settings = s;
        m_script->handshaking = handshaking;
        return comm::Status::success();
    }
    comm::Status setDTR(bool on) override {
        m_script->dtrChanges.push_back({on, std::chrono::steady_clock::now()});
        return set(m_script->dtr, on);
    }
    comm::Status setRTS(bool on) override { return set(m_script->rts, on); }
    std::optional<comm::ModemLines> modemLines() override { return m_script->lines; }
    std::optional<comm::LineCounters> counters() override { return m_script->counters; }
    ssize_t read(void* buf, std::size_t n) override { return ::read(m_fd, buf, n); }
    ssize_t write(const void* buf, std::size_t n) override {
        return ::send(m_fd, buf, n, MSG_NOSIGNAL);
    }
    int outputQueue() override { return m_script->outputQueue; }
    void discardOutput() override { ++m_script->discards; }
    bool marksErrors() const override { return true; }

private:
    static comm::Status set(bool& line, bool on) {
        line = on;
        return comm::Status::success();
    }

    std::shared_ptr<DeviceScript> m_script;
    int m_fd;
};

} // namespace

DeviceScript::~DeviceScript() {
    unplug();
}

bool DeviceScript::send(std::string_view bytes) const {
    return peer >= 0 && ::write(peer, bytes.data(), bytes.size()) == ssize_t(bytes.size());
}

std::string DeviceScript::sent() const {
    std::string got;
    char buf[4096];
    for (ssize_t r; peer >= 0 && (r = ::read(peer, buf, sizeof buf)) > 0;)
        got.append(buf, r);
    return got;
}

void DeviceScript::unplug() {
    if (peer >= 0) ::close(peer);
    peer = -1;
}

comm::DeviceOpener ScriptedOpener(std::shared_ptr<DeviceScript> script) {
    return
        [script](const comm::PortPath&, const comm::LineSettings& s, std::int32_t handshaking,
                 bool dtr, bool rts, comm::Status& status) -> std::unique_ptr<comm::SerialDevice> {
            int fds[2];
            if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) {
                status = comm::Status::failure(comm::ErrorCode::DeviceError, "socketpair", errno);
                return nullptr;
            }
            script->unplug();
            script->peer = fds[1];
            auto dev = std::make_unique<ScriptedDevice>(script, fds[0]);
            if (status = dev->configure(s, handshaking); !status) return nullptr;
            dev->setDTR(dtr);
            dev->setRTS(rts);
            ++script->opens;
            return dev;
        };
}
