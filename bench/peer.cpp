#include "bench/peer.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {
namespace {

void MakeBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

void MakeNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

void WaitForGo(int fd) {
    char c;
    while (read(fd, &c, 1) < 0 && errno == EINTR) {
    }
    close(fd);
}

bool WriteAll(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

double Elapsed(const timespec& a, const timespec& b) {
    return static_cast<double>(b.tv_sec - a.tv_sec) + (b.tv_nsec - a.tv_nsec) * 1e-9;
}

// Forks; in the child runs `body` with the read end of the start pipe and the write end of
// the result pipe, then ends it without running anything of the parent's.
template <typename Body> Peer Fork(Body body) {
    int go[2], results[2];
    if (pipe2(go, O_CLOEXEC) != 0 || pipe2(results, O_CLOEXEC) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive the measurement
        close(go[1]);
        close(results[0]);
        body(go[0], results[1]);
        _exit(0);
    }
    close(go[0]);
    close(results[1]);
    Peer peer;
    peer.pid = pid;
    peer.go = go[1];
    peer.results = results[0];
    return peer;
}

} // namespace

void Peer::start() {
    const char c = 'g';
    (void)!write(go, &c, 1);
    close(go);
    go = -1;
}

bool Peer::finish(int timeoutMs) {
    if (pid < 0) return false;
    for (int waited = 0; waited < timeoutMs; waited += 5) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return true;
        }
        usleep(5000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
    return false;
}

bool Peer::readReport(SlowReport& report, int timeoutMs) {
    pollfd p{results, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return false;
    return read(results, &report, sizeof report) == static_cast<ssize_t>(sizeof report);
}

Peer ForkFlooder(int fd, Stream kind, std::uint64_t total) {
    return Fork([=](int go, int) {
        MakeBlocking(fd);
        WaitForGo(go);
        static char buf[1 << 16];
        for (std::uint64_t sent = 0; sent < total;) {
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buf, total - sent));
            FillStream(kind, sent, buf, n);
            if (!WriteAll(fd, buf, n)) return;
            sent += n;
        }
        // Stay until the reader has taken everything: closing the master would hang the line up.
        pause();
    });
}

Peer ForkSlowReader(int fd, std::uint64_t total, double bytesPerSecond, int timeoutMs) {
    return Fork([=](int go, int results) {
        MakeNonBlocking(fd);
        WaitForGo(go);
        SlowReport report;
        static char buf[1 << 16];
        timespec start{}, tick{}, first{}, last{};
        clock_gettime(CLOCK_MONOTONIC, &start);
        tick = start;
        double allowance = 0;
        double idleRun = 0;
        bool started = false;
        constexpr long kStepNs = 10'000'000;
        while (report.bytes < total) {
            tick.tv_nsec += kStepNs;
            if (tick.tv_nsec >= 1'000'000'000) {
                tick.tv_nsec -= 1'000'000'000;
                ++tick.tv_sec;
            }
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &tick, nullptr);
            if (Elapsed(start, tick) * 1000 > timeoutMs) break;
            allowance += bytesPerSecond * kStepNs * 1e-9;
            const auto want = static_cast<std::size_t>(
                std::min<double>(allowance, static_cast<double>(total - report.bytes)));
            std::size_t got = 0;
            while (got < want) {
                const ssize_t r = read(fd, buf, std::min(want - got, sizeof buf));
                if (r <= 0) break;
                got += static_cast<std::size_t>(r);
            }
            allowance -= static_cast<double>(got);
            if (got > 0) {
                if (!started) first = tick;
                started = true;
                last = tick;
                report.bytes += got;
                // An idle stretch counts once bytes come again; one at the very end (the
                // sender closed, its driver's queue discarded) does not.
                report.idleSeconds += idleRun;
                report.maxIdleSeconds = std::max(report.maxIdleSeconds, idleRun);
                idleRun = 0;
            }
            if (got < want) {
                // A line that had nothing to send loses that time: the allowance does not pile up.
                if (started) idleRun += allowance / bytesPerSecond;
                allowance -= static_cast<double>(static_cast<std::size_t>(allowance));
                if (started && idleRun > 1.0) break;
            }
        }
        report.seconds = started ? Elapsed(first, last) : 0;
        (void)!write(results, &report, sizeof report);
    });
}

double Seconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const auto s = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6;
    };
    return s(u.ru_utime) + s(u.ru_stime);
}

long PeakKb() {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "VmHWM:", 6) == 0) kb = std::strtol(line + 6, nullptr, 10);
    std::fclose(f);
    return kb;
}

} // namespace bench
