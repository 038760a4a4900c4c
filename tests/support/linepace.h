#pragma once
// The pace of a serial line, for the relays of tests and benchmarks: at most `bytesPerSecond`
// bytes a second, and an idle line saves up no more than 100 ms of bytes (relays that run from
// a timer step unevenly), as a wire that sends one byte after another cannot catch up after a
// long pause. 0 bytes a second: no limit.

#include <algorithm>
#include <chrono>
#include <cstddef>

class LinePace {
public:
    explicit LinePace(double bytesPerSecond = 0)
        : m_rate(bytesPerSecond) {}

    // How many of `want` bytes may go now.
    std::size_t allowed(std::size_t want) {
        if (m_rate <= 0) return want;
        const Clock::time_point now = Clock::now();
        if (m_last != Clock::time_point{}) {
            const double idle = std::chrono::duration<double>(now - m_last).count();
            m_credit = std::min(m_credit + m_rate * idle, std::max(1.0, m_rate * kSavedSeconds));
        }
        m_last = now;
        return std::min(want, static_cast<std::size_t>(std::max(0.0, m_credit)));
    }
    // `n` bytes went.
    void used(std::size_t n) { m_credit -= static_cast<double>(n); }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr double kSavedSeconds = 0.1;
    double m_rate;
    double m_credit = 0;
    Clock::time_point m_last{};
};
