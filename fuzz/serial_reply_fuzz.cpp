// The serial reply collector and its checks: the bytes after STX, up to ETX,
// as the link takes them in.
#include "check.h"
#include "serial/reply_frame.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t body_max = 2047; // what the link keeps
constexpr uint8_t etx = 0x03;

// The rule, stated on its own: at least 11 bytes; the last two are decimal
// digits, tens first, equal to the 8-bit sum of the bytes before them modulo
// 100.
bool accepted_by_rule(const uint8_t* b, size_t len) {
    if (len < 11) return false;
    uint8_t t = b[len - 2], o = b[len - 1];
    if (t < '0' || t > '9' || o < '0' || o > '9') return false;
    unsigned sum = 0;
    for (size_t i = 0; i + 2 < len; ++i) sum = (sum + b[i]) & 0xFF;
    return unsigned((t - '0') * 10 + (o - '0')) == sum % 100;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const void* end_mark = memchr(data, etx, size);
    if (end_mark == nullptr) return 0; // no ETX: the link waits, then NAKs
    size_t before_etx = size_t(static_cast<const uint8_t*>(end_mark) - data);

    static char body[body_max + 1];
    size_t len = 0;
    for (size_t i = 0; i < before_etx; ++i) len = reply_body_put(body, len, body_max, data[i]);
    body[len] = '\0';

    // The collector keeps exactly the first bytes, no more than its room.
    size_t kept = before_etx < body_max ? before_etx : body_max;
    FUZZ_CHECK(len == kept);
    FUZZ_CHECK(memcmp(body, data, kept) == 0);

    bool ok = reply_body_verify(body, len);
    FUZZ_CHECK(ok == accepted_by_rule(data, kept));
    if (!ok) {
        FUZZ_CHECK(memcmp(body, data, kept) == 0 && body[len] == '\0'); // left as it was
        return 0;
    }
    // An accepted frame re-encodes to the same bytes: its text, its
    // separator and the checksum of both as "%02u".
    FUZZ_CHECK(body[len - 3] == '\0');
    unsigned sum = 0;
    for (size_t i = 0; i + 2 < len; ++i) sum = (sum + data[i]) & 0xFF;
    char digits[3];
    snprintf(digits, sizeof digits, "%02u", sum % 100);
    FUZZ_CHECK(memcmp(body, data, len - 3) == 0);
    FUZZ_CHECK(data[len - 2] == uint8_t(digits[0]) && data[len - 1] == uint8_t(digits[1]));
    return 0;
}
