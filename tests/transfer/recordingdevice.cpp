#include "tests/transfer/recordingdevice.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class RecordingDevice final : public comm::SerialDevice {
public:
    RecordingDevice(std::shared_ptr<DeviceRecord> record, int fd)
        : m_record(std::move(record))
        , m_fd(fd) {}
    ~RecordingDevice() override { ::close(m_fd); }

    int fd() const override { return m_fd; }
    comm::Status configure(const comm::LineSettings&, std::int32_t) override {
        return comm::Status::success();
    }
    comm::Status setDTR(bool on) override {
        m_record->dtr.push_back(on);
        return comm::Status::success();
    }
    comm::Status setRTS(bool) override { return comm::Status::success(); }
    std::optional<comm::ModemLines> modemLines() override { return std::nullopt; }
    std::optional<comm::LineCounters> counters() override { return std::nullopt; }
    ssize_t read(void* buf, std::size_t n) override { return ::read(m_fd, buf, n); }
    ssize_t write(const void* buf, std::size_t n) override {
        m_record->writes.emplace_back(static_cast<const char*>(buf), n);
        if (m_record->holdEachWrite) m_record->held = true;
        return static_cast<ssize_t>(n);
    }
    // A held write is still wholly in the driver.
    int outputQueue() override {
        return m_record->held ? static_cast<int>(m_record->writes.back().size()) : 0;
    }
    void discardOutput() override { m_record->held = false; }
    bool marksErrors() const override { return true; }

private:
    std::shared_ptr<DeviceRecord> m_record;
    int m_fd;
};

} // namespace

DeviceRecord::~DeviceRecord() {
    if (peer >= 0) ::close(peer);
}

std::string DeviceRecord::wire() const {
    std::string all;
    for (const auto& w : writes)
        all += w;
    return all;
}

bool DeviceRecord::send(std::string_view bytes) const {
    return peer >= 0 && ::write(peer, bytes.data(), bytes.size()) == ssize_t(bytes.size());
}

comm::DeviceOpener RecordingOpener(std::shared_ptr<DeviceRecord> record) {
    return [record](const comm::PortPath&, const comm::LineSettings&, std::int32_t, bool dtr, bool,
                    comm::Status& status) -> std::unique_ptr<comm::SerialDevice> {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) {
            status = comm::Status::failure(comm::ErrorCode::DeviceError, "socketpair", errno);
            return nullptr;
        }
        if (record->peer >= 0) ::close(record->peer);
        record->peer = fds[1];
        auto dev = std::make_unique<RecordingDevice>(record, fds[0]);
        dev->setDTR(dtr);
        return dev;
    };
}
