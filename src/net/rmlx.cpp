// The RMLX link: request/reply frames over UDP to the device's port 24222,
// after a SYN/ACK synchronisation that fixes the frame sequence number, and
// device discovery by a broadcast QRY.
#include "net/rmlx.h"

#include "base/log.h"
#include "base/state.h"
#include "base/tick.h"
#include "net/datagram_checks.h"
#include "net/net_passes.h"
#include "net/net_trace.h"
#include "net/socket_errors.h"
#include "net/socket_slot.h"

#include <cstring>

namespace {

// The query: 8 passes of 500 ms; the synchronisation: 8 of 400 ms; a
// request: 6 attempts, each waiting 1000 ms for the reply.
constexpr Passes query_run{8, 500};
constexpr Passes sync_run{8, 400};
constexpr Passes request_run{6, 1000};
constexpr uint16_t resync_fsn_step = 8;
constexpr uint32_t sync_validity_ms = 4000;

SocketSlot slot;
NetLink discovery_link;

uint32_t random_state = 0;
bool random_seeded = false;

// A pseudo-random fsn from 0 to 32767.
uint16_t random_fsn() {
    if (!random_seeded) rmlx_seed_random(tick_ms());
    random_state = random_state * 214013u + 2531011u;
    return uint16_t((random_state >> 16) & 0x7FFFu);
}

Result ensure_init() {
    return slot.initialised ? result_ok : rmlx_init();
}

bool refuse_if_busy(const SlotUse& use) {
    if (!use.ok) log_printf("RMLX: another request is running");
    return !use.ok;
}

Result receive_frame(NetLink& link, bool* received);

// Sends QRY with fsn to the link's target and waits for matching ACT frames;
// on_act returns true to end the passes early.
template <typename OnAct>
Result query_passes_run(NetLink& link, uint16_t fsn, bool log_discards, OnAct on_act) {
    auto send = [&] { return rmlx_send_frame(link, op_qry, 0, fsn, 0); };
    auto heard = [&] {
        const FrameHeader& h = link.receive.header;
        if (h.fsn != fsn) {
            if (log_discards) log_printf("RMLX: discarded frame (fsn mismatch)");
        } else if (h.opcode != op_act) {
            if (log_discards) log_printf("RMLX: discarded frame (waiting ACT)");
        } else if (on_act(link.last_source)) {
            return Heard::answered;
        }
        return Heard::ignored;
    };
    auto closed = [&] {
        if (log_discards) log_printf("RMLX: query timeout");
    };
    return run_passes(link, slot, receive_frame, query_run, send, heard, closed).result;
}

Result request_failed(NetLink& link) {
    log_printf("RMLX: request failed");
    link.synchronised = 0;
    return net_protocol_failure;
}

// A failed look for pending input: said in the log here, shown in a box by
// the link's row (rmlx_take_input_check_failure).
bool input_check_failed = false;

// Accepts at most one frame into the receive frame; never blocks.
Result receive_frame(NetLink& link, bool* received) {
    *received = false;
    if (slot.socket == no_socket) {
        log_printf("RMLX: not initialized");
        return net_socket_failure;
    }
    auto* bytes = reinterpret_cast<uint8_t*>(&link.receive);
    for (;;) {
        int ready = net_input_ready(slot.socket);
        if (ready < 0) {
            report_socket_error("RMLX: ioctl failed", 0, rmlx_port);
            input_check_failed = true;
            return net_socket_failure;
        }
        if (ready == 0) return result_ok;
        // The size the read reports decides: a pending count may add up every
        // queued datagram on some systems.
        uint32_t from = 0;
        long n = net_receive_from(slot.socket, bytes, frame_size, &from);
        if (n < 0) {
            report_socket_error("RMLX: receive failed", 0, rmlx_port);
            return net_socket_failure;
        }
        RmlxVerdict verdict = rmlx_check_datagram(bytes, size_t(n), from, link.target);
        if (verdict == RmlxVerdict::too_small) {
            log_printf("RMLX: discarded, frame too small (%u)", unsigned(n));
            continue;
        }
        if (verdict == RmlxVerdict::too_large) {
            log_printf("RMLX: discarded, frame size invalid (%u)", unsigned(n));
            continue;
        }
        if (verdict == RmlxVerdict::foreign) {
            log_printf("RMLX: discarded; ip mismatch");
            continue;
        }
        link.last_source = from;
        const FrameHeader& h = link.receive.header;
        if (verdict == RmlxVerdict::bad_header_sum) {
            log_printf("RMLX: checksum 0x%04X bad (expected 0x%04X)", unsigned(h.header_sum),
                       unsigned(rmlx_checksum(bytes, 10)));
            continue;
        }
        if (verdict == RmlxVerdict::bad_length) {
            log_printf("RMLX: bad data length %u (expected %u)", unsigned(h.length),
                       unsigned(n) - unsigned(frame_header_size));
            continue;
        }
        if (verdict == RmlxVerdict::bad_id) {
            log_printf("RMLX: invalid 'id' 0x%04X (expected 0x%04X)", unsigned(h.id),
                       unsigned(frame_id_device));
            continue;
        }
        *received = true;
        trace_frame(link.receive, true, from);
        return result_ok;
    }
}

Result query(NetLink& link) {
    if (Result r = ensure_init(); r != result_ok) return r;
    SlotUse use(slot);
    if (refuse_if_busy(use)) return net_socket_failure;
    Result r = query_passes_run(link, random_fsn(), true, [](uint32_t) {
        if (net_details()) log_printf("RMLX: query success");
        return true;
    });
    if (r == net_protocol_failure) log_printf("RMLX: query failed");
    return r;
}

Result sync(NetLink& link) {
    link.fsn = link.fsn == 0 ? random_fsn() : uint16_t(link.fsn + resync_fsn_step);
    if (net_details()) log_printf("RMLX: synchronizing");
    auto send = [&] { return rmlx_send_frame(link, op_syn, 0, link.fsn, 0); };
    auto heard = [&] {
        const FrameHeader& h = link.receive.header;
        if (h.fsn != link.fsn) {
            log_printf("RMLX: sync response ignored (seq.no)");
            return Heard::ignored;
        }
        if (h.opcode != op_ack) {
            log_printf("RMLX: sync response ignored (opcode)");
            return Heard::ignored;
        }
        ++link.fsn;
        link.synchronised = 1;
        timer_start(&link.sync_timer, sync_validity_ms);
        return Heard::answered;
    };
    auto closed = [] { log_printf("RMLX: sync timeout"); };
    PassesEnd outcome = run_passes(link, slot, receive_frame, sync_run, send, heard, closed);
    if (outcome.ran_out) log_printf("RMLX: sync failed");
    return outcome.result;
}

} // namespace

void rmlx_seed_random(uint32_t seed) {
    random_state = seed;
    random_seeded = true;
}

Result rmlx_init() {
    return init_slot(slot, "RMLX", SocketKind::datagram, 0, 0);
}

void rmlx_close() {
    close_slot(slot);
}

bool rmlx_take_input_check_failure() {
    bool failed = input_check_failed;
    input_check_failed = false;
    return failed;
}

Result rmlx_open(NetLink& link, uint32_t address, RmlxOpening opening) {
    if (Result r = ensure_init(); r != result_ok) return r;
    link.target = address;
    if (opening == RmlxOpening::query_first) {
        if (Result r = query(link); r != result_ok) return r;
    }
    link.synchronised = 0;
    return result_ok;
}

Result rmlx_send_frame(NetLink& link, uint8_t opcode, uint8_t reserved, uint16_t fsn,
                       uint16_t length) {
    if (slot.socket == no_socket) {
        log_printf("RMLX: not initialized");
        return net_socket_failure;
    }
    if (length > frame_data_size) {
        log_printf("RMLX: frame too long (%u bytes)", unsigned(length));
        return net_socket_failure;
    }
    FrameHeader& h = link.transmit.header;
    h.id = frame_id_console;
    h.fsn = fsn;
    h.opcode = opcode;
    h.reserved = reserved;
    h.length = length;
    seal_frame(&link.transmit);
    trace_frame(link.transmit, false, link.target);
    size_t size = frame_header_size + length;
    if (net_send_to(slot.socket, &link.transmit, size, link.target, rmlx_port) != long(size)) {
        report_socket_error("RMLX: send failed", link.target, rmlx_port);
        return net_socket_failure;
    }
    return result_ok;
}

Result rmlx_discover(uint32_t* list, uint32_t capacity, uint32_t* count) {
    *count = 0;
    memset(&discovery_link, 0, sizeof discovery_link);
    discovery_link.target = address_broadcast;
    if (Result r = ensure_init(); r != result_ok) {
        log_printf("RMLX: interface init failed");
        return r;
    }
    SlotUse use(slot);
    if (refuse_if_busy(use)) return net_socket_failure;
    uint32_t found = 0;
    bool overflow_logged = false;
    Result r = query_passes_run(discovery_link, random_fsn(), false, [&](uint32_t source) {
        for (uint32_t i = 0; i < found; ++i)
            if (list[i] == source) return false;
        if (found < capacity) {
            list[found++] = source;
        } else if (!overflow_logged) {
            // Addresses past the list cannot be told apart from earlier ones,
            // so this is said once.
            log_printf("RMLX: more than %u devices answered; the others are not listed",
                       unsigned(capacity));
            overflow_logged = true;
        }
        return false;
    });
    if (r == net_socket_failure) return r;
    *count = found;
    return result_ok;
}

Result rmlx_request(NetLink& link, const char* request, char* reply, size_t reply_size) {
    log_request_line(request);
    if (Result r = ensure_init(); r != result_ok) return r;
    SlotUse use(slot);
    if (refuse_if_busy(use)) return net_socket_failure;
    size_t n = strlen(request);
    if (n > frame_data_size) {
        // A frame carries no more than this; cutting the text would sign or
        // store something other than what was asked.
        log_printf("RMLX: request too long (%u bytes, at most %u)", unsigned(n),
                   unsigned(frame_data_size));
        return net_socket_failure;
    }
    memcpy(link.transmit.data, request, n);

    Restarts restarts;
    bool to_sync_point = true;
    auto send = [&] {
        if (to_sync_point && (link.synchronised == 0 || timer_expired(&link.sync_timer))) {
            if (Result r = sync(link); r != result_ok) return r;
        }
        if (rmlx_send_frame(link, op_req, 0, link.fsn, uint16_t(n)) != result_ok)
            return net_socket_failure;
        timer_start(&link.sync_timer, sync_validity_ms);
        return result_ok;
    };
    auto heard = [&] {
        RmlxAnswer answer = rmlx_classify_answer(link.receive, link.fsn);
        if (answer == RmlxAnswer::other_fsn) {
            log_printf("RMLX: response ignored (seq.no)");
        } else if (answer == RmlxAnswer::resync) {
            link.synchronised = 0;
            if (net_details()) log_printf("RMLX: resyncronize request");
            to_sync_point = true;
            return restarts.again("RMLX: resynchronization requested too often; giving up",
                                  [&] { request_failed(link); });
        } else if (answer == RmlxAnswer::nak) {
            log_printf("RMLX: request nak'ed; resending");
            to_sync_point = false;
            return restarts.again("RMLX: request nak'ed too often; giving up",
                                  [&] { request_failed(link); });
        } else if (answer != RmlxAnswer::other) {
            bool good = answer == RmlxAnswer::reply;
            if (!good) log_printf("RMLX: data checksum error");
            if (rmlx_send_frame(link, op_nak, 0, link.fsn, 0) != result_ok)
                return Heard::socket_failure;
            if (good) {
                copy_reply(reply, reply_size, link.receive.data, link.receive.header.length);
                timer_start(&link.sync_timer, sync_validity_ms);
                ++link.fsn;
                return Heard::answered;
            }
        } else {
            log_printf("RMLX: invalid response to request; restarting");
        }
        return Heard::ignored;
    };
    auto closed = [&] {
        log_printf("RMLX: request timeout");
        to_sync_point = true;
    };
    PassesEnd outcome = run_passes(link, slot, receive_frame, request_run, send, heard, closed);
    return outcome.ran_out ? request_failed(link) : outcome.result;
}
