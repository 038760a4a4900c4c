// A port on another machine, measured: a 10 MB flood from a pseudo-terminal through ser2net on
// 127.0.0.1 (its COM Port Control port) into the serial control, beside a plain socket reader
// of the same ser2net port in the same run. WIRELOG_BENCH_MB changes the flood's size.

#include "bench/peer.h"
#include "bench/stream.h"
#include "comm/serialcontrol.h"
#include "tests/support/ptypair.h"
#include "tests/support/ser2net.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace bench;

struct Result {
    double seconds = 0;
    std::uint64_t bytes = 0, wrong = 0;
};

// Until `done` holds or `ms` pass, running the event loop.
template <typename Done>
bool Wait(Done done, int ms) {
    QEventLoop loop;
    QTimer check, deadline;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    check.start(1);
    deadline.start(ms);
    if (!done()) loop.exec();
    return done();
}

// Waits until `marker` has come through the far end: then ser2net holds the pty.
bool ReachesPty(PtyPair& pty, const std::string& marker) {
    return pty.read(marker.size(), 5000) == marker;
}

// The flooder made the master blocking (the descriptor is shared): not any longer.
void EndFlood(Peer& flood, PtyPair& pty) {
    flood.finish(5000);
    ::fcntl(pty.master(), F_SETFL, ::fcntl(pty.master(), F_GETFL) | O_NONBLOCK);
}

Result PlainReader(PtyPair& pty, int port, std::uint64_t total) {
    Result r;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::send(fd, "x", 1, 0) != 1 || !ReachesPty(pty, "x")) {
        ::close(fd);
        return r;
    }
    char buf[65536];
    while (::recv(fd, buf, sizeof buf, MSG_DONTWAIT) > 0) {
    } // the server's negotiation
    Peer flood = ForkFlooder(pty.master(), Stream::Text, total);
    const double t0 = Seconds();
    flood.start();
    while (r.bytes < total) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) != 1) break; // the flood has stalled
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        r.bytes += static_cast<std::uint64_t>(n);
    }
    r.seconds = Seconds() - t0;
    EndFlood(flood, pty);
    ::close(fd);
    return r;
}

Result Control(PtyPair& pty, std::uint64_t total) {
    Result r;
    comm::SerialControl c;
    c.setRThreshold(1);
    std::string part;
    char expected[4096];
    c.setEventSink([&] {
        c.input(part);
        for (std::size_t i = 0; i < part.size(); i += sizeof expected) {
            const std::size_t n = std::min(part.size() - i, sizeof expected);
            FillStream(Stream::Text, r.bytes + i, expected, n);
            for (std::size_t k = 0; k < n; ++k)
                r.wrong += expected[k] != part[i + k];
        }
        r.bytes += part.size();
    });
    const comm::Status opened = c.setCommPort(40).ok() ? c.setPortOpen(true) : comm::Status{};
    if (!opened.ok() || !c.output("y").ok() ||
        pty.read(1, 5000) != "y") {
        std::fprintf(stderr, "the control did not reach the pty: %s\n", opened.description.c_str());
        return r;
    }
    Peer flood = ForkFlooder(pty.master(), Stream::Text, total);
    const double t0 = Seconds();
    flood.start();
    Wait([&] { return r.bytes >= total; }, 120000);
    r.seconds = Seconds() - t0;
    EndFlood(flood, pty);
    return r;
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_NO_GLIB", "1", 1);
    QCoreApplication app(argc, argv);
    const char* mbText = std::getenv("WIRELOG_BENCH_MB");
    const std::uint64_t total = (mbText ? std::strtoull(mbText, nullptr, 10) : 10) << 20;
    if (!Ser2net::installed()) {
        std::printf("ser2net is not installed: no network figures\n");
        return 0;
    }
    PtyPair pty;
    Ser2net server(pty.slavePath());
    PortLink map;
    if (!pty.isOpen() || !server.start() || !map.link(40, server.rfc2217Address())) {
        std::fprintf(stderr, "cannot start ser2net: %s\n", server.error().c_str());
        return 1;
    }
    const Result plain = PlainReader(pty, server.rfc2217Port(), total);
    const Result wirelog = Control(pty, total);
    const double mb = static_cast<double>(total) / (1 << 20);
    const double ours = static_cast<double>(wirelog.bytes) / (1 << 20) / wirelog.seconds;
    const double base = static_cast<double>(plain.bytes) / (1 << 20) / plain.seconds;
    const bool whole = wirelog.bytes == total && wirelog.wrong == 0;
    std::printf("Wirelog network benchmark: a %.0f MB flood, pty -> ser2net (RFC 2217) -> reader\n", mb);
    std::printf("\n%-44s %12s %12s %9s\n", "measurement", "wirelog", "baseline", "ratio");
    std::printf("%s\n", std::string(44 + 1 + 12 + 1 + 12 + 1 + 9, '-').c_str());
    std::printf("%-44s %12.4g %12.4g %9.3g  %s\n", "receive through ser2net (MB/s)", ours, base,
                ours / base,
                whole ? (ours / base >= 0.5 ? "all received, target >= 0.5 met"
                                            : "all received, BELOW the 0.5 target")
                      : "LOST OR WRONG BYTES");
    return whole ? 0 : 1;
}
