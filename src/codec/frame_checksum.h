// The frame checksum shared by the serial link and the plain UDP link: the
// 8-bit sum of the frame text and its "/" separator, modulo 100.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr unsigned frame_checksum(const char* text, size_t len) {
    uint8_t sum = 0;
    for (size_t i = 0; i < len; ++i) sum = uint8_t(sum + uint8_t(text[i]));
    sum = uint8_t(sum + '/');
    return sum % 100u;
}

static_assert(frame_checksum("v", 1) == 65);
static_assert(frame_checksum("x/5", 3) == 11);
