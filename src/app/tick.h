// The system millisecond tick (GetTickCount on Windows). Wraps after 2^32 ms;
// compare ticks only through unsigned differences.
#pragma once

#include <cstdint>

uint32_t tick_ms();

// The operating system's tick; tick_ms() returns it unless a tick source
// was installed (tests drive time with one so that time-outs run fast).
uint32_t platform_tick_ms();
using TickSource = uint32_t (*)();
void set_tick_source(TickSource source); // nullptr restores the system tick
