#include "serial/reply_frame.h"

#include "codec/frame_checksum.h"

bool reply_body_verify(char* body, size_t len) {
    if (len < reply_frame_min) return false;
    uint8_t sum = 0;
    for (size_t i = 0; i + 2 < len; ++i) sum = uint8_t(sum + uint8_t(body[i]));
    int received = frame_checksum_digits(uint8_t(body[len - 2]), uint8_t(body[len - 1]));
    if (received != int(sum % 100u)) return false;
    body[len - 3] = '\0';
    return true;
}
