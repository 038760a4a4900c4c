#include "framework/clock.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace fw {
namespace {
std::function<std::int64_t()> g_source;
std::function<std::int64_t()> g_msSource;

std::string Format(std::int64_t ms, bool withDate) {
    // Floor division, so that times before the epoch still show their milliseconds right.
    std::int64_t seconds = ms / 1000;
    std::int64_t millis = ms % 1000;
    if (millis < 0) {
        millis += 1000;
        --seconds;
    }
    const auto t = static_cast<std::time_t>(seconds);
    std::tm local{};
    localtime_r(&t, &local);
    char text[48];
    if (withDate)
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d",
                      local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min, local.tm_sec, static_cast<int>(millis));
    else
        std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                      local.tm_sec, static_cast<int>(millis));
    return text;
}

} // namespace

std::int64_t Now() {
    return g_source ? g_source() : static_cast<std::int64_t>(std::time(nullptr));
}

void SetClockSource(std::function<std::int64_t()> source) {
    g_source = std::move(source);
}

std::int64_t NowMs() {
    if (g_msSource) return g_msSource();
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void SetMsClockSource(std::function<std::int64_t()> source) {
    g_msSource = std::move(source);
}

std::string FormatTimeOfDay(std::int64_t ms) {
    return Format(ms, false);
}

std::string FormatDateTime(std::int64_t ms) {
    return Format(ms, true);
}

} // namespace fw
