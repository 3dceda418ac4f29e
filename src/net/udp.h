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
    // Not the serial link's NAK (0x15): on this link both sides reject with
    // 0x16, the console a bad reply, the device a request to send again.
    udp_nak = 0x16,
    udp_text = 0x22, // kind of every datagram longer than one byte
};
void udp_close();
Result udp_open(NetLink& link, uint32_t address);
// On success reply holds the reply text and its "/" separator, terminated
// (cut to reply_size - 1).
Result udp_request(NetLink& link, const char* request, char* reply, size_t reply_size);
