#include "serial/reply_frame.h"

#include "codec/frame_checksum.h"

bool reply_body_verify(char* body, size_t len) {
    if (len < reply_frame_min || !frame_digits_match(reinterpret_cast<const uint8_t*>(body), len))
        return false;
    body[len - 3] = '\0';
    return true;
}
