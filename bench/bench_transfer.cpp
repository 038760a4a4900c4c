// File transfer over pseudo-terminal pairs with lrzsz at the far end.
//   1. Unpaced: MB/s of each protocol and direction, beside lrzsz talking to itself over the
//      same kind of pair (two pairs joined by a plain relay).
//   2. Paced at 115,200 baud (11,520 bytes a second, both directions): the share of the line
//      rate that YMODEM-1K and ZMODEM use; the targets are 90 % and 95 %.
// WIRELOG_BENCH_TRANSFER_KB (unpaced file, default 1024) and WIRELOG_BENCH_PACED_KB (default
// 64) change the sizes.

#include "tests/support/linepace.h"
#include "tests/support/lrzszpeer.h"
#include "tests/support/ptypair.h"
#include "transfer/protocol/receiver.h"
#include "transfer/protocol/sender.h"
#include "transfer/zmodemprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <random>
#include <unistd.h>

namespace {

constexpr double kLineRate = 11520;

std::size_t Kb(const char* var, std::size_t fallback) {
    const char* v = std::getenv(var);
    return (v && std::atol(v) > 0 ? std::size_t(std::atol(v)) : fallback) * 1024;
}

std::string Random(std::size_t n) {
    std::mt19937 rng(42);
    std::string s(n, '\0');
    for (char& c : s)
        c = char(rng());
    return s;
}

void Write(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
}

std::size_t FileSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return in ? std::size_t(in.tellg()) : 0;
}

// Seconds one of our block engines takes against lrzsz, or NaN when the file is not right.
// `afterFirst`, when given, gets the seconds from the peer's first byte on (a receiver's
// first request: lrzsz waits about a second before it asks).
double Block(bool batch, bool sending, const std::string& data, double pace, double* afterFirst = nullptr) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    PtyPair pty;
    LrzszPeer peer;
    Line line;
    line.bytesPerSecond = pace;
    // rx and rb empty their input right after each answer: a block that reaches them sooner
    // than a real line could bring it is cut (see tst_lrzsz).
    if (sending) line.turnaroundMs = 3;
    line.timeoutMs = 120000 + (pace > 0 ? int(2000 * double(data.size()) / pace) : 0);
    LineRun run;
    if (sending) {
        peer.start(pty.slavePath(), folder, batch ? std::vector<std::string>{"rb"}
                                                  : std::vector<std::string>{"rx", "-c", "f"});
        protocol::Sender s({batch, true}, {{{"f", data.size(), 0},
                                             [&](std::uint64_t at, std::size_t n, std::string& o) {
                                                 o = data.substr(std::size_t(at), n);
                                                 return true;
                                             }}},
                           0);
        run = RunLine(pty.master(), CallsOf(s), line, peer);
        peer.wait(5000);
        const bool ok = FileSize(folder + "/f") >= data.size();
        const double seconds = run.peerSeconds > 0 ? run.peerSeconds : run.seconds;
        if (afterFirst) *afterFirst = ok ? seconds - run.firstHeard : NAN;
        return ok ? seconds : NAN;
    }
    Write(folder + "/f", data);
    peer.start(pty.slavePath(), folder, batch ? std::vector<std::string>{"sb", "f"}
                                              : std::vector<std::string>{"sx", "-k", "f"});
    protocol::Receiver r({batch, true}, 0);
    EngineCalls calls = CallsOf(r);
    calls.start = [&r] { return r.start(0); };
    run = RunLine(pty.master(), calls, line, peer);
    peer.wait(5000);
    const bool ok = run.end == "done" && !run.files.empty() &&
                    run.files[0].second.compare(0, data.size(), data) == 0;
    return ok ? run.seconds : NAN;
}

// Bytes between two fds, both ways, paced when `pace` > 0, until both children are done.
double Zmodem(bool sending, const std::string& data, double pace) {
    QTemporaryDir peerDir, ourDir;
    PtyPair pty;
    LrzszPeer peer;
    const std::string ours = ourDir.filePath("f").toStdString();
    QByteArray toPeer;
    transfer::ZmodemProcess z([&toPeer](const QByteArray& b) { toPeer += b; });
    bool done = false, ok = false;
    QObject::connect(&z, &transfer::ZmodemProcess::finished, [&](bool good, const QString&) {
        done = true;
        ok = good;
    });
    std::string received;
    if (sending) {
        Write(ours, data);
        peer.start(pty.slavePath(), peerDir.path().toStdString(), {"rz", "-b"});
        z.startSend({QString::fromStdString(ours)});
    } else {
        Write(peerDir.filePath("f").toStdString(), data);
        peer.start(pty.slavePath(), peerDir.path().toStdString(), {"sz", "-b", "f"});
        z.startReceive([&](const QString& path, const QString&) {
            received.resize(FileSize(path.toStdString()));
        });
    }
    QElapsedTimer clock;
    clock.start();
    LinePace outPace(pace), inPace(pace);
    qint64 lastOver = 0;
    char buf[8192];
    const qint64 limitMs = 120000 + (pace > 0 ? qint64(2000 * double(data.size()) / pace) : 0);
    while ((!done || peer.running()) && clock.elapsed() < limitMs) {
        // sz's closing "OO" is lost on the pty when it exits (see tst_zmodem).
        if (!sending && !peer.running() && z.running() && clock.elapsed() > lastOver + 500) {
            lastOver = clock.elapsed();
            z.receive("OO");
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        if (const std::size_t may = outPace.allowed(std::size_t(toPeer.size()))) {
            const ssize_t n = ::write(pty.master(), toPeer.constData(), may);
            if (n > 0) {
                toPeer.remove(0, int(n));
                outPace.used(std::size_t(n));
            }
        }
        if (const std::size_t may = inPace.allowed(sizeof buf)) {
            const ssize_t n = ::read(pty.master(), buf, may);
            if (n > 0) {
                inPace.used(std::size_t(n));
                z.receive(QByteArray(buf, int(n)));
            }
        }
        pollfd p{pty.master(), POLLIN, 0};
        poll(&p, 1, 1);
    }
    const double seconds = clock.elapsed() / 1000.0;
    if (!ok) return NAN;
    if (sending) return FileSize(peerDir.filePath("f").toStdString()) == data.size() ? seconds : NAN;
    return received.size() == data.size() ? seconds : NAN;
}

// lrzsz on both ends: two pty pairs joined by a relay.
double LrzszPair(const std::vector<std::string>& send, const std::vector<std::string>& recv,
                 const std::string& data) {
    QTemporaryDir a, b;
    Write(a.filePath("f").toStdString(), data);
    PtyPair p1, p2;
    LrzszPeer s, r;
    s.start(p1.slavePath(), a.path().toStdString(), send);
    r.start(p2.slavePath(), b.path().toStdString(), recv);
    QElapsedTimer clock;
    clock.start();
    char buf[16384];
    while ((s.running() || r.running()) && clock.elapsed() < 60000) {
        pollfd p[2] = {{p1.master(), POLLIN, 0}, {p2.master(), POLLIN, 0}};
        poll(p, 2, 20);
        for (int i = 0; i < 2; ++i) {
            const ssize_t n = ::read(p[i].fd, buf, sizeof buf);
            if (n > 0 && ::write(p[1 - i].fd, buf, std::size_t(n)) < 0) break;
        }
    }
    // The receiver has the file when it exits; its sender may wait on in vain.
    const double seconds = clock.elapsed() / 1000.0;
    return FileSize(b.filePath("f").toStdString()) >= data.size() ? seconds : NAN;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::string big = Random(Kb("WIRELOG_BENCH_TRANSFER_KB", 1024));
    const std::string paced = Random(Kb("WIRELOG_BENCH_PACED_KB", 64));
    const double mb = double(big.size()) / (1 << 20);
    std::printf("%-34s %12s %12s\n", "unpaced over a pty (MB/s)", "wirelog", "lrzsz-lrzsz");
    struct Row { const char* what; double ours; double base; };
    const Row rows[] = {
        {"XMODEM-1K send", mb / Block(false, true, big, 0), mb / LrzszPair({"sx", "-k", "f"}, {"rx", "-c", "f"}, big)},
        {"XMODEM-1K receive", mb / Block(false, false, big, 0), NAN},
        {"YMODEM-1K send", mb / Block(true, true, big, 0), mb / LrzszPair({"sb", "f"}, {"rb"}, big)},
        {"YMODEM-1K receive", mb / Block(true, false, big, 0), NAN},
        {"ZMODEM send", mb / Zmodem(true, big, 0), mb / LrzszPair({"sz", "-b", "f"}, {"rz", "-b"}, big)},
        {"ZMODEM receive", mb / Zmodem(false, big, 0), NAN},
    };
    for (const Row& r : rows)
        std::printf("%-34s %12.3f %12.3f\n", r.what, r.ours, r.base);
    std::printf("(the lrzsz pair is one run per protocol; receive rows share it)\n\n");

    const double kb = double(paced.size());
    std::printf("%-34s %12s %8s\n", "paced at 11,520 bytes/s", "share", "target");
    double asked = NAN;
    const double sent = Block(true, true, paced, kLineRate, &asked);
    const Row share[] = {
        {"YMODEM-1K send", kb / sent / kLineRate, 0.90},
        {"  the same from rb's first request", kb / asked / kLineRate, 0.90},
        {"YMODEM-1K receive", kb / Block(true, false, paced, kLineRate) / kLineRate, 0.90},
        {"ZMODEM send", kb / Zmodem(true, paced, kLineRate) / kLineRate, 0.95},
        {"ZMODEM receive", kb / Zmodem(false, paced, kLineRate) / kLineRate, 0.95},
    };
    for (const Row& r : share)
        std::printf("%-34s %11.1f%% %7.0f%%\n", r.what, r.ours * 100, r.base * 100);
    return 0;
}
