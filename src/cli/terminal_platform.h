// What each platform gives the terminal window: terminal_posix.cpp and
// terminal_win32.cpp.
#pragma once

#include "base/window.h"

#include <cstdint>

// Installs the stop signals' handler; the console takes UTF-8.
void terminal_platform_start();
// 0, or the signal that asked the program to stop.
int terminal_platform_stop_signal();
// Returns when the handle is readable, a stop signal came, or timeout_ms
// passed.
void terminal_platform_wait(WaitHandle handle, uint32_t timeout_ms);
