// The system millisecond tick (GetTickCount on Windows). Wraps after 2^32 ms;
// compare ticks only through unsigned differences.
#pragma once

#include <cstdint>

uint32_t tick_ms();

// Microseconds of a monotonic clock, to time requests with (waits keep to
// tick_ms). With a tick source installed, its milliseconds in microseconds.
uint64_t tick_us();
uint64_t platform_tick_us();

// The operating system's tick; tick_ms() returns it unless a tick source
// was installed (tests drive time with one so that time-outs run fast).
uint32_t platform_tick_ms();
using TickSource = uint32_t (*)();
void set_tick_source(TickSource source); // nullptr restores the system tick
