// The "BMP" button: a black-and-white BMP picture sent to the device as a
// logo bitmap, one request per pixel row.
#pragma once

#include "base/results.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

inline constexpr unsigned logo_max_side = 256; // pixels, both ways
inline constexpr unsigned logo_max_row_bytes = logo_max_side / 8;
inline constexpr size_t logo_header_size = 54;           // file header and info header
inline constexpr uint32_t logo_offset_max = 0x7FFFFFFFu; // where a 32-bit long seeks to

// Bytes of one row as the file stores it: 1 bit per pixel, padded to 4 bytes.
constexpr size_t logo_stored_row_size(unsigned width) {
    return (size_t(width) + 31) / 32 * 4;
}

// The header fields a logo is read by.
struct LogoHeader {
    uint32_t offset; // where the pixel rows begin in the file
    unsigned width, height;
    size_t data_size() const { return logo_stored_row_size(width) * height; }
};
// Checks the first logo_header_size bytes of a file: a 1-bit picture of 1 to
// 256 pixels both ways. result_ok with out filled in, or the logo_* result
// of the first check that fails (its words are the operator's message).
Result logo_check_header(const uint8_t* header, LogoHeader& out);
// The stored rows (the bottom row first, each padded) as the packed image:
// the top row first, ceil(width / 8) bytes a row.
void logo_pack_rows(const uint8_t* stored_rows, unsigned width, unsigned height,
                    uint8_t* packed_rows);
// The picture file: its header checked and its rows packed into packed_rows
// (at most logo_max_side * logo_max_row_bytes bytes). result_ok, or the
// logo_* result of the first check that fails.
Result logo_read_file(FILE* f, LogoHeader& header, uint8_t* packed_rows);

// The click handler: picks the picture, then uploads it as bitmap 1. Does
// nothing while a device request runs.
void upload_logo();

// Checks the picture in the file and sends it as bitmap number bitmap
// (0 to 7). Every refusal is shown in a message box; nothing is sent then.
void load_logo_bitmap(unsigned bitmap, const char* file_name);

// Sends the packed image (height rows of ceil(width / 8) bytes, the top row
// first) row by row until a row's link fails.
void send_logo_rows(unsigned bitmap, const uint8_t* packed, unsigned width, unsigned height);
