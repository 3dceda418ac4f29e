// The wire recorder's memory: one ring of records, each a header and its
// bytes, the oldest dropped to make room. A serial run grows in a buffer of
// its own and enters the ring whole, when the direction turns, when the
// line has paused, or when anything else is recorded or read.
#include "capture/wire_capture.h"

#include <algorithm>
#include <cstring>

namespace {

struct Header {
    uint64_t time_us;
    uint32_t local_address, peer_address;
    uint16_t local_port, peer_port;
    uint32_t length;
    uint32_t stored;
    WireKind kind;
    WireDirection direction;
};
static_assert(sizeof(Header) == 32);

// Every record fits one IPv4 packet with a TCP header; longer serial runs
// and stream pieces go into more records.
constexpr size_t record_data_max = 65535 - 40;

constexpr size_t record_size(size_t stored) {
    return sizeof(Header) + (stored + 7) / 8 * 8;
}

alignas(Header) uint8_t ring[wire_capture_capacity];
// Records lie from head up, and when wrapped from head to end_mark and then
// from 0 to tail; free space is the rest.
size_t head = 0, tail = 0, end_mark = 0;
bool wrapped = false;
size_t kept = 0;
uint64_t dropped = 0;
bool enabled = true;
WireSerialLine serial_line;

uint8_t run[record_data_max];
size_t run_length = 0;
WireDirection run_direction = WireDirection::inbound;
uint64_t run_time = 0;
uint64_t run_last = 0;    // when its last byte came
bool input_empty = false; // the console has found no byte waiting since

Header* header_at(size_t offset) {
    return reinterpret_cast<Header*>(ring + offset);
}

void drop_oldest() {
    head += record_size(header_at(head)->stored);
    --kept;
    ++dropped;
    if (wrapped && head == end_mark) {
        head = 0;
        wrapped = false;
    }
    if (kept == 0) head = tail = end_mark = 0, wrapped = false;
}

// Room for a record of size bytes at tail, made by dropping the oldest.
Header* make_room(size_t size) {
    for (;;) {
        if (!wrapped) {
            if (wire_capture_capacity - tail >= size) break;
            end_mark = tail;
            tail = 0;
            wrapped = true;
        }
        if (head - tail >= size) break;
        drop_oldest();
    }
    Header* h = header_at(tail);
    tail += size;
    ++kept;
    return h;
}

void store(const Header& h, const void* data) {
    Header* to = make_room(record_size(h.stored));
    *to = h;
    if (h.stored > 0) memcpy(to + 1, data, h.stored);
}

void commit_run() {
    if (run_length == 0) return;
    Header h{};
    h.time_us = run_time;
    h.kind = WireKind::serial;
    h.direction = run_direction;
    h.length = h.stored = uint32_t(run_length);
    store(h, run);
    run_length = 0;
}

void store_network(WireKind kind, WireDirection direction, const WireEndpoints& ends,
                   const void* data, size_t stored, size_t length) {
    commit_run();
    Header h{};
    h.time_us = wire_clock_us();
    h.kind = kind;
    h.direction = direction;
    h.local_address = ends.local_address;
    h.local_port = ends.local_port;
    h.peer_address = ends.peer_address;
    h.peer_port = ends.peer_port;
    h.length = uint32_t(length);
    h.stored = uint32_t(stored < record_data_max ? stored : record_data_max);
    store(h, data);
}

} // namespace

void wire_capture_reset() {
    head = tail = end_mark = 0;
    wrapped = false;
    kept = 0;
    dropped = 0;
    run_length = 0;
    input_empty = false;
    serial_line = WireSerialLine{};
}

void wire_capture_enable(bool on) {
    enabled = on;
}

bool wire_capture_enabled() {
    return enabled;
}

void wire_capture_visit(WireVisit visit, void* context) {
    commit_run();
    size_t at = head;
    bool upper = wrapped;
    for (size_t i = 0; i < kept; ++i) {
        if (upper && at == end_mark) {
            at = 0;
            upper = false;
        }
        const Header& h = *header_at(at);
        WireCaptureRecord r{
            h.time_us,       h.kind,         h.direction,
            h.local_address, h.peer_address, h.local_port,
            h.peer_port,     h.length,       reinterpret_cast<const uint8_t*>(&h + 1),
            h.stored};
        visit(r, context);
        at += record_size(h.stored);
    }
}

uint64_t wire_capture_dropped() {
    return dropped;
}

WireSerialLine wire_capture_serial_line() {
    return serial_line;
}

void wire_serial_opened(int port, uint32_t baud, char parity, uint32_t data_bits,
                        uint32_t stop_bits) {
    if (!enabled) return;
    serial_line = WireSerialLine{port, baud, parity, data_bits, stop_bits};
}

namespace {

// Whether an inbound byte at now comes after a pause in the line.
bool paused(uint64_t now) {
    if (!input_empty) return false;
    uint64_t pause = wire_serial_pause_us;
    if (serial_line.baud > 0) pause = std::max<uint64_t>(pause, 40000000u / serial_line.baud);
    return now - run_last > pause;
}

} // namespace

void wire_serial_byte(WireDirection direction, uint8_t byte) {
    if (!enabled) return;
    uint64_t now = wire_clock_us();
    if (run_length > 0 && (direction != run_direction || run_length == sizeof run ||
                           (direction == WireDirection::inbound && paused(now))))
        commit_run();
    if (run_length == 0) {
        run_time = now;
        run_direction = direction;
    }
    run[run_length++] = byte;
    run_last = now;
    if (direction == WireDirection::inbound) input_empty = false;
}

void wire_serial_input_empty() {
    input_empty = true;
}

void wire_datagram(WireDirection direction, const WireEndpoints& ends, const void* data,
                   size_t stored, size_t length) {
    if (!enabled) return;
    store_network(WireKind::datagram, direction, ends, data, stored, length);
}

void wire_stream_connected(const WireEndpoints& ends) {
    if (!enabled) return;
    store_network(WireKind::stream_start, WireDirection::outbound, ends, nullptr, 0, 0);
}

void wire_stream(WireDirection direction, const WireEndpoints& ends, const void* data,
                 size_t length) {
    if (!enabled) return;
    const auto* bytes = static_cast<const uint8_t*>(data);
    do {
        size_t piece = length < record_data_max ? length : record_data_max;
        store_network(WireKind::stream, direction, ends, bytes, piece, piece);
        bytes += piece;
        length -= piece;
    } while (length > 0);
}
