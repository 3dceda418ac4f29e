// What the three network links share: the link record, the RMLX frame, the
// millisecond timers, the WinSock error names and the trace lines.
#pragma once

#include "app/results.h"
#include "net/socket.h"

#include <bit>
#include <cstddef>
#include <cstdint>

// A millisecond timer on the system tick; both values 0 means expired.
struct MsTimer {
    uint32_t start;
    uint32_t duration;
};

void timer_start(MsTimer* timer, uint32_t duration_ms);
// True once duration has passed since start (wrap-safe); then the timer is
// cleared so that it stays expired until started again.
bool timer_expired(MsTimer* timer);
// Milliseconds left before expiry; 0 when expired. Does not clear the timer.
uint32_t timer_remaining(const MsTimer& timer);

// The RMLX frame header. The wire is little-endian and the header is sent as
// it lies in memory, as on the console's own platforms.
struct FrameHeader {
    uint16_t id;
    uint16_t fsn;
    uint8_t opcode;
    uint8_t reserved;
    uint16_t length;     // data bytes after the header
    uint16_t data_sum;   // 0xAA55 + data bytes, modulo 65536
    uint16_t header_sum; // 0xAA55 + header bytes 0 to 9, modulo 65536
};
static_assert(sizeof(FrameHeader) == 12);
static_assert(std::endian::native == std::endian::little);

inline constexpr size_t frame_header_size = 12;
inline constexpr size_t frame_data_size = 500;
inline constexpr size_t frame_size = frame_header_size + frame_data_size;

struct NetFrame {
    FrameHeader header;
    uint8_t data[frame_data_size];
};
static_assert(sizeof(NetFrame) == frame_size);

inline constexpr uint16_t frame_id_console = 0xE18F; // frames the console sends
inline constexpr uint16_t frame_id_device = 0x7A2D;  // frames the console accepts
inline constexpr uint32_t address_broadcast = 0xFFFFFFFFu;

enum : uint8_t {
    op_qry = 0x00,
    op_act = 0x01,
    op_rst = 0x10,
    op_syn = 0x11,
    op_ack = 0x12,
    op_nak = 0x13,
    op_req = 0x21,
    op_rep = 0x22,
};
const char* opcode_name(uint8_t opcode); // "???" for any other value

// The link record: one for the connection, zeroed before every network
// connect, and one for device discovery.
struct NetLink {
    uint8_t synchronised;
    uint32_t target;      // network order; all ones: broadcast, any source accepted
    uint32_t last_source; // network order
    MsTimer sync_timer;
    uint16_t fsn; // 0: never synchronised
    NetFrame receive;
    NetFrame transmit;
};

// 0xAA55 plus every byte as an unsigned value, modulo 65536.
constexpr uint16_t rmlx_checksum(const uint8_t* bytes, size_t len) {
    uint16_t sum = 0xAA55;
    for (size_t i = 0; i < len; ++i) sum = uint16_t(sum + bytes[i]);
    return sum;
}
// Fills in both checksums of a frame whose id to length fields and data are
// set: the data checksum first, since the header checksum covers it.
void seal_frame(NetFrame* frame);

// The short name of a WinSock error code, or "Unknown 0x%04X"; the text
// lives in one buffer that the next call overwrites.
const char* winsock_error_name(int code);
// Logs "<message>: <name of the last socket error>".
void report_socket_error(const char* message);

// An IPv4 address (network order) in dotted decimal, as inet_ntoa gives it:
// one buffer that the next call overwrites.
const char* dotted(uint32_t address);

// With details on: the trace line of an RMLX frame being sent (received
// false, address the target) or accepted (address its source).
void trace_frame(const NetFrame& frame, bool received, uint32_t address);

// Copies len bytes into reply and terminates it, cut to reply_size - 1.
void copy_reply(char* reply, size_t reply_size, const uint8_t* data, size_t len);

// With details on: "Sending '%s'" with the request's first 40 characters.
void log_request_line(const char* request);

// A link's hold on its socket. Each link keeps a socket of its own, so that
// initialising or closing one link never pulls the socket from under another.
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
int init_slot(SocketSlot& slot, const char* prefix, SocketKind kind, uint32_t address,
              uint16_t port);
void close_slot(SocketSlot& slot);

// Hands the processor back until the slot's socket is readable, a window
// event comes or the timer expires.
void wait_for_input(const SocketSlot& slot, const MsTimer& timer);

// Waits up to the timer for one accepted datagram: pumps window messages,
// polls receive, and hands the processor back while nothing came. *got is
// clear when the timer expired; a failure of receive is returned.
using ReceiveOne = int (*)(NetLink& link, bool* received);
int next_input(NetLink& link, MsTimer& timer, const SocketSlot& slot, ReceiveOne receive,
               bool* got);
