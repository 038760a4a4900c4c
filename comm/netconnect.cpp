#include "comm/netconnect.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace comm {

namespace {

std::atomic<NameLookup> g_lookup{nullptr};

// What the lookup thread and the waiting caller share; whoever lets go last frees it, so a
// lookup that outlives its wait writes into nothing that has gone.
struct Lookup {
    std::string host, service;
    std::atomic<bool> done{false};
    int rc = 0;
    int sysErr = 0; // errno of a system failure in the lookup
    addrinfo* result = nullptr;
    int wake[2] = {-1, -1};
    ~Lookup() {
        if (result) freeaddrinfo(result);
        for (int fd : wake)
            if (fd >= 0) ::close(fd);
    }
};

// Runs the event loop until `fd` is ready for `type` or the deadline passes; true when ready.
bool WaitFor(int fd, QSocketNotifier::Type type, const QDeadlineTimer& deadline) {
    QEventLoop loop;
    QSocketNotifier ready(fd, type);
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer); // a coarse one may end the wait 5% early
    bool fired = false;
    QObject::connect(&ready, &QSocketNotifier::activated, &loop, [&] {
        fired = true;
        loop.quit();
    });
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    const qint64 left = deadline.remainingTime();
    if (left <= 0) return false;
    timer.start(static_cast<int>(left));
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return fired;
}

// Starts a non-blocking connect to one address; the socket, or -1 with errno.
int StartConnect(const addrinfo& ai) {
    const int fd = ::socket(ai.ai_family, ai.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                            ai.ai_protocol);
    if (fd < 0) return -1;
    int r;
    do
        r = ::connect(fd, ai.ai_addr, ai.ai_addrlen);
    while (r < 0 && errno == EINTR);
    if (r == 0 || errno == EINPROGRESS) return fd;
    const int err = errno;
    ::close(fd);
    errno = err;
    return -1;
}

// Finishes the connect begun on `fd`: 0 when connected, else the errno.
int FinishConnect(int fd, const QDeadlineTimer& deadline) {
    if (!WaitFor(fd, QSocketNotifier::Write, deadline)) return ETIMEDOUT;
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0) return errno;
    return err;
}

ConnectResult Failed(int err, std::string why, bool noSuchHost = false) {
    ConnectResult r;
    r.err = err;
    r.why = std::move(why);
    r.noSuchHost = noSuchHost;
    return r;
}

} // namespace

void SetNameLookup(NameLookup lookup) {
    g_lookup = lookup;
}

ConnectResult ConnectWithin(const NetAddress& a, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    auto lookup = std::make_shared<Lookup>();
    lookup->host = a.host;
    lookup->service = std::to_string(a.port);
    if (::pipe2(lookup->wake, O_CLOEXEC | O_NONBLOCK) < 0) return Failed(errno, std::strerror(errno));
    const NameLookup lookupCall = g_lookup.load() ? g_lookup.load() : &getaddrinfo;
    std::thread([lookup, lookupCall] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV;
        lookup->rc = lookupCall(lookup->host.c_str(), lookup->service.c_str(), &hints,
                                 &lookup->result);
        lookup->sysErr = errno;
        lookup->done = true;
        const char one = 1;
        [[maybe_unused]] const ssize_t w = ::write(lookup->wake[1], &one, 1);
    }).detach();
    if (!lookup->done && !WaitFor(lookup->wake[0], QSocketNotifier::Read, deadline) &&
        !lookup->done)
        return Failed(ETIMEDOUT, "no answer within " + std::to_string(timeoutMs / 1000) +
                                     " seconds");
    if (lookup->rc != 0)
        return Failed(lookup->rc == EAI_SYSTEM ? lookup->sysErr : ENOENT, gai_strerror(lookup->rc),
                      lookup->rc != EAI_SYSTEM && lookup->rc != EAI_AGAIN);
    int lastErr = ECONNREFUSED;
    for (const addrinfo* ai = lookup->result; ai; ai = ai->ai_next) {
        const int fd = StartConnect(*ai);
        if (fd < 0) {
            lastErr = errno;
            continue;
        }
        lastErr = FinishConnect(fd, deadline);
        if (lastErr == 0) {
            const int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            ConnectResult r;
            r.fd = fd;
            return r;
        }
        ::close(fd);
        if (lastErr == ETIMEDOUT) break;
    }
    return Failed(lastErr, lastErr == ETIMEDOUT ? "no answer within " +
                                                      std::to_string(timeoutMs / 1000) +
                                                      " seconds"
                                                : std::string(std::strerror(lastErr)));
}

} // namespace comm
