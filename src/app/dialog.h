// The dialog procedure, the main loop and the operations the shell owns.
#pragma once

#include "app/window.h"

#include <cstdint>

int app_main(); // returns the process exit code
// The main loop over an existing window, until the close sequence has run;
// destroys the window and returns 0.
int run_main_loop();

bool dialog_proc(DialogMsg msg, uint32_t wparam);

// A device request is in progress (a serial transaction holds busy_flag; a
// network one only runs inside execute_command). Handlers that start device
// work, the kind selection and the close sequence wait while it is.
bool operation_running();

// Exit and the window's close box. While an operation runs the request is
// deferred: the window stays and closes when the operation has ended.
void close_sequence();
