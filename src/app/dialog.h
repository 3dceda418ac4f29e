// The dialog procedure, the main loop and the operations the shell owns.
#pragma once

#include "base/window.h"

#include <cstdint>

int app_main(); // returns the process exit code
// The main loop over an existing window, until the close sequence has run;
// destroys the window and returns 0.
int run_main_loop();

bool dialog_proc(DialogMsg msg, uint32_t wparam);

// Exit and the window's close box. While an operation runs the request is
// deferred: the window stays and closes when the operation has ended.
void close_sequence();
