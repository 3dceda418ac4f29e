// A link's hold on its socket, and the waits for its input. Each link keeps
// a socket of its own, so that initialising or closing one link never pulls
// the socket from under another.
#pragma once

#include "net/ms_timer.h"
#include "net/net_link.h"
#include "net/socket.h"

#include <cstdint>

struct SocketSlot {
    SocketHandle socket = no_socket;
    bool initialised = false;
    bool busy = false; // a request, query or discovery is waiting on it
};

// Marks a slot busy for the life of one outer operation; ok is false when
// another operation already holds it (a click dispatched during a wait).
struct SlotUse {
    explicit SlotUse(SocketSlot& s) : slot(s), ok(!s.busy) { slot.busy = true; }
    ~SlotUse() {
        if (ok) slot.busy = false;
    }
    SlotUse(const SlotUse&) = delete;
    SlotUse& operator=(const SlotUse&) = delete;
    SocketSlot& slot;
    const bool ok;
};

// A link's init, logged with its prefix ("RMLX", "TCP", "UDP"): start-up,
// then a socket of the kind, either bound to port of every local address
// with broadcasts allowed (datagram) or connected to address:port (stream).
// Does nothing but log while the slot is initialised; closes it on failure.
Result init_slot(SocketSlot& slot, const char* prefix, SocketKind kind, uint32_t address,
                 uint16_t port);
void close_slot(SocketSlot& slot);

// Hands the processor back until the slot's socket is readable, a window
// event comes or the timer expires.
void wait_for_input(const SocketSlot& slot, const MsTimer& timer);

// Waits up to the timer for one accepted datagram: pumps window messages,
// polls receive, and hands the processor back while nothing came. *got is
// clear when the timer expired; a failure of receive is returned.
using ReceiveOne = Result (*)(NetLink& link, bool* received);
Result next_input(NetLink& link, MsTimer& timer, const SocketSlot& slot, ReceiveOne receive,
                  bool* got);
