// A tick source that tests drive, so that time-out paths run in moments.
// While installed, each ui_wait polls its handle for at most a short real
// slice; when nothing arrives in that slice, the fake tick jumps by the
// whole time the wait asked for.
#pragma once

#include "base/window.h"

#include <cstdint>

namespace fake_clock {

void install(uint32_t start_tick = 1000, uint32_t real_slice_ms = 200);
void uninstall(); // back to the system tick and the default wait
uint32_t now();
void advance(uint32_t ms);
// Number of waits that jumped the clock since install (time-outs taken).
unsigned jumps();

// The wall clock of the log entries: it reads local_ms until set otherwise.
void install_wall(int64_t local_ms);
void set_wall(int64_t local_ms);
void uninstall_wall(); // back to the system clock

} // namespace fake_clock
