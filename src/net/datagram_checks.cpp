#include "net/datagram_checks.h"

#include "codec/frame_checksum.h"
#include "net/udp.h"

#include <cstring>

namespace {

constexpr size_t status_length = 8; // "EE/DD/FF"

bool foreign_source(uint32_t from, uint32_t target) {
    return target != address_broadcast && from != target;
}

} // namespace

RmlxVerdict rmlx_check_datagram(const uint8_t* bytes, size_t n, uint32_t from, uint32_t target) {
    if (n < frame_header_size) return RmlxVerdict::too_small;
    if (n > frame_size) return RmlxVerdict::too_large;
    if (foreign_source(from, target)) return RmlxVerdict::foreign;
    FrameHeader h;
    memcpy(&h, bytes, sizeof h);
    if (rmlx_checksum(bytes, 10) != h.header_sum) return RmlxVerdict::bad_header_sum;
    if (h.length != n - frame_header_size) return RmlxVerdict::bad_length;
    if (h.id != frame_id_device) return RmlxVerdict::bad_id;
    return RmlxVerdict::accepted;
}

RmlxAnswer rmlx_classify_answer(const RmlxFrame& frame, uint16_t fsn) {
    const FrameHeader& h = frame.header;
    if (h.fsn != fsn) return RmlxAnswer::other_fsn;
    if (h.opcode == op_rst) return RmlxAnswer::resync;
    if (h.opcode == op_nak) return RmlxAnswer::nak;
    if (h.opcode == op_rep)
        return data_checksum_ok(frame) ? RmlxAnswer::reply : RmlxAnswer::bad_reply;
    return RmlxAnswer::other;
}

UdpVerdict udp_check_datagram(const uint8_t* bytes, size_t n, uint32_t from, uint32_t target,
                              uint8_t* kind) {
    *kind = n == 1 ? bytes[0] : uint8_t(udp_text);
    // A text datagram needs STX, "/", two digits and ETX; an empty one has
    // nothing.
    if (n == 0 || (*kind == udp_text && n < udp_text_extra)) return UdpVerdict::too_short;
    if (n > received_text_max) return UdpVerdict::too_long;
    if (foreign_source(from, target)) return UdpVerdict::foreign;
    return UdpVerdict::accepted;
}

bool udp_text_checksum_ok(const uint8_t* d, size_t n) {
    // Between STX and ETX: the text, its separator and the two digits.
    return n >= udp_text_extra && frame_digits_match(d + 1, n - 2);
}

void tcp_gather_piece(TcpGather& g, const uint8_t* piece, size_t len, char* reply,
                      size_t reply_size) {
    g.any = true;
    size_t text = g.ended ? 0 : strnlen(reinterpret_cast<const char*>(piece), len);
    g.ended = g.ended || text < len;
    size_t room = reply_size > g.kept + 1 ? reply_size - 1 - g.kept : 0;
    size_t take = text < room ? text : room;
    memcpy(reply + g.kept, piece, take);
    g.kept += take;
    g.cut += text - take;
}

bool tcp_gather_complete(const TcpGather& g, size_t reply_size) {
    return g.any && (g.ended || g.kept >= status_length || g.kept + 1 >= reply_size);
}

void tcp_gather_end(const TcpGather& g, char* reply, size_t reply_size) {
    if (reply_size > 0) reply[g.kept] = '\0';
}
