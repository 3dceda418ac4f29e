// The plain UDP link: the serial link's character protocol in datagrams
// between port 9101 at both ends. Every request starts with ENQ/ACK; text
// travels as STX text "/" checksum ETX, control characters as single bytes.
#include "net/udp.h"

#include "base/log.h"
#include "base/state.h"
#include "base/window.h"
#include "codec/frame_checksum.h"
#include "net/datagram_checks.h"
#include "net/net_connect.h"
#include "net/net_trace.h"
#include "net/socket_errors.h"
#include "net/socket_slot.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int sync_passes = 8;
constexpr uint32_t sync_window_ms = 400;
constexpr int request_attempts = 6;
constexpr uint32_t reply_wait_ms = 5000;
constexpr uint32_t sync_validity_ms = 1000;
// NAK resends and resynchronisations one request may take (see rmlx.cpp).
constexpr int restart_limit = 10;

SocketSlot slot;
uint8_t datagram[udp_text_max + udp_text_extra];

int ensure_init() {
    return slot.initialised ? result_ok : udp_init();
}

bool slot_missing() {
    if (slot.socket != no_socket) return false;
    log_printf("UDP: not initialized");
    return true;
}

int next_datagram(NetLink& link, MsTimer& timer, bool* got) {
    return next_input(link, timer, slot, udp_receive, got);
}

int request_failed(NetLink& link) {
    log_printf("UDP: request failed");
    link.synchronised = 0;
    return net_protocol_failure;
}

} // namespace

int udp_init() {
    return init_slot(slot, "UDP", SocketKind::datagram, 0, udp_port);
}

void udp_close() {
    close_slot(slot);
}

int udp_open(NetLink& link, uint32_t address) {
    if (int r = ensure_init(); r != result_ok) return r;
    link.target = address;
    link.synchronised = 0;
    return result_ok;
}

int udp_send(NetLink& link, uint8_t kind, const char* text, size_t length) {
    if (slot_missing()) return net_socket_failure;
    size_t size = 1;
    datagram[0] = kind;
    if (kind == udp_text) {
        if (length > udp_text_max) {
            log_printf("UDP: request too long (%u bytes, at most %u)", unsigned(length),
                       unsigned(udp_text_max));
            return net_socket_failure;
        }
        char digits[3];
        snprintf(digits, sizeof digits, "%02u", frame_checksum(text, length));
        datagram[0] = udp_stx;
        memcpy(datagram + 1, text, length);
        datagram[length + 1] = '/';
        datagram[length + 2] = uint8_t(digits[0]);
        datagram[length + 3] = uint8_t(digits[1]);
        datagram[length + 4] = udp_etx;
        size = length + udp_text_extra;
    }
    if (net_send_to(slot.socket, datagram, size, link.target, udp_port) != long(size)) {
        report_socket_error("UDP: send failed", link.target, udp_port);
        return net_socket_failure;
    }
    return result_ok;
}

int udp_receive(NetLink& link, bool* received) {
    *received = false;
    if (slot_missing()) return net_socket_failure;
    for (;;) {
        int ready = net_input_ready(slot.socket);
        if (ready < 0) {
            report_socket_error("UDP: ioctl failed", 0, udp_port);
            return net_socket_failure;
        }
        if (ready == 0) return result_ok;
        uint32_t from = 0;
        long n =
            net_receive_from(slot.socket, link.received.bytes, sizeof link.received.bytes, &from);
        if (n < 0) {
            report_socket_error("UDP: receive failed", 0, udp_port);
            return net_socket_failure;
        }
        uint8_t kind = 0;
        UdpVerdict verdict =
            udp_check_datagram(link.received.bytes, size_t(n), from, link.target, &kind);
        if (verdict == UdpVerdict::too_short) {
            log_printf("UDP: discarded, datagram too short (%u)", unsigned(n));
            continue;
        }
        if (verdict == UdpVerdict::too_long) {
            log_printf("UDP: discarded, datagram too long (%u)", unsigned(n));
            continue;
        }
        if (verdict == UdpVerdict::foreign) {
            log_printf("UDP: discarded; ip mismatch");
            continue;
        }
        link.last_source = from;
        link.received.kind = kind;
        link.received.length = uint16_t(n);
        link.received.bytes[n] = 0;
        *received = true;
        return result_ok;
    }
}

bool text_checksum_ok(const ReceivedText& text) {
    return text.length <= sizeof text.bytes && udp_text_checksum_ok(text.bytes, text.length);
}

int udp_sync(NetLink& link) {
    for (int pass = 0; pass < sync_passes; ++pass) {
        if (udp_send(link, udp_enq, nullptr, 0) != result_ok) return net_socket_failure;
        MsTimer window;
        timer_start(&window, sync_window_ms);
        for (;;) {
            bool got;
            if (next_datagram(link, window, &got) != result_ok) return net_socket_failure;
            if (!got) break;
            if (link.received.kind == udp_ack) {
                link.synchronised = 1;
                timer_start(&link.sync_timer, sync_validity_ms);
                return result_ok;
            }
            log_printf("UDP: sync response ignored (opcode)");
        }
        log_printf("UDP: sync timeout");
    }
    log_printf("UDP: sync failed");
    return net_protocol_failure;
}

int udp_request(NetLink& link, const char* request, char* reply, size_t reply_size) {
    log_request_line(request);
    if (int r = ensure_init(); r != result_ok) return r;
    SlotUse use(slot);
    if (!use.ok) {
        log_printf("UDP: another request is running");
        return net_socket_failure;
    }
    size_t n = strlen(request);
    if (n > udp_text_max) {
        log_printf("UDP: request too long (%u bytes, at most %u)", unsigned(n),
                   unsigned(udp_text_max));
        return net_socket_failure;
    }

    int timeouts = 0;
    int restarts = 0;
    bool to_sync_point = true;
    while (timeouts < request_attempts) {
        if (to_sync_point && (link.synchronised == 0 || timer_expired(&link.sync_timer))) {
            if (int r = udp_sync(link); r != result_ok) return r;
        }
        if (udp_send(link, udp_text, request, n) != result_ok) return net_socket_failure;
        timer_start(&link.sync_timer, sync_validity_ms);
        MsTimer reply_timer;
        timer_start(&reply_timer, reply_wait_ms);
        for (;;) {
            bool got;
            if (next_datagram(link, reply_timer, &got) != result_ok) return net_socket_failure;
            if (!got) {
                ++timeouts;
                log_printf("UDP: request timeout");
                to_sync_point = true;
                break;
            }
            uint8_t kind = link.received.kind;
            if (kind == udp_ack) continue;
            if (kind == udp_resync) {
                link.synchronised = 0;
                if (details != 0) log_printf("RMLX: resyncronize request");
                if (++restarts > restart_limit) {
                    log_printf("UDP: resynchronization requested too often; giving up");
                    return request_failed(link);
                }
                to_sync_point = true;
                break;
            }
            if (kind == udp_nak) {
                log_printf("RMLX: request nak'ed; resending");
                if (++restarts > restart_limit) {
                    log_printf("UDP: request nak'ed too often; giving up");
                    return request_failed(link);
                }
                to_sync_point = false;
                break;
            }
            if (kind != udp_text) {
                log_printf("UDP: invalid response to request; restarting");
                continue;
            }
            if (!text_checksum_ok(link.received)) {
                log_printf("UDP: data checksum error");
                if (udp_send(link, udp_nak, nullptr, 0) != result_ok) return net_socket_failure;
                continue;
            }
            udp_send(link, udp_ack, nullptr, 0);
            // The text and its "/" separator: STX, the digits and ETX are cut off.
            copy_reply(reply, reply_size, link.received.bytes + 1, link.received.length - 4u);
            timer_start(&link.sync_timer, 0);
            return result_ok;
        }
    }
    return request_failed(link);
}

void udp_kind_chosen() {
    begin_network_selection();
    log_printf("Init UDP OK:");
    end_network_selection(false);
}
