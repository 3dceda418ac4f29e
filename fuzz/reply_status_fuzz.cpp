// The reply text's status bytes and its data part copied into a small
// caller's buffer. The first byte chooses the buffer's size (0 to 63); the
// rest, up to its first zero byte and at most 999 characters, is the reply
// text as the links leave it.
#include "check.h"
#include "command/command.h"

#include <cstdint>
#include <cstring>

namespace {

int hex_by_rule(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') return (c | 0x20) - 'a' + 10;
    return -1;
}

// The byte at pos: two hexadecimal digits, else 0xFF (also past the end).
int32_t byte_by_rule(const char* r, size_t len, size_t pos) {
    if (pos + 2 > len) return 0xFF;
    int hi = hex_by_rule(uint8_t(r[pos])), lo = hex_by_rule(uint8_t(r[pos + 1]));
    return hi < 0 || lo < 0 ? 0xFF : hi * 16 + lo;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size_t capacity = data[0] % 64;
    static char reply[reply_buffer_size];
    size_t len = strnlen(reinterpret_cast<const char*>(data + 1), size - 1);
    if (len > reply_buffer_size - 1) len = reply_buffer_size - 1;
    memcpy(reply, data + 1, len);
    reply[len] = '\0';

    ReplyStatus s = decode_reply_status(reply, len);
    FUZZ_CHECK(s.error_code == byte_by_rule(reply, len, 0));
    FUZZ_CHECK(s.device_status == byte_by_rule(reply, len, 3));
    FUZZ_CHECK(s.function_status == byte_by_rule(reply, len, 6));

    // Exactly the caller's size, so that a write past it is caught.
    char* out = new char[capacity == 0 ? 1 : capacity];
    out[0] = 'X';
    size_t n = copy_reply_data(reply, len, out, capacity);
    size_t arrived = len > 9 ? len - 9 : 0;
    if (capacity == 0) {
        FUZZ_CHECK(n == 0 && out[0] == 'X'); // no room: nothing written
    } else {
        // Never more data than arrived, nor than fits; the data as they came.
        FUZZ_CHECK(n <= arrived && n < capacity);
        FUZZ_CHECK(n == (arrived < capacity ? arrived : capacity - 1));
        FUZZ_CHECK(out[n] == '\0' && memcmp(out, reply + 9, n) == 0);
    }
    delete[] out;
    return 0;
}
