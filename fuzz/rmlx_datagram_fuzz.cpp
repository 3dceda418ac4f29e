// The RMLX datagram checks and how a request takes an accepted frame. The
// first byte chooses the source (the target or a foreign address), whether
// the target is the broadcast address, whether the read reports more bytes
// than the buffer took, the fsn the link waits for and the caller's reply
// size; the rest is the datagram.
#include "check.h"
#include "net/datagram_checks.h"

#include <cstdint>
#include <cstring>

namespace {

uint16_t le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

uint16_t sum16(const uint8_t* p, size_t n) {
    unsigned s = 0xAA55;
    for (size_t i = 0; i < n; ++i) s += p[i];
    return uint16_t(s);
}

// The checks, stated on their own, in their order.
RmlxVerdict verdict_by_rule(const uint8_t* b, size_t n, bool foreign) {
    if (n < 12) return RmlxVerdict::too_small;
    if (n > 512) return RmlxVerdict::too_large;
    if (foreign) return RmlxVerdict::foreign;
    if (sum16(b, 10) != le16(b + 10)) return RmlxVerdict::bad_header_sum;
    if (le16(b + 6) != n - 12) return RmlxVerdict::bad_length;
    if (le16(b) != 0x7A2D) return RmlxVerdict::bad_id;
    return RmlxVerdict::accepted;
}

RmlxAnswer answer_by_rule(const uint8_t* b, uint16_t fsn) {
    if (le16(b + 2) != fsn) return RmlxAnswer::other_fsn;
    switch (b[4]) {
    case 0x10:
        return RmlxAnswer::resync;
    case 0x13:
        return RmlxAnswer::nak;
    case 0x22: {
        size_t len = le16(b + 6);
        bool good = len == 0 || sum16(b + 12, len) == le16(b + 8);
        return good ? RmlxAnswer::reply : RmlxAnswer::bad_reply;
    }
    default:
        return RmlxAnswer::other;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    uint8_t flags = data[0];
    const uint8_t* dgram = data + 1;
    size_t n = size - 1;
    const uint32_t target_address = 0x0200007F; // 127.0.0.2
    bool broadcast = (flags & 1) != 0;
    bool from_other = (flags & 2) != 0;
    size_t reported = (flags & 4) != 0 ? n + 1000 : n; // MSG_TRUNC's whole size
    uint32_t target = broadcast ? address_broadcast : target_address;
    uint32_t from = from_other ? 0x0900007F : target_address;

    // The link reads into its receive frame, no more than it holds.
    static RmlxFrame frame;
    memset(&frame, 0xEE, sizeof frame);
    memcpy(&frame, dgram, n < sizeof frame ? n : sizeof frame);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&frame);

    RmlxVerdict v = rmlx_check_datagram(bytes, reported, from, target);
    FUZZ_CHECK(v == verdict_by_rule(dgram, reported, !broadcast && from_other));
    if (v != RmlxVerdict::accepted) return 0;
    FUZZ_CHECK(frame.header.length <= frame_data_size);

    uint16_t fsn = (flags & 8) != 0 ? frame.header.fsn : uint16_t(flags << 4);
    RmlxAnswer a = rmlx_classify_answer(frame, fsn);
    FUZZ_CHECK(a == answer_by_rule(dgram, fsn));
    if (a != RmlxAnswer::reply) return 0;

    // A reply re-encodes to the same bytes (the data checksum of an empty
    // one is not looked at).
    static RmlxFrame again;
    memset(&again, 0, sizeof again);
    again.header = frame.header;
    memcpy(again.data, frame.data, frame.header.length);
    if (frame.header.length == 0) again.header.data_sum = 0xAA55;
    seal_frame(&again);
    if (frame.header.length > 0) FUZZ_CHECK(memcmp(&again, dgram, n) == 0);

    // The reply text never claims more than arrived, nor more than fits.
    size_t reply_size = 1 + (flags >> 4) * 40;
    char* reply = new char[reply_size];
    copy_reply(reply, reply_size, frame.data, frame.header.length);
    size_t got = strnlen(reply, reply_size);
    FUZZ_CHECK(got < reply_size);
    FUZZ_CHECK(got <= frame.header.length);
    size_t expected = frame.header.length < reply_size - 1 ? frame.header.length : reply_size - 1;
    FUZZ_CHECK(memcmp(reply, frame.data, got) == 0);
    FUZZ_CHECK(got == strnlen(reinterpret_cast<const char*>(frame.data), expected));
    delete[] reply;
    return 0;
}
