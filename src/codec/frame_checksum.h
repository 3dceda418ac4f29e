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

// The checksum two received characters carry, tens first: 0 to 99, or -1
// when either is not a decimal digit (a frame whose checksum is no number is
// corrupt, whatever the sum).
constexpr int frame_checksum_digits(uint8_t tens, uint8_t ones) {
    if (tens < '0' || tens > '9' || ones < '0' || ones > '9') return -1;
    return 10 * (tens - '0') + (ones - '0');
}

// Whether the last two of len received bytes are the checksum of the bytes
// before them (the text and its separator).
constexpr bool frame_digits_match(const uint8_t* bytes, size_t len) {
    if (len < 2) return false;
    uint8_t sum = 0;
    for (size_t i = 0; i + 2 < len; ++i) sum = uint8_t(sum + bytes[i]);
    return frame_checksum_digits(bytes[len - 2], bytes[len - 1]) == int(sum % 100u);
}

static_assert(frame_checksum("v", 1) == 65);
static_assert(frame_checksum_digits('6', '5') == 65);
static_assert(frame_checksum_digits(':', 0xD1) == -1); // 10 * 10 + 161 wraps to 5
static_assert(frame_checksum("x/5", 3) == 11);
