// The BMP picture's header checks, row packing and reading.
#include "logo/logo.h"

#include <array>
#include <cstring>

Result logo_check_header(const uint8_t* header, LogoHeader& out) {
    auto le32 = [](const uint8_t* p) {
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    };
    uint32_t w = le32(header + 18);
    uint32_t h = le32(header + 22);
    auto bits = int16_t(uint16_t(header[28] | header[29] << 8));
    if (bits != 1) return logo_not_one_bit;
    if (w == 0 || w > logo_max_side) return logo_width_invalid;
    if (h == 0 || h > logo_max_side) return logo_height_invalid;
    out = {le32(header + 10), w, h};
    return result_ok;
}

void logo_pack_rows(const uint8_t* stored_rows, unsigned width, unsigned height,
                    uint8_t* packed_rows) {
    // The file holds the bottom row first; the device takes the top first.
    size_t row_size = logo_stored_row_size(width);
    size_t row_bytes = (width + 7) / 8;
    for (size_t r = 0; r < height; ++r)
        memcpy(packed_rows + r * row_bytes, stored_rows + (height - 1 - r) * row_size, row_bytes);
}

Result logo_read_file(FILE* f, LogoHeader& header, uint8_t* packed_rows) {
    // Stored rows are at most 32 bytes (256 pixels, padded to 4 bytes), so the
    // largest picture fits one buffer however its file is laid out.
    static std::array<uint8_t, logo_max_row_bytes * logo_max_side> stored;
    uint8_t bytes[logo_header_size];
    if (fread(bytes, 1, sizeof bytes, f) != sizeof bytes) return logo_header_unread;
    if (Result refused = logo_check_header(bytes, header); refused != result_ok) return refused;
    // Pixel data beyond where a 32-bit long seeks to are no logo's.
    if (header.offset > logo_offset_max || fseek(f, long(header.offset), SEEK_SET) != 0 ||
        fread(stored.data(), 1, header.data_size(), f) != header.data_size())
        return logo_data_unread;
    logo_pack_rows(stored.data(), header.width, header.height, packed_rows);
    return result_ok;
}
