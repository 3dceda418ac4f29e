// The RMLX frame: a 12-byte header and up to 500 data bytes in one UDP
// datagram, its opcodes and its checksums.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

// The wire is little-endian and the header is sent as it lies in memory, as
// on the console's own platforms.
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

struct RmlxFrame {
    FrameHeader header;
    uint8_t data[frame_data_size];
};
static_assert(sizeof(RmlxFrame) == frame_size);

inline constexpr uint16_t frame_id_console = 0xE18F; // frames the console sends
inline constexpr uint16_t frame_id_device = 0x7A2D;  // frames the console accepts

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

// 0xAA55 plus every byte as an unsigned value, modulo 65536.
constexpr uint16_t rmlx_checksum(const uint8_t* bytes, size_t len) {
    uint16_t sum = 0xAA55;
    for (size_t i = 0; i < len; ++i) sum = uint16_t(sum + bytes[i]);
    return sum;
}
// Fills in both checksums of a frame whose id to length fields and data are
// set: the data checksum first, since the header checksum covers it.
void seal_frame(RmlxFrame* frame);
bool data_checksum_ok(const RmlxFrame& frame);
