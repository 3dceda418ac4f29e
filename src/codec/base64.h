// Base64 with the RFC 4648 alphabet and "=" padding, no line breaks.
#pragma once

#include <cstddef>

// Writes 4 * ceil(len / 3) characters and a terminator to out; returns the
// number of characters written, not counting the terminator.
size_t base64_encode(const unsigned char* src, size_t len, char* out);

constexpr size_t base64_encoded_size(size_t len) {
    return (len + 2) / 3 * 4;
}
