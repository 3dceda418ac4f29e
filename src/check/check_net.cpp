// The network links' checks, over a socket of the check's own through the
// socket seam: RMLX frames sealed and checked by the console's frame code,
// plain UDP datagrams by its datagram checks and frame checksum, a TCP
// reply gathered as the console gathers it.
#include "base/tick.h"
#include "base/window.h"
#include "check_links.h"
#include "codec/frame_checksum.h"
#include "net/datagram_checks.h"
#include "net/ms_timer.h"
#include "net/rmlx.h"
#include "net/rmlx_frame.h"
#include "net/socket.h"
#include "net/socket_slot.h"
#include "net/tcp.h"
#include "net/udp.h"

#include <cstdio>
#include <cstring>

namespace {

// The console's time-outs.
constexpr uint32_t query_wait_ms = 500;
constexpr uint32_t sync_wait_ms = 400;
constexpr uint32_t rmlx_reply_wait_ms = 1000;
constexpr uint32_t tcp_reply_wait_ms = 5000;
constexpr uint32_t udp_enq_wait_ms = 400;
constexpr uint32_t udp_reply_wait_ms = 5000;
// Pieces of a TCP reply closer than this are one reply.
constexpr uint32_t piece_gap_ms = 100;
// How long a check watches for what should not come.
constexpr uint32_t quiet_ms = 300;

CheckTarget target;
SocketSlot slot;
uint16_t next_fsn = 1;
bool stream_closed = false;

struct Datagram {
    uint8_t bytes[600];
    long n = 0; // the whole size
    uint32_t from = 0;
    uint32_t ms = 0; // after the wait began
};

// Every datagram a check's exchange brought, for the checks on all of them.
struct Seen {
    size_t count = 0;
    size_t bad = 0;
    char first_bad[160] = "";
};

void note_bad(Seen& seen, const char* what, const Datagram& d) {
    if (seen.bad++ > 0) return;
    char hex[100];
    size_t n = d.n < 24 ? size_t(d.n) : 24;
    hex_bytes(d.bytes, n, hex, sizeof hex);
    snprintf(seen.first_bad, sizeof seen.first_bad, "%s (%ld bytes: %s)", what, d.n, hex);
}

// The *.datagrams verdict on every datagram seen: refused names what the
// bad ones were not, taken what the good ones were.
void datagrams_verdict(CheckOutcome& out, const Seen& seen, const char* refused,
                       const char* taken) {
    if (seen.bad > 0)
        return check_say(out, "%zu of %zu datagrams %s, the first: %s", seen.bad, seen.count,
                         refused, seen.first_bad);
    check_pass(out, 0, 0);
    check_say(out, "%zu datagrams, all %s", seen.count, taken);
}

// The next datagram within ms, or false when the time ran out.
bool datagram_within(uint32_t ms, Datagram& d) {
    MsTimer timer;
    timer_start(&timer, ms);
    uint32_t start = tick_ms();
    for (;;) {
        int ready = net_input_ready(slot.socket);
        if (ready > 0) {
            d.n = net_receive_from(slot.socket, d.bytes, sizeof d.bytes, &d.from);
            d.ms = tick_ms() - start;
            if (d.n >= 0) return true;
        }
        if (ready < 0 || timer_expired(&timer)) break;
        wait_for_input(slot, timer);
        pump_one_message();
    }
    check_waited_us += uint64_t(tick_ms() - start) * 1000u;
    return false;
}

void drain() {
    uint8_t buf[600];
    uint32_t from = 0;
    while (net_input_ready(slot.socket) > 0)
        if (target.link == CheckLink::tcp
                ? net_receive(slot.socket, buf, sizeof buf) <= 0
                : net_receive_from(slot.socket, buf, sizeof buf, &from) < 0)
            break;
}

// ---- RMLX ----

void rmlx_send(uint8_t opcode, uint16_t fsn, const char* text, bool spoil) {
    RmlxFrame f{};
    size_t len = text != nullptr ? strlen(text) : 0;
    f.header.id = frame_id_console;
    f.header.fsn = fsn;
    f.header.opcode = opcode;
    f.header.length = uint16_t(len);
    memcpy(f.data, text != nullptr ? text : "", len);
    seal_frame(&f);
    if (spoil) {
        f.header.data_sum = uint16_t(f.header.data_sum + 1);
        f.header.header_sum = rmlx_checksum(reinterpret_cast<const uint8_t*>(&f.header), 10);
    }
    net_send_to(slot.socket, &f, frame_header_size + len, target.address, rmlx_port);
}

// The next frame that passes the console's checks, within ms; every other
// datagram counts in seen.
bool rmlx_frame_within(uint32_t ms, RmlxFrame& frame, uint32_t* took, Seen& seen) {
    uint32_t start = tick_ms();
    for (;;) {
        uint32_t spent = tick_ms() - start;
        Datagram d;
        if (spent >= ms || !datagram_within(ms - spent, d)) return false;
        ++seen.count;
        RmlxVerdict v = rmlx_check_datagram(d.bytes, size_t(d.n), d.from, target.address);
        if (v != RmlxVerdict::accepted) {
            static constexpr const char* names[] = {"",
                                                    "a datagram under 12 bytes",
                                                    "a datagram over 512 bytes",
                                                    "a datagram from another address",
                                                    "a bad header checksum",
                                                    "a length field that does not count the data",
                                                    "an id other than 0x7A2D"};
            note_bad(seen, names[int(v)], d);
            continue;
        }
        memcpy(&frame, d.bytes, size_t(d.n));
        *took = tick_ms() - start;
        return true;
    }
}

// The last frame an answer's wait passed over, for the evidence.
RmlxFrame passed_over{};
bool any_passed_over = false;

// Waits for the frame with opcode op and fsn; others are passed over.
bool rmlx_answer(uint32_t ms, uint8_t op, uint16_t fsn, RmlxFrame& frame, uint32_t* took,
                 Seen& seen) {
    uint32_t start = tick_ms();
    for (;;) {
        uint32_t spent = tick_ms() - start;
        if (spent >= ms || !rmlx_frame_within(ms - spent, frame, took, seen)) return false;
        *took = tick_ms() - start;
        if (frame.header.fsn == fsn && (op == 0xFF || frame.header.opcode == op)) return true;
        passed_over = frame;
        any_passed_over = true;
    }
}

uint16_t fresh_fsn() {
    next_fsn = uint16_t(next_fsn + 0x101 + (tick_ms() & 0xFF));
    return next_fsn == 0 ? 1 : next_fsn;
}

void say_rmlx(CheckOutcome& out, bool got, const RmlxFrame& f, uint32_t limit, const char* wanted) {
    if (!got && any_passed_over)
        check_say(out, "only %s(fsn=0x%04X) within %u ms; %s expected",
                  opcode_name(passed_over.header.opcode), unsigned(passed_over.header.fsn), limit,
                  wanted);
    else if (!got)
        check_say(out, "nothing within %u ms; %s expected", limit, wanted);
    else
        check_say(out, "%s(fsn=0x%04X) instead of %s", opcode_name(f.header.opcode),
                  unsigned(f.header.fsn), wanted);
}

void rmlx_check(const CheckInfo& info, CheckOutcome& out) {
    Seen seen;
    RmlxFrame f{};
    uint32_t took = 0;
    drain();
    any_passed_over = false;
    if (strcmp(info.id, "rmlx.query") == 0) {
        uint16_t fsn = fresh_fsn();
        rmlx_send(op_qry, fsn, nullptr, false);
        bool got = rmlx_answer(query_wait_ms, 0xFF, fsn, f, &took, seen);
        if (!got || f.header.opcode != op_act)
            return say_rmlx(out, got, f, query_wait_ms, "ACT with the query's fsn");
        check_pass(out, took, query_wait_ms);
        return check_say(out, "ACT(fsn=0x%04X) after %u ms (time-out %u ms, margin %u ms)",
                         unsigned(fsn), took, query_wait_ms, query_wait_ms - took);
    }
    uint16_t fsn = fresh_fsn();
    rmlx_send(op_syn, fsn, nullptr, false);
    bool synced = rmlx_answer(sync_wait_ms, 0xFF, fsn, f, &took, seen);
    if (strcmp(info.id, "rmlx.sync") == 0) {
        if (!synced || f.header.opcode != op_ack)
            return say_rmlx(out, synced, f, sync_wait_ms, "ACK with the SYN's fsn");
        check_pass(out, took, sync_wait_ms);
        return check_say(out, "ACK(fsn=0x%04X) after %u ms (time-out %u ms, margin %u ms)",
                         unsigned(fsn), took, sync_wait_ms, sync_wait_ms - took);
    }
    if (!synced || f.header.opcode != op_ack) {
        out.verdict = CheckVerdict::skip;
        return check_say(out, "the synchronisation failed (rmlx.sync)");
    }
    fsn = uint16_t(fsn + 1);
    bool status_query = strcmp(info.id, "rmlx.status.query") == 0;
    bool badsum = strcmp(info.id, "rmlx.badsum") == 0;
    rmlx_send(op_req, fsn, status_query ? "?" : "v", badsum);
    bool got = rmlx_answer(rmlx_reply_wait_ms, 0xFF, fsn, f, &took, seen);
    RmlxAnswer answer = got ? rmlx_classify_answer(f, fsn) : RmlxAnswer::other;
    if (badsum) {
        if (!got || answer != RmlxAnswer::nak)
            return say_rmlx(out, got, f, rmlx_reply_wait_ms, "NAK");
        RmlxFrame later{};
        uint32_t later_ms = 0;
        if (rmlx_answer(quiet_ms, op_rep, fsn, later, &later_ms, seen))
            return check_say(out, "NAK, then a REP after %u ms", later_ms);
        check_pass(out, took, rmlx_reply_wait_ms);
        return check_say(out, "NAK after %u ms, no REP for %u ms more", took, quiet_ms);
    }
    bool reply = got && answer == RmlxAnswer::reply;
    if (reply) rmlx_send(op_nak, fsn, nullptr, false); // the console's receipt
    char text[frame_data_size + 1] = "";
    size_t len = reply ? f.header.length : 0;
    memcpy(text, f.data, len);
    text[len] = '\0';
    if (strcmp(info.id, "rmlx.reply") == 0 || status_query) {
        if (!reply) {
            if (got && answer == RmlxAnswer::bad_reply)
                return check_say(out, "REP(fsn=0x%04X) with a bad data checksum 0x%04X",
                                 unsigned(fsn), unsigned(f.header.data_sum));
            return say_rmlx(out, got, f, rmlx_reply_wait_ms, "REP with the REQ's fsn");
        }
        if (status_query && status_layout_missing(out, text, len)) return;
        check_pass(out, took, rmlx_reply_wait_ms);
        return check_say(out,
                         "REP(fsn=0x%04X) of %zu bytes after %u ms (time-out %u ms, margin %u ms)",
                         unsigned(fsn), len, took, rmlx_reply_wait_ms, rmlx_reply_wait_ms - took);
    }
    if (strcmp(info.id, "rmlx.frames") == 0) {
        // Whatever else comes in a moment after the exchange counts too.
        RmlxFrame later{};
        uint32_t later_ms = 0;
        rmlx_frame_within(quiet_ms, later, &later_ms, seen);
        return datagrams_verdict(out, seen, "refused", "accepted");
    }
    if (!reply) {
        out.verdict = CheckVerdict::skip;
        return check_say(out, "no good REP (rmlx.reply)");
    }
    if (strcmp(info.id, "rmlx.reply.status") == 0) {
        return check_reply_status(out, text, len);
    }
    // rmlx.repeat sends the REQ again; rmlx.nak.resend waits after the NAK.
    if (strcmp(info.id, "rmlx.repeat") == 0) rmlx_send(op_req, fsn, "v", false);
    RmlxFrame again{};
    bool got_again = rmlx_answer(rmlx_reply_wait_ms, op_rep, fsn, again, &took, seen);
    if (got_again && strcmp(info.id, "rmlx.repeat") == 0) rmlx_send(op_nak, fsn, nullptr, false);
    if (!got_again)
        return check_say(out, "no REP(fsn=0x%04X) again within %u ms", unsigned(fsn),
                         rmlx_reply_wait_ms);
    if (again.header.length != len || memcmp(again.data, f.data, len) != 0)
        return check_say(out, "first \"%.60s\", again \"%.*s\"", text,
                         int(again.header.length < 60 ? again.header.length : 60),
                         reinterpret_cast<const char*>(again.data));
    check_pass(out, took, rmlx_reply_wait_ms);
    check_say(out, "the same %zu bytes after %u ms (time-out %u ms)", len, took,
              rmlx_reply_wait_ms);
}

// ---- TCP ----

bool tcp_connect_slot(char* why, size_t cap) {
    if (slot.socket != no_socket) net_close(slot.socket);
    slot.socket = net_open(SocketKind::stream);
    stream_closed = false;
    if (slot.socket == no_socket || !net_connect(slot.socket, target.address, tcp_port)) {
        snprintf(why, cap, "no TCP connection to port %u (error %d)", unsigned(tcp_port),
                 net_last_error());
        if (slot.socket != no_socket) net_close(slot.socket);
        slot.socket = no_socket;
        return false;
    }
    return true;
}

// Stream bytes within ms: the count, 0 when the time ran out, -1 when the
// device closed the connection.
long stream_within(uint32_t ms, uint8_t* buf, size_t cap) {
    MsTimer timer;
    timer_start(&timer, ms);
    uint32_t start = tick_ms();
    for (;;) {
        int ready = net_input_ready(slot.socket);
        if (ready > 0) {
            long n = net_receive(slot.socket, buf, cap);
            if (n <= 0) stream_closed = true;
            return n > 0 ? n : -1;
        }
        if (ready < 0) return -1;
        if (timer_expired(&timer)) break;
        wait_for_input(slot, timer);
        pump_one_message();
    }
    check_waited_us += uint64_t(tick_ms() - start) * 1000u;
    return 0;
}

void tcp_check(const CheckInfo& info, CheckOutcome& out) {
    char why[120];
    if (stream_closed && !tcp_connect_slot(why, sizeof why)) return check_say(out, "%s", why);
    drain();
    bool status_query = strcmp(info.id, "tcp.status.query") == 0;
    const char* request = status_query ? "?" : "v";
    net_send(slot.socket, request, 1);
    uint32_t start = tick_ms();
    uint8_t piece[600];
    char reply[2048];
    TcpGather g;
    size_t total = 0;
    long n = stream_within(tcp_reply_wait_ms, piece, sizeof piece);
    uint32_t took = tick_ms() - start;
    while (n > 0) {
        tcp_gather_piece(g, piece, size_t(n), reply, sizeof reply);
        total += size_t(n);
        n = stream_within(piece_gap_ms, piece, sizeof piece);
    }
    tcp_gather_end(g, reply, sizeof reply);
    bool own_rule = status_query || strcmp(info.id, "tcp.reply") == 0;
    if (!g.any && !own_rule) {
        out.verdict = CheckVerdict::skip;
        return check_say(out, "no reply (tcp.reply)");
    }
    if (!g.any)
        return check_say(out,
                         n < 0 ? "the device closed the connection instead of replying"
                               : "nothing within %u ms",
                         tcp_reply_wait_ms);
    if (strcmp(info.id, "tcp.reply") == 0) {
        check_pass(out, took, tcp_reply_wait_ms);
        return check_say(out, "%zu bytes, the first after %u ms (time-out %u ms, margin %u ms)",
                         total, took, tcp_reply_wait_ms, tcp_reply_wait_ms - took);
    }
    if (strcmp(info.id, "tcp.reply.quiet") == 0) {
        long more = stream_within(quiet_ms, piece, sizeof piece);
        if (more > 0) {
            char hex[100];
            hex_bytes(piece, size_t(more) < 24 ? size_t(more) : 24, hex, sizeof hex);
            return check_say(out, "%ld more bytes after the reply: %s", more, hex);
        }
        check_pass(out, 0, 0);
        return check_say(out, "nothing for %u ms after the reply", quiet_ms);
    }
    if (strcmp(info.id, "tcp.reply.size") == 0) {
        if (total > frame_data_size)
            return check_say(out, "%zu bytes, more than %zu", total, frame_data_size);
        check_pass(out, 0, 0);
        return check_say(out, "%zu bytes (at most %zu)", total, frame_data_size);
    }
    if (status_layout_missing(out, reply, strlen(reply))) return;
    check_pass(out, took, status_query ? tcp_reply_wait_ms : 0);
    check_say(out, "\"%.8s\" after %u ms", reply, took);
}

// ---- plain UDP ----

void udp_put(uint8_t byte) {
    net_send_to(slot.socket, &byte, 1, target.address, udp_port);
}

void udp_put_text(const char* text, bool spoil) {
    uint8_t b[64];
    size_t len = strlen(text);
    unsigned sum = frame_checksum(text, len);
    if (spoil) sum = (sum + 1) % 100;
    b[0] = udp_stx;
    memcpy(b + 1, text, len);
    snprintf(reinterpret_cast<char*>(b + 1 + len), 4, "/%02u", sum);
    b[len + 4] = udp_etx;
    net_send_to(slot.socket, b, len + udp_text_extra, target.address, udp_port);
}

// The next datagram the console accepts within ms: its kind; -1 when none.
int udp_within(uint32_t ms, Datagram& d, Seen& seen, uint32_t* took) {
    uint32_t start = tick_ms();
    for (;;) {
        uint32_t spent = tick_ms() - start;
        if (spent >= ms || !datagram_within(ms - spent, d)) return -1;
        ++seen.count;
        uint8_t kind = 0;
        UdpVerdict v = udp_check_datagram(d.bytes, size_t(d.n), d.from, target.address, &kind);
        if (v != UdpVerdict::accepted) {
            note_bad(seen,
                     v == UdpVerdict::foreign     ? "a datagram from another address"
                     : v == UdpVerdict::too_short ? "a text too short for its frame"
                                                  : "a datagram too long",
                     d);
            continue;
        }
        if (kind == udp_text && (d.bytes[0] != udp_stx || d.bytes[d.n - 1] != udp_etx))
            note_bad(seen, "a text without STX and ETX", d);
        else if (kind != udp_text && kind != udp_ack && kind != udp_nak && kind != udp_resync)
            note_bad(seen, "a byte that is no answer", d);
        *took = tick_ms() - start;
        return kind;
    }
}

// Waits for the first answer that is not ACK (or ACK itself when ack).
int udp_answer(uint32_t ms, Datagram& d, Seen& seen, uint32_t* took, bool ack) {
    uint32_t start = tick_ms();
    for (;;) {
        uint32_t spent = tick_ms() - start;
        int kind = spent < ms ? udp_within(ms - spent, d, seen, took) : -1;
        *took = tick_ms() - start;
        if (kind < 0) return -1;
        if (kind == udp_text || kind == udp_nak || kind == udp_resync || (ack && kind == udp_ack))
            return kind;
    }
}

void say_udp(CheckOutcome& out, int kind, const Datagram& d, uint32_t limit, const char* wanted) {
    if (kind < 0) return check_say(out, "nothing within %u ms; %s expected", limit, wanted);
    char hex[100];
    hex_bytes(d.bytes, size_t(d.n) < 24 ? size_t(d.n) : 24, hex, sizeof hex);
    check_say(out, "%s instead of %s", hex, wanted);
}

void udp_check(const CheckInfo& info, CheckOutcome& out) {
    Seen seen;
    Datagram d;
    uint32_t took = 0;
    drain();
    udp_put(udp_enq);
    int kind = udp_answer(udp_enq_wait_ms, d, seen, &took, true);
    if (strcmp(info.id, "udp.enq") == 0) {
        if (kind != udp_ack) return say_udp(out, kind, d, udp_enq_wait_ms, "ACK (06)");
        check_pass(out, took, udp_enq_wait_ms);
        return check_say(out, "ACK after %u ms (time-out %u ms, margin %u ms)", took,
                         udp_enq_wait_ms, udp_enq_wait_ms - took);
    }
    if (kind != udp_ack) {
        out.verdict = CheckVerdict::skip;
        return check_say(out, "the ENQ was not acknowledged (udp.enq)");
    }
    bool badsum = strcmp(info.id, "udp.badsum") == 0;
    bool status_query = strcmp(info.id, "udp.status.query") == 0;
    udp_put_text(status_query ? "?" : "v", badsum);
    kind = udp_answer(udp_reply_wait_ms, d, seen, &took, false);
    if (badsum) {
        if (kind != udp_nak) return say_udp(out, kind, d, udp_reply_wait_ms, "NAK (16)");
        uint32_t nak_ms = took;
        Datagram more;
        if (udp_within(quiet_ms, more, seen, &took) >= 0 || seen.bad > 0) {
            char hex[100];
            hex_bytes(more.bytes, size_t(more.n) < 24 ? size_t(more.n) : 24, hex, sizeof hex);
            return check_say(out, "NAK, then %s", seen.bad > 0 ? seen.first_bad : hex);
        }
        check_pass(out, nak_ms, udp_reply_wait_ms);
        return check_say(out, "NAK after %u ms, then silence for %u ms", nak_ms, quiet_ms);
    }
    bool good = kind == udp_text && udp_text_checksum_ok(d.bytes, size_t(d.n));
    // The text between STX and the separator.
    char text[600] = "";
    size_t len = good ? size_t(d.n) - udp_text_extra : 0;
    memcpy(text, d.bytes + 1, len);
    text[len] = '\0';
    if (strcmp(info.id, "udp.reply") == 0 || status_query) {
        if (good) udp_put(udp_ack);
        if (kind == udp_text && !good) {
            char hex[100];
            hex_bytes(d.bytes, size_t(d.n) < 24 ? size_t(d.n) : 24, hex, sizeof hex);
            return check_say(out, "a text whose checksum digits do not match: %s", hex);
        }
        if (!good) return say_udp(out, kind, d, udp_reply_wait_ms, "a text datagram");
        if (status_query && status_layout_missing(out, text, len)) return;
        check_pass(out, took, udp_reply_wait_ms);
        return check_say(out, "%zu text bytes after %u ms (time-out %u ms, margin %u ms)", len,
                         took, udp_reply_wait_ms, udp_reply_wait_ms - took);
    }
    if (strcmp(info.id, "udp.datagrams") == 0) {
        if (good) udp_put(udp_ack);
        Datagram more;
        while (udp_within(quiet_ms, more, seen, &took) >= 0) {
        }
        return datagrams_verdict(out, seen, "not an answer", "answers");
    }
    if (!good) {
        out.verdict = CheckVerdict::skip;
        return check_say(out, "no good reply (udp.reply)");
    }
    if (strcmp(info.id, "udp.reply.status") == 0) {
        udp_put(udp_ack);
        return check_reply_status(out, text, len);
    }
    if (strcmp(info.id, "udp.nak.resend") == 0) {
        Datagram again;
        udp_put(udp_nak);
        int again_kind = udp_answer(udp_reply_wait_ms, again, seen, &took, false);
        if (again_kind == udp_text) udp_put(udp_ack);
        if (again_kind != udp_text)
            return say_udp(out, again_kind, again, udp_reply_wait_ms, "the reply again");
        if (again.n != d.n || memcmp(again.bytes, d.bytes, size_t(d.n)) != 0) {
            char first[120], second[120];
            hex_bytes(d.bytes, size_t(d.n), first, sizeof first);
            hex_bytes(again.bytes, size_t(again.n), second, sizeof second);
            return check_say(out, "first %s, again %s", first, second);
        }
        check_pass(out, took, udp_reply_wait_ms);
        return check_say(out, "the same %ld bytes after %u ms (time-out %u ms)", d.n, took,
                         udp_reply_wait_ms);
    }
    // udp.resync: the reply accepted, a text without its ENQ.
    udp_put(udp_ack);
    udp_put_text("v", false);
    kind = udp_answer(udp_reply_wait_ms, d, seen, &took, false);
    if (kind == udp_text && udp_text_checksum_ok(d.bytes, size_t(d.n))) udp_put(udp_ack);
    if (kind != udp_resync) return say_udp(out, kind, d, udp_reply_wait_ms, "10");
    check_pass(out, took, udp_reply_wait_ms);
    check_say(out, "0x10 after %u ms", took);
}

} // namespace

bool net_check_open(const CheckTarget& t, char* why, size_t cap) {
    target = t;
    if (cap > 0) why[0] = '\0';
    int rc = net_startup();
    if (rc != 0) {
        snprintf(why, cap, "the sockets did not start (error %d)", rc);
        return false;
    }
    if (t.link == CheckLink::tcp) return tcp_connect_slot(why, cap);
    slot.socket = net_open(SocketKind::datagram);
    uint16_t port = t.link == CheckLink::udp ? udp_port : 0;
    if (slot.socket == no_socket || !net_bind(slot.socket, 0, port)) {
        snprintf(why, cap, "no UDP socket on local port %u (error %d)", unsigned(port),
                 net_last_error());
        net_check_close();
        return false;
    }
    return true;
}

void net_check_one(const CheckInfo& info, CheckOutcome& out) {
    switch (info.link) {
    case CheckLink::rmlx:
        return rmlx_check(info, out);
    case CheckLink::tcp:
        return tcp_check(info, out);
    case CheckLink::udp:
        return udp_check(info, out);
    case CheckLink::serial:
        return;
    }
}

void net_check_close() {
    if (slot.socket != no_socket) net_close(slot.socket);
    slot.socket = no_socket;
}
