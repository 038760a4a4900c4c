// The slave's termios2 is read with the kernel's structures; <termios.h> stays out.
#include "tests/support/ptypair.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept;

namespace {

// Runs the event loop until `fd` is ready for `type` or 20 ms have passed.
void WaitFor(int fd, QSocketNotifier::Type type) {
    QSocketNotifier ready(fd, type);
    QTimer tick;
    tick.start(20);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace

PtyPair::PtyPair() {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
        ptsname_r(m_master, name, sizeof name) != 0) {
        m_error = std::string("no pseudo-terminal: ") + std::strerror(errno);
        closeMaster();
        return;
    }
    m_slavePath = name;
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0 || fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK) != 0) {
        m_error = "cannot open " + m_slavePath + ": " + std::strerror(errno);
        closeMaster();
    }
}

PtyPair::~PtyPair() {
    closeMaster();
    if (m_slave >= 0) ::close(m_slave);
}

void PtyPair::closeMaster() {
    if (m_master >= 0) ::close(m_master);
    m_master = -1;
}

bool PtyPair::writeAll(std::string_view bytes, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!bytes.empty() && m_master >= 0) {
        const ssize_t r = ::write(m_master, bytes.data(), bytes.size());
        if (r > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(r));
        } else if (r < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else if (deadline.hasExpired()) {
            return false;
        } else {
            WaitFor(m_master, QSocketNotifier::Write);
        }
    }
    return bytes.empty();
}

std::string PtyPair::read(std::size_t n, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    std::string got;
    while (got.size() < n && m_master >= 0) {
        got += readAvailable(n - got.size());
        if (got.size() >= n || deadline.hasExpired()) break;
        WaitFor(m_master, QSocketNotifier::Read);
    }
    return got;
}

std::string PtyPair::readAvailable(std::size_t max) {
    std::string got;
    char buf[4096];
    while (got.size() < max && m_master >= 0) {
        const ssize_t r = ::read(m_master, buf, std::min(sizeof buf, max - got.size()));
        if (r <= 0) break;
        got.append(buf, static_cast<std::size_t>(r));
    }
    return got;
}

std::optional<SlaveTermios> PtyPair::slaveTermios() const {
    termios2 t{};
    if (m_master < 0 || ioctl(m_master, TCGETS2, &t) != 0) return std::nullopt;
    return SlaveTermios{t.c_iflag,  t.c_oflag,    t.c_cflag,     t.c_lflag,      t.c_ispeed,
                        t.c_ospeed, t.c_cc[VMIN], t.c_cc[VTIME], t.c_cc[VSTART], t.c_cc[VSTOP]};
}

PortLink::PortLink()
    : m_oldValue(qgetenv("WIRELOG_PORTS"))
    , m_hadValue(qEnvironmentVariableIsSet("WIRELOG_PORTS")) {
    qputenv("WIRELOG_PORTS", m_dir.path().toLocal8Bit());
}

PortLink::~PortLink() {
    if (m_hadValue)
        qputenv("WIRELOG_PORTS", m_oldValue);
    else
        qunsetenv("WIRELOG_PORTS");
}

bool PortLink::link(int com, const std::string& target) {
    const std::string entry = folder() + "/COM" + std::to_string(com);
    ::unlink(entry.c_str());
    return ::symlink(target.c_str(), entry.c_str()) == 0;
}

std::string PortLink::folder() const {
    return m_dir.path().toStdString();
}
