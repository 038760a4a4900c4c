#include "framework/clock.h"

#include <ctime>

namespace fw {
namespace {
std::function<std::int64_t()> g_source;
}

std::int64_t Now() {
    return g_source ? g_source() : static_cast<std::int64_t>(std::time(nullptr));
}

void SetClockSource(std::function<std::int64_t()> source) {
    g_source = std::move(source);
}

} // namespace fw
