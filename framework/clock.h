#pragma once
// The clock of the program: calendar time in whole seconds, and wall-clock time in
// milliseconds for time stamps. Tests put their own sources in place so that they never wait
// through real seconds.

#include <cstdint>
#include <functional>
#include <string>

namespace fw {

std::int64_t Now();

// Replaces the source; an empty function restores the system clock.
void SetClockSource(std::function<std::int64_t()> source);

// Milliseconds since the epoch as the wall clock says: it may step backwards when the system
// time is set, so use it for stamps, never to measure intervals.
std::int64_t NowMs();

// Replaces the millisecond source; an empty function restores the system clock.
void SetMsClockSource(std::function<std::int64_t()> source);

// Local time of `ms` (milliseconds since the epoch): "HH:MM:SS.mmm", and with the date in
// front, "YYYY-MM-DD HH:MM:SS.mmm".
std::string FormatTimeOfDay(std::int64_t ms);
std::string FormatDateTime(std::int64_t ms);

} // namespace fw
