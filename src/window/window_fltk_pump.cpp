// The FLTK window's pump and waits: what a waiting loop calls between its
// polls so that the window stays alive.
#include "window_fltk_private.h"

#include <FL/x.H>

#include <algorithm>
#include <poll.h>
#include <time.h>

using namespace fltk_window;

// FLTK cannot take a single event off the queue: this dispatches every
// pending event. Re-entry is guarded by the program's busy flags either way.
// A check costs three system calls (a select, and a flush of the X
// connection that reads it too); a waiting loop that comes by again within
// the same millisecond, with nothing to draw and no event read and waiting,
// finds nothing new for the window, so the check is left to its next round.
void pump_one_message() {
    static int64_t last_check_ms = -1;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    int64_t ms = int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    if (ms == last_check_ms && Fl::damage() == 0 &&
        (fl_display == nullptr || XQLength(fl_display) == 0))
        return;
    last_check_ms = ms;
    Fl::check();
}

namespace {
void on_readable(FL_SOCKET, void*) {}
} // namespace

void ui_wait(WaitHandle handle, uint32_t timeout_ms) {
    // A wait for input while nothing is to be drawn: Fl::wait would flush
    // the X connection (reading it too) and then select, some 2 us a wait,
    // as much as the read of a reply. A poll of the input and the X
    // connection, after sending what is buffered for the server, waits the
    // same; what the server sends is handled at once. FLTK's timers run in
    // the caller's next check, so the wait lasts 50 ms at the most (as often
    // as a held scroll arrow repeats).
    if (handle != no_wait_handle && fl_display != nullptr && Fl::damage() == 0) {
        if (NextRequest(fl_display) != ui.flushed_request) {
            XFlush(fl_display);
            ui.flushed_request = NextRequest(fl_display);
        }
        if (XQLength(fl_display) == 0) {
            pollfd fds[2] = {{int(handle), POLLIN, 0}, {ConnectionNumber(fl_display), POLLIN, 0}};
            poll(fds, 2, int(std::min<uint32_t>(timeout_ms, 50)));
            if ((fds[1].revents & POLLIN) == 0) return;
        }
        Fl::check();
        return;
    }
    // Fl::wait returns after window events have been handled, when the
    // handle turns readable or when the time is up.
    bool watch = handle != no_wait_handle;
    if (watch) Fl::add_fd(int(handle), FL_READ, on_readable);
    if (timeout_ms == wait_forever)
        Fl::wait();
    else
        Fl::wait(timeout_ms / 1000.0);
    if (watch) Fl::remove_fd(int(handle), FL_READ);
}
