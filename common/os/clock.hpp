// Clocks, in nanoseconds.
#pragma once

#include <cstdint>

namespace os {

// A monotonic clock read as cheaply as the platform allows, at the resolution of its tick
// (a few milliseconds at most): for windows of tens of milliseconds on hot paths. Darwin's
// approximate uptime clock (CLOCK_UPTIME_RAW_APPROX), Linux's CLOCK_MONOTONIC_COARSE.
std::int64_t coarseMonotonicNanoseconds() noexcept;

// A precise monotonic clock that stands still while the device sleeps, as dispatch_after's
// default clock does: a time measured on it is never more than the same time measured on a
// clock that also counts sleep. Darwin's CLOCK_UPTIME_RAW, Linux's CLOCK_MONOTONIC. For
// deadlines of seconds, off the hot paths.
std::int64_t monotonicNanoseconds() noexcept;

// The wall clock (what file times are measured on), since 1970.
std::int64_t wallClockNanoseconds() noexcept;

}  // namespace os
