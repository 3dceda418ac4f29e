// The three network links: RMLX frames over UDP with device discovery, a
// TCP connection carrying bare text, and the serial character protocol in
// UDP datagrams. Every operation returns result_ok, net_socket_failure or
// net_protocol_failure and logs its reason before it fails. Requests read
// `details` to decide whether they trace their frames.
#pragma once

#include "net/net_link.h"

#include <cstddef>
#include <cstdint>

inline constexpr uint16_t rmlx_port = 24222;
inline constexpr uint16_t tcp_port = 9101;
inline constexpr uint16_t udp_port = 9101;
inline constexpr uint32_t discovered_max = 100; // addresses the caller keeps
// The longest request text the plain UDP link frames: more than any request
// the console composes (a typed command has at most 1999 characters).
inline constexpr size_t udp_text_max = 2000;

// RMLX over UDP.
int rmlx_init();
void rmlx_close();
int rmlx_open(NetLink& link, uint32_t address, uint8_t query);
int rmlx_query(NetLink& link);
// Broadcasts QRY for eight passes of 500 ms and lists each answering address
// once, in the order of their first answer, at most capacity of them.
int rmlx_discover(uint32_t* list, uint32_t capacity, uint32_t* count);
// On success reply holds the REP data, terminated (cut to reply_size - 1).
int rmlx_request(NetLink& link, const char* request, char* reply, size_t reply_size);
int rmlx_sync(NetLink& link);
// Sends the transmit frame with length data bytes (at most 500).
int rmlx_send_frame(NetLink& link, uint8_t opcode, uint8_t reserved, uint16_t fsn, uint16_t length);
// Accepts at most one frame into the receive frame; never blocks.
int rmlx_receive_frame(NetLink& link, bool* received);
bool data_checksum_ok(const NetFrame& frame);
// Restarts the pseudo-random fsn sequence (tests make it repeatable).
void rmlx_seed_random(uint32_t seed);

// TCP.
int tcp_init(uint32_t address);
void tcp_close();
int tcp_open(NetLink& link, uint32_t address);
// On success reply holds the reply text, terminated (cut to reply_size - 1).
int tcp_request(NetLink& link, const char* request, char* reply, size_t reply_size);
int tcp_send(const char* data, size_t length);
// Reads what is pending, at most 499 bytes, into the receive frame's data.
int tcp_receive(NetLink& link, bool* received);

// Plain UDP.
enum : uint8_t {
    udp_stx = 0x02,
    udp_etx = 0x03,
    udp_enq = 0x05,
    udp_ack = 0x06,
    udp_resync = 0x10,
    udp_nak = 0x16,
    udp_text = 0x22, // kind of every datagram longer than one byte
};
int udp_init();
void udp_close();
int udp_open(NetLink& link, uint32_t address);
// On success reply holds the reply text and its "/" separator, terminated
// (cut to reply_size - 1).
int udp_request(NetLink& link, const char* request, char* reply, size_t reply_size);
int udp_sync(NetLink& link);
// kind: udp_enq, udp_ack, udp_nak as one byte, or udp_text framing text.
int udp_send(NetLink& link, uint8_t kind, const char* text, size_t length);
int udp_receive(NetLink& link, bool* received);
bool text_checksum_ok(const NetFrame& frame);
