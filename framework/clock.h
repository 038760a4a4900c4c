#pragma once
// The clock of the program: calendar time in whole seconds. Tests put their own source in
// place so that they never wait through real seconds.

#include <cstdint>
#include <functional>

namespace fw {

std::int64_t Now();

// Replaces the source; an empty function restores the system clock.
void SetClockSource(std::function<std::int64_t()> source);

} // namespace fw
