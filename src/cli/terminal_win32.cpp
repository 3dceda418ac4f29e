// Stop requests and waits on Windows. The console's control handler runs on
// a thread of its own: it sets an event that every wait watches too, and
// the program's thread does the rest.
#include "cli/terminal.h"
#include "cli/terminal_platform.h"

#include <csignal>
#include <cstdlib>
#include <windows.h>

namespace {

HANDLE stop_event = nullptr;
volatile LONG stop_signal = 0;
UINT console_code_page = 0;

BOOL WINAPI on_console_event(DWORD event) {
    LONG signal = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? SIGINT : SIGTERM;
    InterlockedCompareExchange(&stop_signal, signal, 0);
    if (stop_event != nullptr) SetEvent(stop_event);
    // The system ends the process when a close, logoff or shutdown handler
    // returns: the program's thread gets this long to close the link.
    if (signal == SIGTERM) Sleep(5000);
    return TRUE;
}

void restore_code_page() {
    SetConsoleOutputCP(console_code_page);
}

} // namespace

void terminal_platform_start() {
    stop_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(on_console_event, TRUE);
    console_code_page = GetConsoleOutputCP();
    // The lines are written as UTF-8, as on Linux; the console's own code
    // page comes back at exit.
    if (console_code_page != 0 && SetConsoleOutputCP(CP_UTF8)) atexit(restore_code_page);
}

int terminal_platform_stop_signal() {
    return int(stop_signal);
}

void terminal_platform_wait(WaitHandle handle, uint32_t timeout_ms) {
    HANDLE objects[2] = {stop_event, reinterpret_cast<HANDLE>(handle)};
    DWORD count = handle == no_wait_handle ? 1 : 2;
    if (stop_event == nullptr) {
        objects[0] = objects[1];
        --count;
    }
    if (count == 0)
        Sleep(timeout_ms);
    else
        WaitForMultipleObjects(count, objects, FALSE, timeout_ms);
}

const char* terminal_signal_name(int signal) {
    return signal == SIGINT ? "Ctrl+C" : "the console's close";
}
