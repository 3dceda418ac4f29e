// The wait every datagram link runs: passes of a time window, each one
// sending, then pumping window messages and taking frames until one ends the
// wait or the window closes.
#pragma once

#include "base/log.h"
#include "base/results.h"
#include "net/ms_timer.h"
#include "net/net_link.h"
#include "net/socket_slot.h"

#include <cstdint>

// What a frame taken during a pass does to the wait.
enum class Heard {
    ignored,        // wait on for the rest of the window
    resend,         // end the pass now and send again; this pass does not count
    answered,       // the wait is over: result_ok
    refused,        // the wait is over: net_protocol_failure
    socket_failure, // an answer to the frame could not be sent: net_socket_failure
};

struct Passes {
    int count;          // windows that may close with nothing ending the wait
    uint32_t window_ms; // each window's length, from its send
};

// The NAK resends and resynchronisations one request may take: a device that
// answers nothing else must not keep the request going for ever.
struct Restarts {
    int taken = 0;
    static constexpr int limit = 10;

    // Another pass for a restart the device asked for; past the limit the
    // request is refused, after giving_up is logged and failed() has run.
    template <typename Failed> Heard again(const char* giving_up, Failed failed) {
        if (++taken <= limit) return Heard::resend;
        log_printf("%s", giving_up);
        failed();
        return Heard::refused;
    }
};

struct PassesEnd {
    Result result;
    bool ran_out; // every window closed with nothing ending the wait
};

// Runs the passes over the slot's socket: send() starts each pass (a result
// other than result_ok ends the wait with it), heard() judges each frame
// receive() takes, and closed() follows each window that closed.
template <typename Send, typename OnFrame, typename OnClosed>
PassesEnd run_passes(NetLink& link, const SocketSlot& slot, ReceiveOne receive, Passes passes,
                     Send send, OnFrame heard, OnClosed closed) {
    int windows_closed = 0;
    while (windows_closed < passes.count) {
        if (Result r = send(); r != result_ok) return {r, false};
        MsTimer window;
        timer_start(&window, passes.window_ms);
        Heard verdict = Heard::ignored;
        while (verdict == Heard::ignored) {
            bool got;
            if (next_input(link, window, slot, receive, &got) != result_ok)
                return {net_socket_failure, false};
            if (!got) break;
            verdict = heard();
        }
        switch (verdict) {
        case Heard::ignored:
            ++windows_closed;
            closed();
            break;
        case Heard::resend:
            break;
        case Heard::answered:
            return {result_ok, false};
        case Heard::refused:
            return {net_protocol_failure, false};
        case Heard::socket_failure:
            return {net_socket_failure, false};
        }
    }
    return {net_protocol_failure, true};
}
