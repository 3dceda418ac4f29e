// The plain UDP link against the simulator's plain UDP side. Both ends use
// port 9101, so the simulator sits in a namespace of its own behind a veth
// pair.
#include "net_fixture.h"
#include "sim/device_model.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class UdpTest : public NetTest {
  protected:
    void SetUp() override {
        NetTest::SetUp();
        if (!enter_namespace(false, true)) return;
        NetSidesConfig config;
        config.udp_address = device;
        config.foreign_address = netns::ipv4(192, 0, 2, 3);
        ASSERT_TRUE(start_behind_veth(config, netns::ipv4(192, 0, 2, 1)));
    }
    void open() {
        ASSERT_EQ(udp_open(link, device), result_ok);
        lines();
    }
    int request(const char* text) { return udp_request(link, text, reply, sizeof reply); }
    const uint32_t device = netns::ipv4(192, 0, 2, 2);
    const std::string enq = bytes({0x05}), ack = bytes({0x06}), nak = bytes({0x16});
};

TEST_F(UdpTest, EveryRequestBeginsWithEnquiryAndItsReplyIsAcknowledged) {
    ASSERT_EQ(udp_open(link, device), result_ok);
    ASSERT_EQ(request("x/5"), result_ok);
    EXPECT_EQ(std::string(reply), DeviceModel(1).handle("x/5") + "/");
    ASSERT_EQ(request("v"), result_ok);
    std::string x5 = bytes({0x02, 0x78, 0x2F, 0x35, 0x2F, 0x31, 0x31, 0x03});
    std::string v = bytes({0x02, 0x76, 0x2F, 0x36, 0x35, 0x03});
    EXPECT_EQ(wire('u', true), (std::vector<std::string>{enq, x5, ack, enq, v, ack}));
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"UDP: protocol init ok", "Sending 'x/5'", "Sending 'v'"}));
}

TEST_F(UdpTest, ChecksumDigitsOfEveryRangeGoOutAsTwoDigits) {
    open();
    set_net_details(false);
    // The checksum is the byte sum with "/", modulo 256, then modulo 100.
    struct Case {
        const char* text;
        const char* digits;
    };
    const Case cases[] = {
        {"5", "00"},  // 53 + 47 = 100
        {"PP", "07"}, // 160 + 47 = 207
        {"4", "99"},  // 52 + 47 = 99
        {"hh", "55"}, // 208 + 47 = 255
        {"v", "65"},
    };
    for (const Case& c : cases) ASSERT_EQ(request(c.text), result_ok) << c.text;
    auto in = wire('u', true);
    ASSERT_EQ(in.size(), 3 * std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(in[3 * i + 1],
                  bytes({0x02}) + cases[i].text + "/" + cases[i].digits + bytes({0x03}));
}

TEST_F(UdpTest, ReplyWithItsChecksumLeavesTheTextAndSeparator) {
    open();
    set([](NetFaults& f) { f.fixed_reply = "00/00/00"; });
    ASSERT_EQ(request("v"), result_ok);
    EXPECT_STREQ(reply, "00/00/00/");
    EXPECT_EQ(wire('u', false),
              (std::vector<std::string>{ack, bytes({0x02, 0x30, 0x30, 0x2F, 0x30, 0x30, 0x2F, 0x30,
                                                    0x30, 0x2F, 0x37, 0x33, 0x03})}));
}

TEST_F(UdpTest, WrongDigitsAreAnsweredWithNakWithinTheSameWait) {
    fake_clock::install();
    open();
    set_net_details(false);
    set([](NetFaults& f) { f.bad_data_sum = 1; });
    uint32_t start = fake_clock::now();
    ASSERT_EQ(request("v"), result_ok);
    EXPECT_EQ(fake_clock::now(), start);
    EXPECT_EQ(lines(), (std::vector<std::string>{"UDP: data checksum error"}));
    auto in = wire('u', true);
    ASSERT_EQ(in.size(), 4u);
    EXPECT_EQ(in[2], nak);
    EXPECT_EQ(in[3], ack);
}

TEST_F(UdpTest, DeviceNakResendsTheTextAtOnceWithoutEnquiry) {
    fake_clock::install();
    open();
    set([](NetFaults& f) { f.nak = 1; });
    ASSERT_EQ(request("v"), result_ok);
    auto in = wire('u', true);
    ASSERT_EQ(in.size(), 4u);
    EXPECT_EQ(in[0], enq);
    EXPECT_EQ(in[1], in[2]);
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"Sending 'v'", "RMLX: request nak'ed; resending"}));
}

TEST_F(UdpTest, ResynchroniseByteStartsWithEnquiryAgain) {
    open();
    set([](NetFaults& f) { f.rst = 1; });
    ASSERT_EQ(request("v"), result_ok);
    auto in = wire('u', true);
    ASSERT_EQ(in.size(), 5u);
    EXPECT_EQ(in[2], enq);
    EXPECT_EQ(lines(), (std::vector<std::string>{"Sending 'v'", "RMLX: resyncronize request"}));
}

TEST_F(UdpTest, StrayAndMalformedDatagramsAreDroppedEachWithItsLine) {
    open();
    set_net_details(false);
    set([](NetFaults& f) {
        f.stray_ack = f.stray_byte = f.foreign = f.too_short = f.too_long = 1;
    });
    ASSERT_EQ(request("v"), result_ok);
    EXPECT_STREQ(reply, (DeviceModel(1).handle("v") + "/").c_str());
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           // 0x06 passes without a line
                           "UDP: invalid response to request; restarting", // 0x41
                           "UDP: discarded; ip mismatch",
                           "UDP: discarded, datagram too short (1)", // a lone 0x22
                           "UDP: discarded, datagram too short (4)",
                           "UDP: discarded, datagram too long (600)",
                       }));
}

TEST_F(UdpTest, EnquiryAnsweredWithAnotherByteIsIgnored) {
    fake_clock::install();
    open();
    set_net_details(false);
    set([](NetFaults& f) { f.enq_other = 1; });
    ASSERT_EQ(request("v"), result_ok);
    EXPECT_EQ(lines(), (std::vector<std::string>{"UDP: sync response ignored (opcode)",
                                                 "UDP: sync timeout"}));
}

TEST_F(UdpTest, UnansweredTextFailsAfterSixAttemptsEachWithItsEnquiry) {
    fake_clock::install(1000, 100);
    open();
    set_net_details(false);
    set([](NetFaults& f) { f.ignore_request = 6; });
    uint32_t start = fake_clock::now();
    EXPECT_EQ(request("v"), net_protocol_failure);
    EXPECT_EQ(uint32_t(fake_clock::now() - start), 30000u);
    std::vector<std::string> expected(6, "UDP: request timeout");
    expected.push_back("UDP: request failed");
    EXPECT_EQ(lines(), expected);
    auto in = wire('u', true);
    ASSERT_EQ(in.size(), 12u);
    for (size_t i = 0; i < 12; i += 2) EXPECT_EQ(in[i], enq);
    EXPECT_EQ(link.synchronised, 0);
}

TEST_F(UdpTest, RequestsLongerThanAFrameGoOutWhole) {
    open();
    set_net_details(false);
    std::string block = "@/" + std::string(750, 'a'); // a signing block
    ASSERT_EQ(request(block.c_str()), result_ok);
    EXPECT_EQ(wire('u', true)[1].size(), 757u);
    std::string too_long(udp_text_max + 1, 'a');
    EXPECT_EQ(request(too_long.c_str()), net_socket_failure);
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"UDP: request too long (2001 bytes, at most 2000)"}));
}

TEST_F(UdpTest, TakenLocalPortIsNamed) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(udp_port);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    EXPECT_EQ(udp_open(link, device), net_socket_failure);
    close(fd);
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           "UDP: failed binding socket: EADDRINUSE",
                           "UDP: port 9101 of this machine is taken by another program"}));
}

} // namespace
