// The plain UDP link: the serial link's character protocol in datagrams
// between port 9101 at both ends. Every request starts with ENQ/ACK; text
// travels as STX text "/" checksum ETX, control characters as single bytes.
#include "net/udp.h"
#include "udp_private.h"

#include "base/log.h"
#include "base/state.h"
#include "codec/frame_checksum.h"
#include "net/datagram_checks.h"
#include "net/net_passes.h"
#include "net/net_trace.h"
#include "net/socket_errors.h"
#include "net/socket_slot.h"

#include <cstring>

namespace {

// The synchronisation: 8 passes of 400 ms; a request: 6 attempts, each
// waiting 5000 ms for the reply.
constexpr Passes sync_run{8, 400};
constexpr Passes request_run{6, 5000};
constexpr uint32_t sync_validity_ms = 1000;

SocketSlot slot;
uint8_t datagram[udp_text_max + udp_text_extra];

Result init_socket() {
    return init_slot(slot, "UDP", SocketKind::datagram, 0, udp_port);
}

Result ensure_init() {
    return slot.initialised ? result_ok : init_socket();
}

bool slot_missing() {
    if (slot.socket != no_socket) return false;
    log_printf("UDP: not initialized");
    return true;
}

Result request_failed(NetLink& link) {
    log_printf("UDP: request failed");
    link.synchronised = 0;
    return net_protocol_failure;
}

Result send_datagram(NetLink& link, uint8_t kind, const char* text, size_t length) {
    if (slot_missing()) return net_socket_failure;
    size_t size = 1;
    datagram[0] = kind;
    if (kind == udp_text) {
        if (length > udp_text_max) {
            log_printf("UDP: request too long (%u bytes, at most %u)", unsigned(length),
                       unsigned(udp_text_max));
            return net_socket_failure;
        }
        // The two digits by hand: snprintf was most of a request's own work.
        unsigned sum = frame_checksum(text, length);
        datagram[0] = udp_stx;
        memcpy(datagram + 1, text, length);
        datagram[length + 1] = '/';
        datagram[length + 2] = uint8_t('0' + sum / 10);
        datagram[length + 3] = uint8_t('0' + sum % 10);
        datagram[length + 4] = udp_etx;
        size = length + udp_text_extra;
    }
    if (net_send_to(slot.socket, datagram, size, link.target, udp_port) != long(size)) {
        report_socket_error("UDP: send failed", link.target, udp_port);
        return net_socket_failure;
    }
    return result_ok;
}

Result receive_datagram(NetLink& link, bool* received) {
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

Result sync(NetLink& link) {
    auto send_enq = [&] { return send_datagram(link, udp_enq, nullptr, 0); };
    auto heard = [&] {
        if (link.received.kind == udp_ack) {
            link.synchronised = 1;
            timer_start(&link.sync_timer, sync_validity_ms);
            return Heard::answered;
        }
        log_printf("UDP: sync response ignored (opcode)");
        return Heard::ignored;
    };
    auto closed = [] { log_printf("UDP: sync timeout"); };
    PassesEnd outcome = run_passes(link, slot, receive_datagram, sync_run, send_enq, heard, closed);
    if (outcome.ran_out) log_printf("UDP: sync failed");
    return outcome.result;
}

} // namespace

void udp_close() {
    close_slot(slot);
}

Result udp_open(NetLink& link, uint32_t address) {
    if (Result r = ensure_init(); r != result_ok) return r;
    link.target = address;
    link.synchronised = 0;
    return result_ok;
}

bool text_checksum_ok(const ReceivedText& text) {
    return text.length <= sizeof text.bytes && udp_text_checksum_ok(text.bytes, text.length);
}

Result udp_request(NetLink& link, const char* request, char* reply, size_t reply_size) {
    log_request_line(request);
    if (Result r = ensure_init(); r != result_ok) return r;
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

    Restarts restarts;
    bool to_sync_point = true;
    auto send_text = [&] {
        if (to_sync_point && (link.synchronised == 0 || timer_expired(&link.sync_timer))) {
            if (Result r = sync(link); r != result_ok) return r;
        }
        if (send_datagram(link, udp_text, request, n) != result_ok) return net_socket_failure;
        timer_start(&link.sync_timer, sync_validity_ms);
        return result_ok;
    };
    auto heard = [&] {
        uint8_t kind = link.received.kind;
        if (kind == udp_ack) return Heard::ignored;
        if (kind == udp_resync) {
            link.synchronised = 0;
            if (net_details()) log_printf("RMLX: resyncronize request");
            to_sync_point = true;
            return restarts.again("UDP: resynchronization requested too often; giving up",
                                  [&] { request_failed(link); });
        }
        if (kind == udp_nak) {
            log_printf("RMLX: request nak'ed; resending");
            to_sync_point = false;
            return restarts.again("UDP: request nak'ed too often; giving up",
                                  [&] { request_failed(link); });
        }
        if (kind != udp_text) {
            log_printf("UDP: invalid response to request; restarting");
            return Heard::ignored;
        }
        if (!text_checksum_ok(link.received)) {
            log_printf("UDP: data checksum error");
            if (send_datagram(link, udp_nak, nullptr, 0) != result_ok) return Heard::socket_failure;
            return Heard::ignored;
        }
        send_datagram(link, udp_ack, nullptr, 0);
        // The text and its "/" separator: STX, the digits and ETX are cut off.
        copy_reply(reply, reply_size, link.received.bytes + 1, link.received.length - 4u);
        timer_start(&link.sync_timer, 0);
        return Heard::answered;
    };
    auto closed = [&] {
        log_printf("UDP: request timeout");
        to_sync_point = true;
    };
    PassesEnd outcome =
        run_passes(link, slot, receive_datagram, request_run, send_text, heard, closed);
    return outcome.ran_out ? request_failed(link) : outcome.result;
}
