// The serial line's checks: the enquiry, the request frame, the reply frame
// and its repetition, byte by byte through the console's COM port table,
// with the console's frame checksum and reply frame checks.
#include "base/state.h"
#include "base/tick.h"
#include "check_links.h"
#include "codec/frame_checksum.h"
#include "serial/control_chars.h"
#include "serial/reply_frame.h"
#include "serial/serial_port.h"

#include <cstdio>
#include <cstring>

namespace {

// The console's time-outs.
constexpr uint32_t enq_wait_ms = 3000;
constexpr uint32_t frame_ack_wait_ms = 2000;
constexpr uint32_t stx_wait_ms = 2000;
constexpr uint32_t byte_wait_ms = 500;
constexpr size_t body_kept = 2047; // reply bytes the console keeps
// How long a check watches the line for bytes that should not come.
constexpr uint32_t quiet_ms = 300;
// Noise bytes before STX taken before the frame counts as missing.
constexpr size_t noise_max = 64;

int port = 0;

// The next byte within ms: the byte, or -1 (took: how long it took).
int byte_within(uint32_t ms, uint32_t* took) {
    uint32_t start = tick_ms();
    int r = serial_wait_input(ms);
    *took = tick_ms() - start;
    if (r == 1) return serial_read_byte(port);
    check_waited_us += uint64_t(*took) * 1000u;
    return -1;
}

void put(uint8_t byte) {
    serial_write_byte(port, byte);
}

void cancel() {
    put(can);
    put(can);
    put(can);
}

struct Frame {
    bool started = false; // STX came
    bool ended = false;   // ETX came
    uint32_t stx_ms = 0;
    uint32_t longest_gap_ms = 0;
    size_t noise = 0; // bytes before STX
    uint8_t noise_bytes[8];
    size_t len = 0;     // bytes between STX and ETX
    uint8_t body[4096]; // the first of them
};

void read_frame(Frame& f) {
    uint32_t took = 0;
    int b = -1;
    for (;;) {
        b = byte_within(stx_wait_ms, &took);
        if (b < 0) return;
        if (b == stx) break;
        if (f.noise < sizeof f.noise_bytes) f.noise_bytes[f.noise] = uint8_t(b);
        if (++f.noise >= noise_max) return;
    }
    f.started = true;
    f.stx_ms = took;
    for (;;) {
        b = byte_within(byte_wait_ms, &took);
        if (b < 0) return;
        if (took > f.longest_gap_ms) f.longest_gap_ms = took;
        if (b == etx) break;
        if (f.len < sizeof f.body) f.body[f.len] = uint8_t(b);
        ++f.len;
    }
    f.ended = true;
}

// Whether the console would take the frame, with the text it would keep.
bool frame_good(const Frame& f, char* text, size_t cap) {
    if (!f.ended) return false;
    char body[body_kept + 1];
    size_t n = f.len < body_kept ? f.len : body_kept;
    memcpy(body, f.body, n < sizeof f.body ? n : sizeof f.body);
    body[n] = '\0';
    if (!reply_body_verify(body, n)) return false;
    snprintf(text, cap, "%s", body);
    return true;
}

// One exchange as the console runs it, with what came at every step.
struct Probe {
    int enq_answer = -1;
    uint32_t enq_ms = 0;
    int frame_answer = -1;
    uint32_t frame_ms = 0;
    size_t after_answer = 0; // bytes after the request frame's answer
    uint8_t after_bytes[8];
    Frame first, second;
    bool first_good = false;
    char text[body_kept + 1] = "";
    size_t trailing = 0; // bytes after the reply's ETX
    uint8_t trailing_bytes[8];
};

struct ProbeWay {
    const char* request = "v";
    bool spoil = false; // a wrong checksum in the request frame
    bool nak = false;   // NAK the first good reply
    bool watch = false; // watch the line after the reply
};

size_t watch_line(uint8_t* first, size_t cap) {
    size_t n = 0;
    uint32_t start = tick_ms();
    uint32_t took = 0;
    for (uint32_t left = quiet_ms; left > 0;) {
        int b = byte_within(left, &took);
        if (b < 0) break;
        if (n < cap) first[n] = uint8_t(b);
        ++n;
        uint32_t spent = tick_ms() - start;
        left = spent < quiet_ms ? quiet_ms - spent : 0;
    }
    return n;
}

void probe(const ProbeWay& way, Probe& p) {
    cancel();
    serial_purge(port);
    put(enq);
    p.enq_answer = byte_within(enq_wait_ms, &p.enq_ms);
    if (p.enq_answer != ack) return cancel();

    serial_purge(port);
    size_t len = strlen(way.request);
    unsigned sum = frame_checksum(way.request, len);
    if (way.spoil) sum = (sum + 1) % 100;
    char digits[4];
    snprintf(digits, sizeof digits, "%02u", sum);
    put(stx);
    for (size_t i = 0; i < len; ++i) put(uint8_t(way.request[i]));
    put('/');
    put(uint8_t(digits[0]));
    put(uint8_t(digits[1]));
    put(etx);
    p.frame_answer = byte_within(frame_ack_wait_ms, &p.frame_ms);
    if (way.spoil) {
        if (p.frame_answer >= 0) p.after_answer = watch_line(p.after_bytes, sizeof p.after_bytes);
        return cancel();
    }
    if (p.frame_answer != ack) return cancel();

    read_frame(p.first);
    p.first_good = frame_good(p.first, p.text, sizeof p.text);
    if (!p.first_good) return cancel();
    if (way.nak) {
        put(nak);
        read_frame(p.second);
    }
    put(ack);
    if (way.watch) p.trailing = watch_line(p.trailing_bytes, sizeof p.trailing_bytes);
}

// What came instead of the expected byte.
void say_answer(CheckOutcome& out, int answer, uint32_t ms, uint32_t limit, const char* wanted) {
    if (answer < 0)
        check_say(out, "nothing within %u ms; %s expected", limit, wanted);
    else
        check_say(out, "0x%02X after %u ms instead of %s", unsigned(answer), ms, wanted);
}

// A missing enquiry or acknowledgement is its own check's failure; the
// checks that need it are skipped.
bool reached_reply(const Probe& p, CheckOutcome& out) {
    out.verdict = CheckVerdict::skip;
    if (p.enq_answer != ack) {
        check_say(out, "the enquiry was not acknowledged (serial.enq)");
        return false;
    }
    if (p.frame_answer != ack) {
        check_say(out, "the request frame was not acknowledged (serial.frame.ack)");
        return false;
    }
    out.verdict = CheckVerdict::fail;
    return true;
}

void say_frame_fault(CheckOutcome& out, const Frame& f) {
    char hex[200];
    size_t shown = f.len < sizeof f.body ? f.len : sizeof f.body;
    size_t from = shown > 24 ? shown - 24 : 0;
    hex_bytes(f.body + from, shown - from, hex, sizeof hex);
    if (!f.started && f.noise >= noise_max)
        check_say(out, "%zu bytes without STX", f.noise);
    else if (!f.started)
        check_say(out, "no STX within %u ms", stx_wait_ms);
    else if (!f.ended)
        check_say(out, "the frame stopped after %zu bytes (no byte for %u ms); last bytes %s",
                  f.len, byte_wait_ms, hex);
    else if (f.len < reply_frame_min)
        check_say(out, "%zu bytes between STX and ETX, fewer than %zu: %s", f.len, reply_frame_min,
                  hex);
    else
        check_say(out, "the checksum digits do not match the frame (%zu bytes, ending %s)", f.len,
                  hex);
}

void check_enq(CheckOutcome& out) {
    Probe p;
    probe({}, p);
    if (p.enq_answer != ack) return say_answer(out, p.enq_answer, p.enq_ms, enq_wait_ms, "ACK");
    check_pass(out, p.enq_ms, enq_wait_ms);
    check_say(out, "ACK after %u ms (time-out %u ms, margin %u ms)", p.enq_ms, enq_wait_ms,
              enq_wait_ms - p.enq_ms);
}

void check_frame_ack(CheckOutcome& out) {
    Probe p;
    probe({}, p);
    if (p.enq_answer != ack) {
        out.verdict = CheckVerdict::skip;
        return check_say(out, "the enquiry was not acknowledged (serial.enq)");
    }
    if (p.frame_answer != ack)
        return say_answer(out, p.frame_answer, p.frame_ms, frame_ack_wait_ms, "ACK");
    check_pass(out, p.frame_ms, frame_ack_wait_ms);
    check_say(out, "ACK after %u ms (time-out %u ms, margin %u ms)", p.frame_ms, frame_ack_wait_ms,
              frame_ack_wait_ms - p.frame_ms);
}

void check_frame_badsum(CheckOutcome& out) {
    Probe p;
    ProbeWay way;
    way.spoil = true;
    probe(way, p);
    if (p.enq_answer != ack) {
        out.verdict = CheckVerdict::skip;
        return check_say(out, "the enquiry was not acknowledged (serial.enq)");
    }
    if (p.frame_answer != nak)
        return say_answer(out, p.frame_answer, p.frame_ms, frame_ack_wait_ms, "NAK");
    if (p.after_answer > 0) {
        char hex[64];
        hex_bytes(p.after_bytes, p.after_answer < 8 ? p.after_answer : 8, hex, sizeof hex);
        return check_say(out, "NAK, then %zu more bytes: %s", p.after_answer, hex);
    }
    check_pass(out, p.frame_ms, frame_ack_wait_ms);
    check_say(out, "NAK after %u ms, then silence for %u ms", p.frame_ms, quiet_ms);
}

void check_reply(const CheckInfo& info, CheckOutcome& out) {
    Probe p;
    ProbeWay way;
    bool status_query = strcmp(info.id, "serial.status.query") == 0;
    if (status_query) way.request = "?";
    way.nak = strcmp(info.id, "serial.nak.resend") == 0;
    way.watch = strcmp(info.id, "serial.reply.clean") == 0;
    probe(way, p);
    if (!reached_reply(p, out)) return;
    const Frame& f = p.first;
    bool frame_check = strcmp(info.id, "serial.reply.frame") == 0;
    if (frame_check || status_query) {
        if (!p.first_good) return say_frame_fault(out, f);
        if (status_query && status_layout_missing(out, p.text, strlen(p.text))) return;
        check_pass(out, f.stx_ms, stx_wait_ms);
        return check_say(out,
                         "STX after %u ms (time-out %u ms, margin %u ms), %zu bytes, longest gap "
                         "%u ms (time-out %u ms), checksum right",
                         f.stx_ms, stx_wait_ms, stx_wait_ms - f.stx_ms, f.len, f.longest_gap_ms,
                         byte_wait_ms);
    }
    // The size is the frame's whether the console could take it or not.
    bool size_check = strcmp(info.id, "serial.reply.size") == 0;
    if (!p.first_good && !(size_check && f.ended)) {
        out.verdict = CheckVerdict::skip;
        return check_say(out, "no good reply frame (serial.reply.frame)");
    }
    if (strcmp(info.id, "serial.reply.clean") == 0) {
        char hex[64];
        if (f.noise > 0) {
            hex_bytes(f.noise_bytes, f.noise < 8 ? f.noise : 8, hex, sizeof hex);
            return check_say(out, "%zu bytes before STX: %s", f.noise, hex);
        }
        if (p.trailing > 0) {
            hex_bytes(p.trailing_bytes, p.trailing < 8 ? p.trailing : 8, hex, sizeof hex);
            return check_say(out, "%zu bytes after the reply's ETX: %s", p.trailing, hex);
        }
        check_pass(out, 0, 0);
        return check_say(out, "nothing before STX, nothing for %u ms after ETX", quiet_ms);
    }
    if (strcmp(info.id, "serial.reply.status") == 0) {
        return check_reply_status(out, p.text, strlen(p.text));
    }
    if (strcmp(info.id, "serial.reply.size") == 0) {
        if (f.len > body_kept)
            return check_say(out, "%zu bytes between STX and ETX, more than %zu", f.len, body_kept);
        check_pass(out, 0, 0);
        return check_say(out, "%zu bytes between STX and ETX (at most %zu)", f.len, body_kept);
    }
    // serial.nak.resend
    const Frame& again = p.second;
    size_t shown = f.len < sizeof f.body ? f.len : sizeof f.body;
    if (again.ended && again.len == f.len && memcmp(again.body, f.body, shown) == 0) {
        check_pass(out, again.stx_ms, stx_wait_ms);
        return check_say(out, "the same %zu bytes again, STX after %u ms (time-out %u ms)", f.len,
                         again.stx_ms, stx_wait_ms);
    }
    if (!again.ended) return say_frame_fault(out, again);
    char first[120], second[120];
    size_t again_shown = again.len < sizeof again.body ? again.len : sizeof again.body;
    hex_bytes(f.body, shown, first, sizeof first);
    hex_bytes(again.body, again_shown, second, sizeof second);
    check_say(out, "first %s, again %s", first, second);
}

} // namespace

// The caller has opened the port.
bool serial_check_open(const CheckTarget& target, char* why, size_t cap) {
    port = target.port;
    // The port's waits go by the connection's kind.
    connection_kind = target.port;
    if (cap > 0) why[0] = '\0';
    return true;
}

void serial_check_one(const CheckInfo& info, CheckOutcome& out) {
    if (strcmp(info.id, "serial.enq") == 0) return check_enq(out);
    if (strcmp(info.id, "serial.frame.ack") == 0) return check_frame_ack(out);
    if (strcmp(info.id, "serial.frame.badsum") == 0) return check_frame_badsum(out);
    check_reply(info, out);
}

void serial_check_close() {
    cancel();
}
