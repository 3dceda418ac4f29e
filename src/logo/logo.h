// The "BMP" button: a black-and-white BMP picture sent to the device as a
// logo bitmap, one request per pixel row.
#pragma once

#include <cstdint>

inline constexpr unsigned logo_max_side = 256; // pixels, both ways
inline constexpr unsigned logo_max_row_bytes = logo_max_side / 8;

// The click handler: picks the picture, then uploads it as bitmap 1.
void upload_logo();

// Checks the picture in the file and sends it as bitmap number bitmap
// (0 to 7). Every refusal is shown in a message box; nothing is sent then.
void load_logo_bitmap(unsigned bitmap, const char* file_name);

// Sends the packed image (height rows of ceil(width / 8) bytes, the top row
// first) row by row until a row's link fails.
void send_logo_rows(unsigned bitmap, const uint8_t* packed, unsigned width, unsigned height);
