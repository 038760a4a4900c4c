// The serial device over a real tty. Line settings go through termios2 (TCGETS2/TCSETS2),
// so that any baud rate works with BOTHER; that needs the kernel's own termios structures,
// which cannot share a translation unit with <termios.h>. Hence ioctl is declared here.

#include "comm/errortext.h"
#include "comm/serialdevice.h"

#include <asm/termios.h>
#include <linux/serial.h>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept;

namespace comm {

namespace {

// What a driver answers for an ioctl it does not have (a pseudo-terminal's modem lines).
bool NoSuchFeature(int err) {
    return err == ENOTTY || err == EINVAL;
}

// A pseudo-terminal's slave (major numbers 136-143) has no line: no framing or parity error
// and no break can reach it, so its input is not marked. Marked input leaves the kernel's
// fast raw path for one that looks at every byte, which halves a flood's speed.
bool IsPtySlave(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
           major(st.st_rdev) <= 143;
}

int Retry(auto call) {
    int r;
    do
        r = call();
    while (r < 0 && errno == EINTR);
    return r;
}

void Apply(termios2& t, const TermiosFields& f) {
    t.c_iflag = f.iflag;
    t.c_oflag = f.oflag;
    t.c_cflag = f.cflag;
    t.c_lflag = f.lflag;
    t.c_ispeed = f.ispeed;
    t.c_ospeed = f.ospeed;
    t.c_cc[VMIN] = f.vmin;
    t.c_cc[VTIME] = f.vtime;
    t.c_cc[VSTART] = f.vstart;
    t.c_cc[VSTOP] = f.vstop;
}

class TermiosDevice final : public SerialDevice {
public:
    TermiosDevice(int fd, std::string shown, const termios2& saved)
        : m_fd(fd)
        , m_shown(std::move(shown))
        , m_saved(saved)
        , m_marks(!IsPtySlave(fd)) {}

    ~TermiosDevice() override {
        // The old settings come back, except that HUPCL stays on so that DTR drops now.
        termios2 old = m_saved;
        old.c_cflag |= HUPCL;
        Retry([&] { return ioctl(m_fd, TCSETS2, &old); });
        ioctl(m_fd, TIOCNXCL);
        ::close(m_fd); // also releases the flock
    }

    int fd() const override { return m_fd; }

    Status configure(const LineSettings& s, std::int32_t handshaking) override {
        termios2 t{};
        if (Retry([&] { return ioctl(m_fd, TCGETS2, &t); }) < 0)
            return Fail(Message::SystemError, {m_shown, "read its settings"}, errno);
        Apply(t, MakeTermios(s, handshaking));
        if (!m_marks) t.c_iflag &= ~(PARMRK | INPCK);
        // The driver may adjust what it cannot do (a pseudo-terminal keeps 8 data bits and no
        // parity); only an outright refusal counts as a failure.
        if (Retry([&] { return ioctl(m_fd, TCSETS2, &t); }) < 0) {
            const int err = errno;
            return Fail(Message::SettingsRefused,
                        {m_shown, FormatSettings(s), std::to_string(handshaking)}, err);
        }
        return Status::success();
    }

    Status setDTR(bool on) override { return setLine(TIOCM_DTR, on, "set DTR"); }
    Status setRTS(bool on) override { return setLine(TIOCM_RTS, on, "set RTS"); }
    // A driver without a break (a pseudo-terminal) accepts and ignores it.
    Status setBreak(bool on) override {
        if (ioctl(m_fd, on ? TIOCSBRK : TIOCCBRK) < 0 && !NoSuchFeature(errno))
            return Fail(Message::SystemError, {m_shown, on ? "start a break" : "end a break"}, errno);
        return Status::success();
    }

    std::optional<ModemLines> modemLines() override {
        if (m_noModemLines) return std::nullopt;
        int bits = 0;
        if (ioctl(m_fd, TIOCMGET, &bits) < 0) {
            m_noModemLines = NoSuchFeature(errno);
            return std::nullopt;
        }
        return ModemLines{(bits & TIOCM_CTS) != 0, (bits & TIOCM_DSR) != 0, (bits & TIOCM_CD) != 0,
                          (bits & TIOCM_RI) != 0};
    }

    std::optional<LineCounters> counters() override {
        if (m_noCounters) return std::nullopt;
        serial_icounter_struct c{};
        if (ioctl(m_fd, TIOCGICOUNT, &c) < 0) {
            m_noCounters = NoSuchFeature(errno);
            return std::nullopt;
        }
        const auto u = [](int v) { return static_cast<std::uint32_t>(v); };
        return LineCounters{u(c.frame), u(c.overrun),     u(c.parity),
                            u(c.brk),   u(c.buf_overrun), u(c.rng)};
    }

    ssize_t read(void* buf, std::size_t n) override {
        ssize_t r;
        do
            r = ::read(m_fd, buf, n);
        while (r < 0 && errno == EINTR);
        return r;
    }

    ssize_t write(const void* buf, std::size_t n) override {
        ssize_t r;
        do
            r = ::write(m_fd, buf, n);
        while (r < 0 && errno == EINTR);
        return r;
    }

    int outputQueue() override {
        int n = 0;
        return ioctl(m_fd, TIOCOUTQ, &n) < 0 || n < 0 ? 0 : n;
    }

    void discardOutput() override { ioctl(m_fd, TCFLSH, TCOFLUSH); }

    bool marksErrors() const override { return m_marks; }

private:
    Status setLine(int bit, bool on, const char* what) {
        if (m_noModemLines) return Status::success();
        if (ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bit) < 0) {
            if (NoSuchFeature(errno)) {
                m_noModemLines = true;
                return Status::success();
            }
            return Fail(Message::SystemError, {m_shown, what}, errno);
        }
        return Status::success();
    }

    int m_fd;
    std::string m_shown;
    termios2 m_saved;
    const bool m_marks; // input carries error marks: not on a pseudo-terminal
    bool m_noModemLines = false;
    bool m_noCounters = false;
};

Status OpenFailure(const PortPath& port, int err) {
    switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return Fail(Message::NoDevice, {port.shown}, err);
    case EACCES:
    case EPERM:
    case EROFS:
        return Fail(Message::NoPermission, {port.shown}, err);
    case EBUSY:
        return Fail(Message::InUse, {port.shown}, err); // TIOCEXCL of another holder
    default:
        return Fail(Message::SystemError, {port.shown, "open the device"}, err);
    }
}

// Closes fd unless released; keeps errno of the failure being reported.
struct FdGuard {
    int fd;
    ~FdGuard() {
        if (fd >= 0) {
            const int saved = errno;
            ::close(fd);
            errno = saved;
        }
    }
    int release() { return std::exchange(fd, -1); }
};

} // namespace

std::unique_ptr<SerialDevice> OpenTermiosDevice(const PortPath& port, const LineSettings& s,
                                                std::int32_t handshaking, bool dtr, bool rts,
                                                Status& status) {
    if (port.path.empty()) {
        status = Fail(Message::UnmappedPort, {port.name, PortMapFolder()});
        return nullptr;
    }
    FdGuard fd{Retry(
        [&] { return ::open(port.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); })};
    if (fd.fd < 0) {
        status = OpenFailure(port, errno);
        return nullptr;
    }
    if (!isatty(fd.fd)) {
        status = Fail(Message::NotATty, {port.shown});
        return nullptr;
    }
    // flock holds against every other opener, root included; TIOCEXCL keeps out programs
    // that do not lock.
    if (Retry([&] { return flock(fd.fd, LOCK_EX | LOCK_NB); }) < 0 && errno == EWOULDBLOCK) {
        status = Fail(Message::InUse, {port.shown}, EWOULDBLOCK);
        return nullptr;
    }
    ioctl(fd.fd, TIOCEXCL);
    termios2 saved{};
    if (Retry([&] { return ioctl(fd.fd, TCGETS2, &saved); }) < 0) {
        status = NoSuchFeature(errno)
                     ? Fail(Message::NotATty, {port.shown}, errno)
                     : Fail(Message::SystemError, {port.shown, "read its settings"}, errno);
        ioctl(fd.fd, TIOCNXCL);
        return nullptr;
    }
    auto dev = std::make_unique<TermiosDevice>(fd.release(), port.shown, saved);
    if (Status st = dev->configure(s, handshaking); !st) {
        status = std::move(st);
        return nullptr;
    }
    if (Status st = dev->setDTR(dtr); !st) {
        status = std::move(st);
        return nullptr;
    }
    if (Status st = dev->setRTS(rts); !st) {
        status = std::move(st);
        return nullptr;
    }
    ioctl(dev->fd(), TCFLSH, TCIOFLUSH);
    status = Status::success();
    return dev;
}

} // namespace comm
