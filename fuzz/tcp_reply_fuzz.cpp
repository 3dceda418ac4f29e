// The TCP reply gathered from its pieces into a caller's buffer. The first
// byte chooses the buffer's size; then each piece is a length byte (its
// high bit: the gap after the piece before it ran out), then its bytes.
#include "check.h"
#include "net/datagram_checks.h"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size_t reply_size = data[0] == 0xFF ? 1000 : size_t(data[0] % 64) + 1;
    char* reply = new char[reply_size];
    memset(reply, 'R', reply_size);
    TcpGather g;
    std::string text; // every byte gathered before the first zero byte
    bool zero_seen = false;
    size_t pos = 1;
    while (pos < size) {
        bool gap_over = (data[pos] & 0x80) != 0;
        size_t len = (data[pos] & 0x7F) + 1; // a read that found bytes has one at least
        ++pos;
        if (len > size - pos) len = size - pos;
        if (len == 0) break;
        // The gathering ends once the reply may end and the gap has run out.
        if (tcp_gather_complete(g, reply_size) && gap_over) break;
        tcp_gather_piece(g, data + pos, len, reply, reply_size);
        for (size_t i = 0; i < len && !zero_seen; ++i) {
            if (data[pos + i] == 0)
                zero_seen = true;
            else
                text += char(data[pos + i]);
        }
        pos += len;
        FUZZ_CHECK(g.kept + 1 <= reply_size);
        FUZZ_CHECK(g.kept + g.cut == text.size());
        FUZZ_CHECK(g.ended == zero_seen);
        bool complete = g.ended || g.kept >= 8 || g.kept + 1 >= reply_size;
        FUZZ_CHECK(tcp_gather_complete(g, reply_size) == complete);
    }
    if (g.any) {
        tcp_gather_end(g, reply, reply_size);
        // The reply is the gathered text, cut to the buffer, terminated.
        FUZZ_CHECK(strnlen(reply, reply_size) == g.kept);
        FUZZ_CHECK(text.compare(0, g.kept, reply, g.kept) == 0);
        FUZZ_CHECK(g.cut == 0 || g.kept + 1 == reply_size);
    }
    delete[] reply;
    return 0;
}
