#include "net/socket_slot.h"

#include "base/log.h"
#include "base/pump.h"
#include "net/socket_errors.h"

#include <cstdio>

void wait_for_input(const SocketSlot& slot, const MsTimer& timer) {
    uint32_t remaining = timer_remaining(timer);
    if (slot.socket == no_socket) return ui_wait(no_wait_handle, remaining);
    // Without a handle to watch, look again every millisecond.
    WaitHandle handle = net_wait_handle(slot.socket);
    ui_wait(handle, handle == no_wait_handle && remaining > 1 ? 1 : remaining);
}

Result next_input(NetLink& link, MsTimer& timer, const SocketSlot& slot, ReceiveOne receive,
                  bool* got) {
    *got = false;
    // The wait comes first: a caller comes here after sending, when the
    // answer cannot be there yet, and a wait returns at once for what is.
    while (!timer_expired(&timer)) {
        wait_for_input(slot, timer);
        pump_one_message();
        if (receive(link, got) != result_ok) return net_socket_failure;
        if (*got) return result_ok;
    }
    return result_ok;
}

Result init_slot(SocketSlot& slot, const char* prefix, SocketKind kind, uint32_t address,
                 uint16_t port) {
    if (slot.initialised) {
        log_printf("%s: already initialized", prefix);
        return result_ok;
    }
    int rc = net_startup();
    if (rc != 0) {
        log_printf("%s: winsock init failed: %s", prefix, winsock_error_name(rc));
        close_slot(slot);
        return net_socket_failure;
    }
    char message[40];
    slot.socket = net_open(kind);
    if (slot.socket == no_socket) {
        snprintf(message, sizeof message, "%s: failed opening socket", prefix);
        report_socket_error(message, address, port);
        close_slot(slot);
        return net_socket_failure;
    }
    bool datagram = kind == SocketKind::datagram;
    if (datagram ? !net_bind(slot.socket, 0, port) : !net_connect(slot.socket, address, port)) {
        snprintf(message, sizeof message, "%s: failed binding socket", prefix);
        // A datagram socket binds this machine's port; a stream connects to
        // the device's.
        report_socket_error(message, datagram ? 0 : address, port);
        close_slot(slot);
        return net_socket_failure;
    }
    if (datagram) net_enable_broadcast(slot.socket);
    log_printf("%s: protocol init ok", prefix);
    slot.initialised = true;
    return result_ok;
}

void close_slot(SocketSlot& slot) {
    net_close(slot.socket);
    slot.socket = no_socket;
    slot.initialised = false;
}
