// What the network links decide about the bytes that come in, apart from any
// socket: the RMLX datagram checks and how a request takes an accepted
// frame, the plain UDP datagram's kind and text checksum, and the gathering
// of a TCP reply from its pieces.
#pragma once

#include "net/net_link.h"
#include "net/rmlx_frame.h"

#include <cstddef>
#include <cstdint>

// The RMLX receive checks of one datagram of n bytes (as the read reports
// its size; the bytes are read only when n is at most frame_size), from the
// source address from to a link whose target is target, in the order they
// run: the first that fails is the verdict.
enum class RmlxVerdict {
    accepted,
    too_small,      // fewer than frame_header_size bytes
    too_large,      // more than frame_size bytes
    foreign,        // not from the target (unless that is the broadcast address)
    bad_header_sum, // bytes 10 and 11 are not the checksum of bytes 0 to 9
    bad_length,     // the length field is not n - frame_header_size
    bad_id,         // not frame_id_device
};
RmlxVerdict rmlx_check_datagram(const uint8_t* bytes, size_t n, uint32_t from, uint32_t target);

// How a request's reply wait takes an accepted frame, by the first rule
// that fits, for the link's fsn.
enum class RmlxAnswer {
    other_fsn, // another request's frame
    resync,    // RST
    nak,       // send the request again
    reply,     // REP with a good data checksum
    bad_reply, // REP with a bad data checksum
    other,     // any other opcode
};
RmlxAnswer rmlx_classify_answer(const RmlxFrame& frame, uint16_t fsn);

// The plain UDP receive checks of one datagram of n bytes; on accepted,
// *kind is what the datagram is: its byte when it has one, udp_text when
// longer.
enum class UdpVerdict {
    accepted,
    too_short, // empty, or text without room for STX, "/", two digits and ETX
    too_long,  // more than received_text_max bytes
    foreign,   // not from the target (unless that is the broadcast address)
};
UdpVerdict udp_check_datagram(const uint8_t* bytes, size_t n, uint32_t from, uint32_t target,
                              uint8_t* kind);

// The checksum of a text datagram of n bytes: its two bytes before the last,
// decimal digits, against the sum of the bytes between the first byte and
// the digits.
bool udp_text_checksum_ok(const uint8_t* bytes, size_t n);

// A TCP reply gathered from its pieces into a caller's buffer: the text up to
// the first zero byte, cut to the buffer.
struct TcpGather {
    bool any = false;   // a piece has come
    bool ended = false; // a zero byte ended the text
    size_t kept = 0;    // text bytes in the reply buffer
    size_t cut = 0;     // text bytes the reply buffer had no room for
};
// Adds one piece of len bytes to the reply (reply_size bytes); the reply is
// terminated once the gathering ends (tcp_gather_end).
void tcp_gather_piece(TcpGather& g, const uint8_t* piece, size_t len, char* reply,
                      size_t reply_size);
// Whether the reply may end: a piece came, and it holds the three status
// fields, ended in a zero byte, or filled the buffer.
bool tcp_gather_complete(const TcpGather& g, size_t reply_size);
void tcp_gather_end(const TcpGather& g, char* reply, size_t reply_size);
