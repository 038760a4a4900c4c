#include "tests/support/fakedevice.h"

#include "comm/errortext.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class FakeSerialDevice final : public comm::SerialDevice {
public:
    FakeSerialDevice(std::shared_ptr<FakeDevice> state, std::string shown, int fd)
        : m_state(std::move(state))
        , m_shown(std::move(shown))
        , m_fd(fd) {}
    ~FakeSerialDevice() override { ::close(m_fd); }

    int fd() const override { return m_fd; }
    comm::Status configure(const comm::LineSettings& s, std::int32_t handshaking) override {
        if (m_state->refuseSettings)
            return comm::Fail(comm::Message::SettingsRefused,
                              {m_shown, comm::FormatSettings(s), "0"}, EINVAL);
        m_state->settings = s;
        m_state->handshaking = handshaking;
        return comm::Status::success();
    }
    comm::Status setDTR(bool on) override {
        m_state->dtrChanges.push_back({on, std::chrono::steady_clock::now()});
        m_state->dtr = on;
        return comm::Status::success();
    }
    comm::Status setRTS(bool on) override {
        m_state->rts = on;
        return comm::Status::success();
    }
    comm::Status setBreak(bool on) override {
        m_state->breaks.push_back(on);
        return comm::Status::success();
    }
    std::optional<comm::ModemLines> modemLines() override { return m_state->lines; }
    std::optional<comm::LineCounters> counters() override { return m_state->counters; }
    ssize_t read(void* buf, std::size_t n) override { return ::read(m_fd, buf, n); }
    ssize_t write(const void* buf, std::size_t n) override {
        m_state->writes.emplace_back(static_cast<const char*>(buf), n);
        if (m_state->holdEachWrite) m_state->outputQueue = static_cast<int>(n);
        return static_cast<ssize_t>(n);
    }
    int outputQueue() override { return m_state->outputQueue; }
    void discardOutput() override {
        ++m_state->discards;
        m_state->outputQueue = 0;
    }
    bool marksErrors() const override { return true; }

private:
    std::shared_ptr<FakeDevice> m_state;
    std::string m_shown;
    int m_fd;
};

} // namespace

FakeDevice::~FakeDevice() {
    unplug();
}

std::string FakeDevice::wire() const {
    std::string all;
    for (const auto& w : writes)
        all += w;
    return all;
}

bool FakeDevice::send(std::string_view bytes) const {
    return peer >= 0 && ::write(peer, bytes.data(), bytes.size()) == ssize_t(bytes.size());
}

void FakeDevice::unplug() {
    if (peer >= 0) ::close(peer);
    peer = -1;
}

comm::DeviceOpener FakeOpener(std::shared_ptr<FakeDevice> device) {
    return
        [device](const comm::PortPath& port, const comm::LineSettings& s, std::int32_t handshaking,
                 bool dtr, bool rts, comm::Status& status) -> std::unique_ptr<comm::SerialDevice> {
            int fds[2];
            if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) {
                status = comm::Status::failure(comm::ErrorCode::DeviceError, "socketpair", errno);
                return nullptr;
            }
            device->unplug();
            device->peer = fds[1];
            auto dev = std::make_unique<FakeSerialDevice>(device, port.shown, fds[0]);
            if (status = dev->configure(s, handshaking); !status) return nullptr;
            dev->setDTR(dtr);
            dev->setRTS(rts);
            ++device->opens;
            return dev;
        };
}
