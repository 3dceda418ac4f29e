// The plain UDP link: the serial character protocol in UDP datagrams. Every
// operation returns result_ok, net_socket_failure or net_protocol_failure and
// logs its reason before it fails.
#pragma once

#include "net/net_link.h"

#include <cstddef>
#include <cstdint>

inline constexpr uint16_t udp_port = 9101;
// The longest request text the plain UDP link frames: more than any request
// the console composes (a typed command has at most 1999 characters).
inline constexpr size_t udp_text_max = 2000;
inline constexpr size_t udp_text_extra = 5; // STX, "/", two digits, ETX around a text

// What a datagram is: a one-byte datagram is a control character, any
// longer one text.
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
// Accepts at most one datagram into the link's received text; never blocks.
int udp_receive(NetLink& link, bool* received);
bool text_checksum_ok(const ReceivedText& text);

// What choosing the kind in the connection kind list does: an empty address
// list for the operator to type the address into.
void udp_kind_chosen();
