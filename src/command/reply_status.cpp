// The reply text's status bytes and data part, apart from any link.
#include "command/command.h"

#include <cstring>

namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Status byte at pos of the reply; positions past the reply's end count as
// digits that are not hexadecimal, never as bytes left from an older reply.
int32_t status_byte(const char* reply, size_t reply_len, size_t pos) {
    if (pos + 1 >= reply_len) return 0xFF;
    return decode_hex_byte(reply + pos) & 0xFF;
}

} // namespace

int decode_hex_byte(const char* two) {
    int high = hex_digit(two[0]);
    if (high < 0) return -1;
    int low = hex_digit(two[1]);
    if (low < 0) return -1;
    return ((high << 4) & 0xF0) | low;
}

ReplyStatus decode_reply_status(const char* reply, size_t len) {
    return {status_byte(reply, len, 0), status_byte(reply, len, 3), status_byte(reply, len, 6)};
}

size_t copy_reply_data(const char* reply, size_t len, char* data, size_t capacity) {
    if (capacity == 0) return 0;
    size_t n = len > 8 ? len - 9 : 0;
    if (n >= capacity) n = capacity - 1;
    if (n > 0) memcpy(data, reply + 9, n);
    data[n] = '\0';
    return n;
}
