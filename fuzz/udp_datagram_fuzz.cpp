// The plain UDP datagram's kind, the receive checks, the text checksum and
// the reply the link hands up. The first byte chooses the source, the
// broadcast target, a read that reports more than it took, and the caller's
// reply size; the rest is the datagram.
#include "check.h"
#include "net/datagram_checks.h"
#include "net/udp.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// The text checksum, stated on its own: the two bytes before the last are
// decimal digits, tens first, equal to the 8-bit sum of the bytes between
// the first byte and the digits, modulo 100.
bool checksum_by_rule(const uint8_t* b, size_t n) {
    if (n < 5) return false;
    uint8_t t = b[n - 3], o = b[n - 2];
    if (t < '0' || t > '9' || o < '0' || o > '9') return false;
    unsigned sum = 0;
    for (size_t i = 1; i + 3 < n; ++i) sum = (sum + b[i]) & 0xFF;
    return unsigned((t - '0') * 10 + (o - '0')) == sum % 100;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    uint8_t flags = data[0];
    const uint8_t* dgram = data + 1;
    size_t n = size - 1;
    const uint32_t target_address = 0x020000C0;
    bool broadcast = (flags & 1) != 0;
    bool from_other = (flags & 2) != 0;
    size_t reported = (flags & 4) != 0 ? n + 600 : n;

    // The link reads into its received text, no more than it holds.
    static ReceivedText text;
    memset(&text, 0xEE, sizeof text);
    size_t took = n < sizeof text.bytes ? n : sizeof text.bytes;
    memcpy(text.bytes, dgram, took);

    uint8_t kind = 0;
    UdpVerdict v =
        udp_check_datagram(text.bytes, reported, from_other ? 0x090000C0 : target_address,
                           broadcast ? address_broadcast : target_address, &kind);
    UdpVerdict expected = reported == 0                           ? UdpVerdict::too_short
                          : reported > 1 && reported < 5          ? UdpVerdict::too_short
                          : reported == 1 && dgram[0] == udp_text ? UdpVerdict::too_short
                          : reported > received_text_max          ? UdpVerdict::too_long
                          : !broadcast && from_other              ? UdpVerdict::foreign
                                                                  : UdpVerdict::accepted;
    FUZZ_CHECK(v == expected);
    if (v != UdpVerdict::accepted) return 0;
    FUZZ_CHECK(kind == (reported == 1 ? dgram[0] : udp_text));
    if (kind != udp_text) return 0;

    bool ok = udp_text_checksum_ok(text.bytes, n);
    FUZZ_CHECK(ok == checksum_by_rule(dgram, n));
    if (!ok) return 0;

    // An accepted text re-encodes to the same bytes: its first byte, text
    // and separator, the checksum as "%02u", its last byte.
    unsigned sum = 0;
    for (size_t i = 1; i + 3 < n; ++i) sum = (sum + dgram[i]) & 0xFF;
    char digits[3];
    snprintf(digits, sizeof digits, "%02u", sum % 100);
    FUZZ_CHECK(dgram[n - 3] == uint8_t(digits[0]) && dgram[n - 2] == uint8_t(digits[1]));

    // The reply handed up: the text and its separator, never more than
    // arrived, cut to the caller's buffer.
    size_t reply_size = 1 + (flags >> 3) * 20;
    char* reply = new char[reply_size];
    copy_reply(reply, reply_size, text.bytes + 1, n - 4);
    size_t got = strnlen(reply, reply_size);
    FUZZ_CHECK(got < reply_size && got <= n - 4);
    FUZZ_CHECK(memcmp(reply, dgram + 1, got) == 0);
    delete[] reply;
    return 0;
}
