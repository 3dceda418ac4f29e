// The wire recorder: every byte the console writes to or reads from the
// serial port, and every datagram and stream piece it sends or receives on
// the network links, with a microsecond time stamp and its direction. The
// platform seams (serial device, socket calls) feed it; it keeps the records
// in memory, at most wire_capture_capacity bytes of them, dropping the
// oldest when more come. Connect starts a fresh capture.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t wire_capture_capacity = size_t(16) << 20;

enum class WireKind : uint8_t {
    serial,       // a run of bytes in one direction
    datagram,     // one UDP datagram
    stream,       // one piece of the TCP stream
    stream_start, // the TCP connection was made
};

enum class WireDirection : uint8_t {
    inbound,  // from the device
    outbound, // from the console
};

struct WireCaptureRecord {
    uint64_t time_us; // since 1970, of the first byte of a serial run
    WireKind kind;
    WireDirection direction;
    // Network records: IPv4 addresses in network order, ports in host
    // order; 0 where the system could not tell.
    uint32_t local_address, peer_address;
    uint16_t local_port, peer_port;
    uint32_t length;     // bytes on the wire
    const uint8_t* data; // the first `stored` of them
    uint32_t stored;
};

// The serial line of the capture: the port last opened since the reset.
struct WireSerialLine {
    int port = 0; // 0: none opened
    uint32_t baud = 0;
    char parity = 'N';
    uint32_t data_bits = 8, stop_bits = 1;
};

// Empties the capture (Connect calls it): records, drop count, serial line.
void wire_capture_reset();
// Recording is on from the start; off, the seams record nothing.
void wire_capture_enable(bool on);
bool wire_capture_enabled();

// Calls visit for every record kept, oldest first.
using WireVisit = void (*)(const WireCaptureRecord& record, void* context);
void wire_capture_visit(WireVisit visit, void* context);
// Records dropped to stay within the capacity since the reset.
uint64_t wire_capture_dropped();
WireSerialLine wire_capture_serial_line();

// Both ends of a network record, as in WireCaptureRecord. The recorder
// knows no sockets: the socket seam finds the ends (net/socket_capture.h).
struct WireEndpoints {
    uint32_t local_address = 0, peer_address = 0;
    uint16_t local_port = 0, peer_port = 0;
};

// What the seams call.
void wire_serial_opened(int port, uint32_t baud, char parity, uint32_t data_bits,
                        uint32_t stop_bits);
void wire_serial_byte(WireDirection direction, uint8_t byte);
// The console found no byte waiting on the serial line. An inbound byte
// that then comes after a pause starts a record of its own, so that its
// time is its own and not that of the bytes before it: a reply frame held
// back after the device's ACK shows when it came.
void wire_serial_input_empty();
// The pause: longer than this many microseconds and than four characters at
// the line's rate.
inline constexpr uint64_t wire_serial_pause_us = 20000;
// A datagram of length bytes between ends, of which stored are at data.
void wire_datagram(WireDirection direction, const WireEndpoints& ends, const void* data,
                   size_t stored, size_t length);
void wire_stream_connected(const WireEndpoints& ends);
void wire_stream(WireDirection direction, const WireEndpoints& ends, const void* data,
                 size_t length);

// The platform's clock: microseconds since 1970.
uint64_t wire_clock_us();
