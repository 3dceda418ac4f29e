// Stop signals and waits over poll. A signal writes a byte into a pipe that
// every wait watches too, so that one arriving just before a wait still
// ends it at once.
#include "cli/terminal.h"
#include "cli/terminal_platform.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <poll.h>
#include <unistd.h>

namespace {

int stop_pipe[2] = {-1, -1};
volatile sig_atomic_t stop_signal = 0;

void on_signal(int signal) {
    if (stop_signal == 0) stop_signal = signal;
    int saved = errno;
    if (stop_pipe[1] >= 0) (void)!write(stop_pipe[1], "", 1);
    errno = saved;
}

} // namespace

void terminal_platform_start() {
    if (pipe2(stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0) stop_pipe[0] = stop_pipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    // A reader of the output that went away (| head) neither kills the
    // program with the port still held nor stops it: writes fail quietly
    // and the run ends with the status it would have had.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, nullptr);
}

int terminal_platform_stop_signal() {
    return stop_signal;
}

void terminal_platform_wait(WaitHandle handle, uint32_t timeout_ms) {
    pollfd fds[2] = {{stop_pipe[0], POLLIN, 0}, {int(handle), POLLIN, 0}};
    nfds_t count = handle == no_wait_handle ? 1 : 2;
    int ms = timeout_ms == wait_forever ? -1
             : timeout_ms > 0x7FFFFFFFu ? 0x7FFFFFFF
                                        : int(timeout_ms);
    poll(fds, count, ms);
}

const char* terminal_signal_name(int signal) {
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    case SIGPIPE:
        return "SIGPIPE";
    default:
        return "a signal";
    }
}
