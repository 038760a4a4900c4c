#pragma once
// The far end of the line, run in a forked child so that its work is not counted as the
// program's: it waits for the start signal, then floods the pseudo-terminal's master or
// reads it at the pace of a slow line. Only system calls after the fork; results go back
// through a pipe.

#include "bench/stream.h"

#include <cstdint>
#include <sys/types.h>

namespace bench {

// What a slow reader saw: the line idles whenever the reader could have taken a byte and
// none was there (counted between the first and the last byte only).
struct SlowReport {
    std::uint64_t bytes = 0;
    double idleSeconds = 0;    // all idle time together
    double maxIdleSeconds = 0; // the longest idle stretch
    double seconds = 0;        // first byte to last byte
};

struct Peer {
    pid_t pid = -1;
    int go = -1;      // write one byte to start
    int results = -1; // SlowReport comes here (slow reader only)

    void start();
    // Waits for the child to end (at most `timeoutMs`; killed after that). False if killed.
    bool finish(int timeoutMs);
    bool readReport(SlowReport& report, int timeoutMs);
};

// Forks a child that writes `total` bytes of `kind` to `fd` (made blocking) as fast as the
// kernel takes them.
Peer ForkFlooder(int fd, Stream kind, std::uint64_t total);

// Forks a child that reads `total` bytes from `fd` at `bytesPerSecond`, in 10 ms steps.
Peer ForkSlowReader(int fd, std::uint64_t total, double bytesPerSecond, int timeoutMs);

// Seconds on a monotonic clock, and the CPU seconds of this process (all threads).
double Seconds();
double CpuSeconds();
// Peak resident memory of this process in kB (VmHWM), 0 when unknown.
long PeakKb();

} // namespace bench
