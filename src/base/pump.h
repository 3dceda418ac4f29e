// What a wait needs from the window: the links wait for the device by
// dispatching window messages while they poll, and know the window by this
// header alone.
#pragma once

#include <cstdint>

// Dispatches at most one waiting window message; never blocks. (FLTK cannot
// dispatch a single event, so there it dispatches all pending ones; the
// busy flags guard re-entry either way.)
void pump_one_message();

// Hands the processor back until a window event is pending, the handle is
// readable (no_wait_handle: none), or timeout_ms passes. Window events may
// be dispatched while waiting. Waiting loops call it between their polls so
// that they do not burn a core.
using WaitHandle = intptr_t;
constexpr WaitHandle no_wait_handle = -1;
void ui_wait(WaitHandle handle, uint32_t timeout_ms);
constexpr uint32_t wait_forever = 0xFFFFFFFFu;
