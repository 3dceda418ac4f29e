// The network links' decisions about incoming bytes, without a socket.
#include "net/datagram_checks.h"
#include "net/udp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t device = 0x0200007F, stranger = 0x0900007F;

std::string frame(uint16_t id, uint16_t fsn, uint8_t op, const std::string& data, int extra = 0) {
    RmlxFrame f{};
    f.header = {id, fsn, op, 0, uint16_t(data.size() + size_t(extra)), 0, 0};
    memcpy(f.data, data.data(), data.size());
    seal_frame(&f);
    return std::string(reinterpret_cast<const char*>(&f), frame_header_size + data.size());
}

RmlxVerdict check(const std::string& d, uint32_t from = device, uint32_t target = device,
                  size_t reported = 0) {
    RmlxFrame buffer{};
    memcpy(&buffer, d.data(), d.size() < sizeof buffer ? d.size() : sizeof buffer);
    return rmlx_check_datagram(reinterpret_cast<const uint8_t*>(&buffer),
                               reported != 0 ? reported : d.size(), from, target);
}

TEST(RmlxDatagram, ChecksInTheirOrder) {
    std::string rep = frame(frame_id_device, 0x0101, op_rep, "00/00/00");
    std::string bad_header = rep;
    bad_header[10] = char(bad_header[10] + 1);
    std::string bad_length = frame(frame_id_device, 1, op_rep, "0123456789", -2); // says 8
    EXPECT_EQ(check(rep), RmlxVerdict::accepted);
    EXPECT_EQ(check(rep, stranger, address_broadcast), RmlxVerdict::accepted);
    EXPECT_EQ(check(rep.substr(0, 11)), RmlxVerdict::too_small);
    EXPECT_EQ(check(frame(frame_id_device, 1, op_rep, std::string(500, 'L'))),
              RmlxVerdict::accepted);
    EXPECT_EQ(check(rep, device, device, 513), RmlxVerdict::too_large); // the read's whole size
    // A foreign datagram is dropped before its checksum is looked at.
    EXPECT_EQ(check(bad_header, stranger), RmlxVerdict::foreign);
    EXPECT_EQ(check(bad_header), RmlxVerdict::bad_header_sum);
    EXPECT_EQ(check(bad_length), RmlxVerdict::bad_length);
    EXPECT_EQ(check(frame(frame_id_console, 1, op_rep, "00/00/00")), RmlxVerdict::bad_id);
}

TEST(RmlxDatagram, HowARequestTakesAFrame) {
    auto answer = [](const std::string& d, uint16_t fsn) {
        RmlxFrame f{};
        memcpy(&f, d.data(), d.size());
        return rmlx_classify_answer(f, fsn);
    };
    std::string rep = frame(frame_id_device, 7, op_rep, "00/00/00");
    EXPECT_EQ(answer(rep, 7), RmlxAnswer::reply);
    EXPECT_EQ(answer(rep, 8), RmlxAnswer::other_fsn); // a late repetition
    EXPECT_EQ(answer(frame(frame_id_device, 7, op_rst, ""), 7), RmlxAnswer::resync);
    EXPECT_EQ(answer(frame(frame_id_device, 7, op_nak, ""), 7), RmlxAnswer::nak);
    EXPECT_EQ(answer(frame(frame_id_device, 7, op_ack, ""), 7), RmlxAnswer::other);
    std::string bad = rep;
    bad[8] = char(bad[8] + 1);
    EXPECT_EQ(answer(bad, 7), RmlxAnswer::bad_reply);
    // An empty reply is taken whatever its data checksum field holds.
    std::string empty = frame(frame_id_device, 7, op_rep, "");
    empty[8] = 0x12;
    EXPECT_EQ(answer(empty, 7), RmlxAnswer::reply);
}

TEST(UdpDatagram, KindAndChecks) {
    struct Case {
        std::string bytes;
        size_t reported;
        uint32_t from;
        UdpVerdict verdict;
        uint8_t kind;
    };
    const Case cases[] = {
        {"\x06", 1, device, UdpVerdict::accepted, udp_ack},
        {"\x41", 1, device, UdpVerdict::accepted, 0x41},
        {"\x22", 1, device, UdpVerdict::too_short, udp_text}, // a lone 0x22 is text, too short
        {std::string("\x02/1\x03", 4), 4, device, UdpVerdict::too_short, udp_text},
        {"", 0, device, UdpVerdict::too_short, udp_text},
        {"\x02v/65\x03", 6, device, UdpVerdict::accepted, udp_text},
        {"\x02v/65\x03", 6, stranger, UdpVerdict::foreign, udp_text},
        {std::string(499, 'L'), 499, device, UdpVerdict::accepted, udp_text},
        {std::string(499, 'L'), 600, device, UdpVerdict::too_long, udp_text},
    };
    for (const Case& c : cases) {
        uint8_t kind = 0;
        EXPECT_EQ(udp_check_datagram(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.reported,
                                     c.from, device, &kind),
                  c.verdict)
            << c.reported;
        EXPECT_EQ(kind, c.kind) << c.reported;
    }
    uint8_t kind = 0;
    EXPECT_EQ(udp_check_datagram(reinterpret_cast<const uint8_t*>("\x06"), 1, stranger,
                                 address_broadcast, &kind),
              UdpVerdict::accepted);
}

TEST(TcpGather, PiecesIntoTheCallersBuffer) {
    auto gather = [](std::vector<std::string> pieces, size_t reply_size, TcpGather& g) {
        std::string reply(reply_size, 'R');
        for (const std::string& p : pieces)
            tcp_gather_piece(g, reinterpret_cast<const uint8_t*>(p.data()), p.size(), reply.data(),
                             reply_size);
        tcp_gather_end(g, reply.data(), reply_size);
        return std::string(reply.c_str());
    };
    TcpGather g;
    EXPECT_FALSE(tcp_gather_complete(g, 100));
    EXPECT_EQ(gather({"00/0"}, 100, g), "00/0");
    EXPECT_FALSE(tcp_gather_complete(g, 100)); // the status fields are not all in
    TcpGather two;
    EXPECT_EQ(gather({"00/0", "0/00/ESD"}, 100, two), "00/00/00/ESD");
    EXPECT_TRUE(tcp_gather_complete(two, 100));

    // A zero byte ends the text; what follows it, in any piece, is no text.
    TcpGather zero;
    EXPECT_EQ(gather({std::string("00/\0xy", 6), "zz"}, 100, zero), "00/");
    EXPECT_TRUE(zero.ended && tcp_gather_complete(zero, 100));
    EXPECT_EQ(zero.cut, 0u);

    // Cut to the buffer, with the count of what had no room.
    TcpGather cut;
    EXPECT_EQ(gather({"00/00/00/0123", "456"}, 10, cut), "00/00/00/");
    EXPECT_EQ(cut.kept, 9u);
    EXPECT_EQ(cut.cut, 7u);
}

} // namespace
