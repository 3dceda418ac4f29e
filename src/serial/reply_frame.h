// The serial reply frame as the link takes it in after STX: the body up to
// ETX, and the checks that accept or reject it. No port: bytes in, decision
// out.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t reply_frame_min = 11; // status text, separator, two digits

// Adds one received byte (not ETX) to the body of len bytes, if fewer than
// max are held; bytes past max are dropped. Returns the new length.
constexpr size_t reply_body_put(char* body, size_t len, size_t max, uint8_t byte) {
    if (len < max) body[len++] = char(byte);
    return len;
}

// Checks a received body of len bytes: at least reply_frame_min, and its last
// two bytes decimal digits, the checksum of every byte before them (the
// separator included, whatever it is). On success the separator and the digits are cut off (the
// body is terminated at len - 3) and true is returned; else the body is left
// as it is.
bool reply_body_verify(char* body, size_t len);
