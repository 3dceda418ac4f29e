// The TCP link: the bare request text on one connection to the device's port
// 9101, and whatever text comes back within 5000 ms as the reply.
#include "net/tcp.h"

#include "base/ipv4_text.h"
#include "base/log.h"
#include "base/pump.h"
#include "net/datagram_checks.h"
#include "net/net_trace.h"
#include "net/socket_errors.h"
#include "net/socket_slot.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t reply_wait_ms = 5000;

SocketSlot slot;
uint32_t connected_address = 0;
// The device closed or reset the connection: the request in progress fails,
// and the next one connects again first.
bool connection_lost = false;

// A send or receive that failed because the device dropped the connection.
bool dropped_by_device(int code) {
    return code == 10054 || code == 10053 || code == 10058; // reset, aborted, shut down
}

void device_closed() {
    log_printf("TCP: the device closed the connection");
    connection_lost = true;
}

Result init_socket(uint32_t address) {
    // The device is the address the operator typed. A reverse lookup would
    // wait for a name server (seconds on a bench network without one) and
    // could lead to another address of the same name.
    bool fresh = !slot.initialised;
    Result r = init_slot(slot, "TCP", SocketKind::stream, address, tcp_port);
    if (fresh && r == result_ok) connected_address = address;
    return r;
}

Result send_text(const char* data, size_t length) {
    if (slot.socket == no_socket) {
        log_printf("TCP: not initialized");
        return net_socket_failure;
    }
    if (net_send(slot.socket, data, length) != long(length)) {
        report_socket_error("TCP: send failed", connected_address, tcp_port);
        if (dropped_by_device(net_last_error())) device_closed();
        return net_socket_failure;
    }
    return result_ok;
}

Result receive_text(NetLink& link, bool* received) {
    *received = false;
    if (slot.socket == no_socket) {
        log_printf("TCP: not initialized");
        return net_socket_failure;
    }
    int ready = net_input_ready(slot.socket);
    if (ready < 0) {
        report_socket_error("TCP: ioctl failed", connected_address, tcp_port);
        return net_socket_failure;
    }
    if (ready == 0) return result_ok;
    // What does not fit stays pending for the next call.
    long n = net_receive(slot.socket, link.received.bytes, received_text_max);
    if (n < 0) {
        report_socket_error("TCP: receive failed", connected_address, tcp_port);
        if (dropped_by_device(net_last_error())) device_closed();
        return net_socket_failure;
    }
    if (n == 0) {
        // Readable with nothing to read: the device has closed the connection,
        // and no reply can come on it any more.
        device_closed();
        return net_socket_failure;
    }
    link.received.length = uint16_t(n);
    link.received.bytes[n] = 0;
    *received = true;
    return result_ok;
}

// Before a request on a connection the device dropped: the same address
// again, as Connect opened it.
Result connect_again() {
    close_slot(slot);
    if (Result r = init_socket(connected_address); r != result_ok) return r;
    connection_lost = false;
    log_printf("TCP: connected again to %s", dotted(connected_address));
    return result_ok;
}

// What the connection holds before a request is written came after an
// earlier request's time-out: read as this request's reply, it would answer
// the wrong request.
Result drop_late_bytes(NetLink& link) {
    char kept[dropped_bytes_kept];
    size_t dropped = 0;
    for (;;) {
        bool got;
        if (receive_text(link, &got) != result_ok) return net_socket_failure;
        if (!got) break;
        if (dropped < sizeof kept)
            memcpy(kept + dropped, link.received.bytes,
                   std::min(size_t(link.received.length), sizeof kept - dropped));
        dropped += link.received.length;
    }
    if (dropped > 0) log_dropped_bytes("TCP", kept, dropped);
    return result_ok;
}

} // namespace

void tcp_close() {
    close_slot(slot);
    connection_lost = false;
}

Result tcp_open(NetLink& link, uint32_t address) {
    // A connection left open to another device (a connect whose first request
    // failed) must not carry the requests meant for this one.
    if (slot.initialised && connected_address != address && !slot.busy) tcp_close();
    if (!slot.initialised) {
        if (Result r = init_socket(address); r != result_ok) return r;
    }
    link.target = address;
    return result_ok;
}

Result tcp_request(NetLink& link, const char* request, char* reply, size_t reply_size) {
    log_request_line(request);
    SlotUse use(slot);
    if (!use.ok) {
        log_printf("TCP: another request is running");
        return net_socket_failure;
    }
    if (connection_lost && connect_again() != result_ok) return net_socket_failure;
    if (drop_late_bytes(link) != result_ok) return net_socket_failure;
    // The text goes out from where it is: a stream takes any length.
    if (send_text(request, strlen(request)) != result_ok) return net_socket_failure;

    // Pieces are gathered until the three status fields are in and nothing
    // more is pending, all within the reply wait: a device writes its reply
    // at once, and a wait for stragglers would lengthen every request.
    MsTimer reply_timer;
    timer_start(&reply_timer, reply_wait_ms);
    TcpGather gather;
    bool got = false; // the last look found a piece: look again at once
    for (;;) {
        bool complete = tcp_gather_complete(gather, reply_size);
        if (timer_expired(&reply_timer)) break;
        // Right after the send the reply cannot be there yet: wait first.
        if (!got) wait_for_input(slot, reply_timer);
        pump_one_message();
        if (receive_text(link, &got) != result_ok) return net_socket_failure;
        if (!got) {
            if (complete) break;
            continue;
        }
        tcp_gather_piece(gather, link.received.bytes, link.received.length, reply, reply_size);
        // A piece shorter than a read's room took all that was pending: a
        // look again at once would find nothing, at the cost of a read.
        if (link.received.length < received_text_max && tcp_gather_complete(gather, reply_size))
            break;
    }
    if (!gather.any) {
        log_printf("TCP: request timeout");
        log_printf("TCP: request failed");
        return net_protocol_failure;
    }
    tcp_gather_end(gather, reply, reply_size);
    if (gather.cut > 0)
        log_printf("TCP: reply longer than %u bytes; %u bytes dropped", unsigned(gather.kept),
                   unsigned(gather.cut));
    return result_ok;
}
