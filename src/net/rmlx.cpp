// The RMLX link: request/reply frames over UDP to the device's port 24222,
// after a SYN/ACK synchronisation that fixes the frame sequence number, and
// device discovery by a broadcast QRY.
#include "net/rmlx.h"

#include "base/dialog_template.h"
#include "base/ipv4_text.h"
#include "base/log.h"
#include "base/state.h"
#include "base/tick.h"
#include "base/window.h"
#include "net/datagram_checks.h"
#include "net/net_connect.h"
#include "net/net_trace.h"
#include "net/socket_errors.h"
#include "net/socket_slot.h"

#include <cstring>

namespace {

constexpr int query_passes = 8;
constexpr uint32_t query_window_ms = 500;
constexpr int sync_passes = 8;
constexpr uint32_t sync_window_ms = 400;
constexpr uint16_t resync_fsn_step = 8;
constexpr int request_attempts = 6;
constexpr uint32_t reply_wait_ms = 1000;
constexpr uint32_t sync_validity_ms = 4000;
// NAK resends and RST resynchronisations one request may take: a device that
// answers nothing else must not keep the request going for ever.
constexpr int restart_limit = 10;

SocketSlot slot;
NetLink discovery_link;
uint32_t discovered[discovered_max];

uint32_t random_state = 0;
bool random_seeded = false;

// A pseudo-random fsn from 0 to 32767.
uint16_t random_fsn() {
    if (!random_seeded) rmlx_seed_random(tick_ms());
    random_state = random_state * 214013u + 2531011u;
    return uint16_t((random_state >> 16) & 0x7FFFu);
}

int ensure_init() {
    return slot.initialised ? result_ok : rmlx_init();
}

bool refuse_if_busy(const SlotUse& use) {
    if (!use.ok) log_printf("RMLX: another request is running");
    return !use.ok;
}

int next_frame(NetLink& link, MsTimer& timer, bool* got) {
    return next_input(link, timer, slot, rmlx_receive_frame, got);
}

// Sends QRY with fsn to the link's target and waits for matching ACT frames;
// on_act returns true to end the passes early.
template <typename OnAct>
int query_passes_run(NetLink& link, uint16_t fsn, bool log_discards, OnAct on_act) {
    for (int pass = 0; pass < query_passes; ++pass) {
        if (rmlx_send_frame(link, op_qry, 0, fsn, 0) != result_ok) return net_socket_failure;
        MsTimer window;
        timer_start(&window, query_window_ms);
        for (;;) {
            bool got;
            if (next_frame(link, window, &got) != result_ok) return net_socket_failure;
            if (!got) break;
            const FrameHeader& h = link.receive.header;
            if (h.fsn != fsn) {
                if (log_discards) log_printf("RMLX: discarded frame (fsn mismatch)");
            } else if (h.opcode != op_act) {
                if (log_discards) log_printf("RMLX: discarded frame (waiting ACT)");
            } else if (on_act(link.last_source)) {
                return result_ok;
            }
        }
        if (log_discards) log_printf("RMLX: query timeout");
    }
    return net_protocol_failure;
}

int request_failed(NetLink& link) {
    log_printf("RMLX: request failed");
    link.synchronised = 0;
    return net_protocol_failure;
}

} // namespace

void rmlx_seed_random(uint32_t seed) {
    random_state = seed;
    random_seeded = true;
}

int rmlx_init() {
    return init_slot(slot, "RMLX", SocketKind::datagram, 0, 0);
}

void rmlx_close() {
    close_slot(slot);
}

int rmlx_open(NetLink& link, uint32_t address, uint8_t query) {
    if (int r = ensure_init(); r != result_ok) return r;
    link.target = address;
    if (query != 0) {
        if (int r = rmlx_query(link); r != result_ok) return r;
    }
    link.synchronised = 0;
    return result_ok;
}

int rmlx_send_frame(NetLink& link, uint8_t opcode, uint8_t reserved, uint16_t fsn,
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

int rmlx_receive_frame(NetLink& link, bool* received) {
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
            ui_message_box(true, "error", "", mb_ok);
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

int rmlx_query(NetLink& link) {
    if (int r = ensure_init(); r != result_ok) return r;
    SlotUse use(slot);
    if (refuse_if_busy(use)) return net_socket_failure;
    int r = query_passes_run(link, random_fsn(), true, [](uint32_t) {
        if (details != 0) log_printf("RMLX: query success");
        return true;
    });
    if (r == net_protocol_failure) log_printf("RMLX: query failed");
    return r;
}

int rmlx_discover(uint32_t* list, uint32_t capacity, uint32_t* count) {
    *count = 0;
    memset(&discovery_link, 0, sizeof discovery_link);
    discovery_link.target = address_broadcast;
    if (int r = ensure_init(); r != result_ok) {
        log_printf("RMLX: interface init failed");
        return r;
    }
    SlotUse use(slot);
    if (refuse_if_busy(use)) return net_socket_failure;
    uint32_t found = 0;
    bool overflow_logged = false;
    int r = query_passes_run(discovery_link, random_fsn(), false, [&](uint32_t source) {
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

int rmlx_sync(NetLink& link) {
    link.fsn = link.fsn == 0 ? random_fsn() : uint16_t(link.fsn + resync_fsn_step);
    if (details != 0) log_printf("RMLX: synchronizing");
    for (int pass = 0; pass < sync_passes; ++pass) {
        if (rmlx_send_frame(link, op_syn, 0, link.fsn, 0) != result_ok) return net_socket_failure;
        MsTimer window;
        timer_start(&window, sync_window_ms);
        for (;;) {
            bool got;
            if (next_frame(link, window, &got) != result_ok) return net_socket_failure;
            if (!got) break;
            const FrameHeader& h = link.receive.header;
            if (h.fsn != link.fsn) {
                log_printf("RMLX: sync response ignored (seq.no)");
            } else if (h.opcode != op_ack) {
                log_printf("RMLX: sync response ignored (opcode)");
            } else {
                ++link.fsn;
                link.synchronised = 1;
                timer_start(&link.sync_timer, sync_validity_ms);
                return result_ok;
            }
        }
        log_printf("RMLX: sync timeout");
    }
    log_printf("RMLX: sync failed");
    return net_protocol_failure;
}

int rmlx_request(NetLink& link, const char* request, char* reply, size_t reply_size) {
    log_request_line(request);
    if (int r = ensure_init(); r != result_ok) return r;
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

    int timeouts = 0;
    int restarts = 0;
    bool to_sync_point = true;
    while (timeouts < request_attempts) {
        if (to_sync_point && (link.synchronised == 0 || timer_expired(&link.sync_timer))) {
            if (int r = rmlx_sync(link); r != result_ok) return r;
        }
        if (rmlx_send_frame(link, op_req, 0, link.fsn, uint16_t(n)) != result_ok)
            return net_socket_failure;
        timer_start(&link.sync_timer, sync_validity_ms);
        MsTimer reply_timer;
        timer_start(&reply_timer, reply_wait_ms);
        for (;;) {
            bool got;
            if (next_frame(link, reply_timer, &got) != result_ok) return net_socket_failure;
            if (!got) {
                ++timeouts;
                log_printf("RMLX: request timeout");
                to_sync_point = true;
                break;
            }
            RmlxAnswer answer = rmlx_classify_answer(link.receive, link.fsn);
            if (answer == RmlxAnswer::other_fsn) {
                log_printf("RMLX: response ignored (seq.no)");
            } else if (answer == RmlxAnswer::resync) {
                link.synchronised = 0;
                if (details != 0) log_printf("RMLX: resyncronize request");
                if (++restarts > restart_limit) {
                    log_printf("RMLX: resynchronization requested too often; giving up");
                    return request_failed(link);
                }
                to_sync_point = true;
                break;
            } else if (answer == RmlxAnswer::nak) {
                log_printf("RMLX: request nak'ed; resending");
                if (++restarts > restart_limit) {
                    log_printf("RMLX: request nak'ed too often; giving up");
                    return request_failed(link);
                }
                to_sync_point = false;
                break;
            } else if (answer != RmlxAnswer::other) {
                bool good = answer == RmlxAnswer::reply;
                if (!good) log_printf("RMLX: data checksum error");
                if (rmlx_send_frame(link, op_nak, 0, link.fsn, 0) != result_ok)
                    return net_socket_failure;
                if (good) {
                    copy_reply(reply, reply_size, link.receive.data, link.receive.header.length);
                    timer_start(&link.sync_timer, sync_validity_ms);
                    ++link.fsn;
                    return result_ok;
                }
            } else {
                log_printf("RMLX: invalid response to request; restarting");
            }
        }
    }
    return request_failed(link);
}

bool rmlx_connect() {
    uint32_t address;
    if (!read_device_address(address)) return false;
    if (rmlx_init() != result_ok) {
        show_error_box("RMLX protocol init failed");
        return false;
    }
    return open_connection_link([](NetLink& link, uint32_t to) { return rmlx_open(link, to, 1); },
                                address);
}

void rmlx_kind_chosen() {
    begin_network_selection();
    log_printf("Querying network devices:");
    uint32_t count = 0;
    if (rmlx_discover(discovered, discovered_max, &count) != result_ok) {
        log_printf("Net devices detection failed");
        count = 0;
    } else {
        for (uint32_t i = 0; i < count; ++i) {
            const char* text = dotted(discovered[i]);
            ui_combo_add(idc_address, text);
            log_printf("- Detected ip %s", text);
        }
        log_printf("%u devices responded", unsigned(count));
    }
    end_network_selection(count > 0);
}
