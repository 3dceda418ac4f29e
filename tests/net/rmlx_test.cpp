// The RMLX link against the simulated devices over real UDP sockets.
#include "net_fixture.h"
#include "sim/device_model.h"

#include <cstdio>
#include <poll.h>

namespace {

unsigned fsn_of(const std::string& frame) {
    return uint8_t(frame[2]) | unsigned(uint8_t(frame[3])) << 8;
}
unsigned opcode_of(const std::string& frame) {
    return uint8_t(frame[4]);
}

std::string frame_line(uint32_t address, bool received, const char* op, unsigned fsn,
                       const std::string& text) {
    char head[64];
    snprintf(head, sizeof head, "%s %s %s(fsn=0x%04X) '", dotted(address), received ? "-->" : "<--",
             op, fsn);
    return head + text + "'";
}

class RmlxTest : public NetTest {
  protected:
    void SetUp() override {
        NetTest::SetUp();
        enter_namespace(true, false);
        dev = device_address(in_namespace, 0);
        NetSidesConfig config;
        config.rmlx_devices = {dev};
        config.foreign_address = device_address(in_namespace, 9);
        ASSERT_TRUE(start(config));
    }
    // Opens the link without the presence query.
    void open() {
        ASSERT_EQ(rmlx_open(link, dev, RmlxOpening::no_query), result_ok);
        lines();
    }
    int request(const char* text) { return rmlx_request(link, text, reply, sizeof reply); }
    // The opcode and fsn of every frame the console sent, as "SYN 1234".
    std::vector<std::string> sent() {
        std::vector<std::string> out;
        for (auto& f : wire('r', true)) {
            char text[16];
            snprintf(text, sizeof text, "%s %04X", opcode_name(uint8_t(opcode_of(f))), fsn_of(f));
            out.push_back(text);
        }
        return out;
    }
    static std::string hex4(unsigned v) {
        char text[8];
        snprintf(text, sizeof text, "%04X", v & 0xFFFF);
        return text;
    }
    uint32_t dev = 0;
};

TEST_F(RmlxTest, ConnectQueriesThenARequestSynchronisesFirst) {
    ASSERT_EQ(rmlx_open(link, dev, RmlxOpening::query_first), result_ok);
    ASSERT_EQ(request("v"), result_ok);
    std::string answer = DeviceModel(1).handle("v");
    EXPECT_STREQ(reply, answer.c_str());

    auto in = wire('r', true);
    ASSERT_EQ(in.size(), 4u);
    unsigned q = fsn_of(in[0]), r = fsn_of(in[1]);
    EXPECT_EQ(sent(), (std::vector<std::string>{"QRY " + hex4(q), "SYN " + hex4(r),
                                                "REQ " + hex4(r + 1), "NAK " + hex4(r + 1)}));
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           "RMLX: protocol init ok",
                           frame_line(dev, false, "QRY", q, ""),
                           frame_line(dev, true, "ACT", q, ""),
                           "RMLX: query success",
                           "Sending 'v'",
                           "RMLX: synchronizing",
                           frame_line(dev, false, "SYN", r, ""),
                           frame_line(dev, true, "ACK", r, ""),
                           frame_line(dev, false, "REQ", r + 1, "v"),
                           frame_line(dev, true, "REP", r + 1, answer),
                           frame_line(dev, false, "NAK", r + 1, ""),
                       }));
    EXPECT_EQ(link.fsn, uint16_t(r + 2));
    EXPECT_EQ(link.synchronised, 1);
}

TEST_F(RmlxTest, ExampleFramesOnTheWire) {
    open();
    ASSERT_EQ(rmlx_send_frame(link, op_qry, 0, 0x1234, 0), result_ok);
    link.fsn = 0x00F8; // the next synchronisation adds 8: SYN 0x0100, REQ 0x0101
    set([](NetFaults& f) { f.fixed_reply = "00/00/00"; });
    ASSERT_EQ(request("v"), result_ok); // reads past the ACT of the QRY
    EXPECT_STREQ(reply, "00/00/00");
    auto in = wire('r', true);
    ASSERT_EQ(in.size(), 4u);
    EXPECT_EQ(in[0],
              bytes({0x8F, 0xE1, 0x34, 0x12, 0x00, 0x00, 0x00, 0x00, 0x55, 0xAA, 0x0A, 0xAD}));
    EXPECT_EQ(in[2], bytes({0x8F, 0xE1, 0x01, 0x01, 0x21, 0x00, 0x01, 0x00, 0xCB, 0xAA, 0x5E, 0xAD,
                            0x76}));
    auto out = wire('r', false);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[2],
              bytes({0x2D, 0x7A, 0x01, 0x01, 0x22, 0x00, 0x08, 0x00, 0xD3, 0xAB, 0xA6, 0xAC}) +
                  "00/00/00");
    // Every reply is followed by NAK with its fsn, not ACK.
    EXPECT_EQ(opcode_of(in[3]), op_nak);
    EXPECT_EQ(fsn_of(in[3]), 0x0101u);
}

TEST_F(RmlxTest, FsnSequenceAndWhenTheLinkResynchronises) {
    fake_clock::install();
    set_net_details(false);
    // Each run starts on a fresh link (fsn 0), so its first SYN draws r.
    auto run = [&](void (*between)(NetTest&)) {
        link = NetLink{};
        open();
        sim.clear_wire();
        EXPECT_EQ(request("v"), result_ok);
        between(*this);
        EXPECT_EQ(request("?"), result_ok);
        return sent();
    };
    // Within the 4000 ms validity the next request goes out at once.
    auto a = run([](NetTest&) { fake_clock::advance(3000); });
    unsigned r = fsn_of(wire('r', true)[0]);
    EXPECT_EQ(
        a, (std::vector<std::string>{"SYN " + hex4(r), "REQ " + hex4(r + 1), "NAK " + hex4(r + 1),
                                     "REQ " + hex4(r + 2), "NAK " + hex4(r + 2)}));
    // After a longer pause it synchronises again with the fsn + 8.
    auto b = run([](NetTest&) { fake_clock::advance(5000); });
    r = fsn_of(wire('r', true)[0]);
    EXPECT_EQ(b, (std::vector<std::string>{"SYN " + hex4(r), "REQ " + hex4(r + 1),
                                           "NAK " + hex4(r + 1), "SYN " + hex4(r + 10),
                                           "REQ " + hex4(r + 11), "NAK " + hex4(r + 11)}));
    // So it does when the device answers the request with RST.
    auto c = run([](NetTest& t) { t.set([](NetFaults& f) { f.rst = 1; }); });
    r = fsn_of(wire('r', true)[0]);
    EXPECT_EQ(
        c, (std::vector<std::string>{"SYN " + hex4(r), "REQ " + hex4(r + 1), "NAK " + hex4(r + 1),
                                     "REQ " + hex4(r + 2), "SYN " + hex4(r + 10),
                                     "REQ " + hex4(r + 11), "NAK " + hex4(r + 11)}));
    EXPECT_TRUE(lines().empty()); // without details: no line at all
}

TEST_F(RmlxTest, ResynchronisationRequestIsLoggedWithDetails) {
    open();
    set([](NetFaults& f) { f.rst = 1; });
    set_net_details(false);
    ASSERT_EQ(request("v"), result_ok);
    set_net_details(true);
    lines();
    set([](NetFaults& f) { f.rst = 1; });
    ASSERT_EQ(request("v"), result_ok);
    auto got = lines();
    ASSERT_GE(got.size(), 5u);
    EXPECT_EQ(got[3], "RMLX: resyncronize request");
    EXPECT_EQ(got[4], "RMLX: synchronizing");
}

TEST_F(RmlxTest, UnansweredRequestFailsAfterSixSecondsAcrossTheTickWrap) {
    fake_clock::install(0xFFFFF400u, 100); // the tick wraps during the third attempt
    open();
    set_net_details(false);
    set([](NetFaults& f) { f.ignore_request = 6; });
    uint32_t start = fake_clock::now();
    EXPECT_EQ(request("v"), net_protocol_failure);
    EXPECT_EQ(uint32_t(fake_clock::now() - start), 6000u);
    std::vector<std::string> expected(6, "RMLX: request timeout");
    expected.push_back("RMLX: request failed");
    EXPECT_EQ(lines(), expected);
    EXPECT_EQ(link.synchronised, 0);
    // One synchronisation only: each REQ sent restarts its validity.
    auto frames = sent();
    ASSERT_EQ(frames.size(), 7u);
    EXPECT_EQ(frames[0].substr(0, 3), "SYN");
    for (size_t i = 1; i < 7; ++i) EXPECT_EQ(frames[i], frames[1]);
    // A failed request leaves the link unsynchronised: the next one
    // synchronises first.
    ASSERT_EQ(request("v"), result_ok);
    EXPECT_EQ(sent()[7].substr(0, 3), "SYN");
}

TEST_F(RmlxTest, SilentDeviceFailsTheQueryAfterEightPasses) {
    fake_clock::install(1000, 20);
    set_net_details(false);
    set([](NetFaults& f) { f.silent = 8; });
    uint32_t start = fake_clock::now();
    EXPECT_EQ(rmlx_open(link, dev, RmlxOpening::query_first), net_protocol_failure);
    EXPECT_EQ(uint32_t(fake_clock::now() - start), 4000u);
    std::vector<std::string> expected = {"RMLX: protocol init ok"};
    expected.insert(expected.end(), 8, "RMLX: query timeout");
    expected.push_back("RMLX: query failed");
    EXPECT_EQ(lines(), expected);
}

TEST_F(RmlxTest, MalformedDatagramsAreDroppedEachWithItsLine) {
    open();
    set_net_details(false);
    set([](NetFaults& f) {
        f.fixed_reply = "00/00/00";
        f.late = f.foreign = f.bad_header_sum = f.wrong_length = f.wrong_id = 1;
        f.too_short = f.too_long = 1;
    });
    ASSERT_EQ(request("v"), result_ok);
    EXPECT_STREQ(reply, "00/00/00");
    const std::string good = wire('r', false).back();
    uint16_t sum = rmlx_checksum(reinterpret_cast<const uint8_t*>(good.data()), 10);
    char checksum_line[64];
    snprintf(checksum_line, sizeof checksum_line, "RMLX: checksum 0x%04X bad (expected 0x%04X)",
             unsigned(uint16_t(sum + 1)), unsigned(sum));
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           "RMLX: response ignored (seq.no)", // the previous fsn
                           "RMLX: discarded; ip mismatch",    // before its checksum is read
                           checksum_line,
                           "RMLX: bad data length 10 (expected 8)",
                           "RMLX: invalid 'id' 0xE18F (expected 0x7A2D)",
                           "RMLX: discarded, frame too small (11)",
                           "RMLX: discarded, frame size invalid (513)",
                       }));
}

TEST_F(RmlxTest, ReplySizesAtTheLimits) {
    open();
    set([](NetFaults& f) { f.fixed_reply = std::string(500, 'R'); });
    ASSERT_EQ(request("v"), result_ok); // a 512-byte datagram
    EXPECT_EQ(std::string(reply), std::string(500, 'R'));
    lines();
    // No data: accepted whatever its data checksum field holds.
    set([](NetFaults& f) {
        f.fixed_reply = "";
        f.bad_data_sum = 1;
    });
    set_net_details(false);
    ASSERT_EQ(request("v"), result_ok);
    EXPECT_STREQ(reply, "");
    EXPECT_TRUE(lines().empty());
    // A small reply buffer takes what fits.
    set([](NetFaults& f) { f.fixed_reply = "00/00/00/abc"; });
    char small[6];
    ASSERT_EQ(rmlx_request(link, "v", small, sizeof small), result_ok);
    EXPECT_STREQ(small, "00/00");
}

TEST_F(RmlxTest, BadDataChecksumIsAnsweredWithNakAndTheRepeatedRequestSucceeds) {
    fake_clock::install();
    open();
    set_net_details(false);
    set([](NetFaults& f) { f.bad_data_sum = 1; });
    ASSERT_EQ(request("v"), result_ok);
    EXPECT_STREQ(reply, DeviceModel(1).handle("v").c_str());
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"RMLX: data checksum error", "RMLX: request timeout"}));
    auto frames = sent();
    ASSERT_EQ(frames.size(), 5u);
    std::string f = frames[1].substr(4);
    EXPECT_EQ(frames, (std::vector<std::string>{frames[0], "REQ " + f, "NAK " + f, "REQ " + f,
                                                "NAK " + f}));
}

TEST_F(RmlxTest, DeviceNakResendsAtOnceWithTheSameFsn) {
    fake_clock::install();
    open();
    set_net_details(false);
    set([](NetFaults& f) { f.nak = 2; });
    uint32_t start = fake_clock::now();
    ASSERT_EQ(request("v"), result_ok);
    EXPECT_EQ(fake_clock::now(), start); // no time-out was waited for
    EXPECT_EQ(lines(), (std::vector<std::string>(2, "RMLX: request nak'ed; resending")));
    auto frames = sent();
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[1], frames[2]);
    EXPECT_EQ(frames[1], frames[3]);
}

TEST_F(RmlxTest, FsnWrappingToZeroDrawsANewRandomFsn) {
    fake_clock::install();
    open();
    set_net_details(false);
    link.fsn = 0xFFF6; // SYN 0xFFFE, REQ 0xFFFF
    ASSERT_EQ(request("v"), result_ok);
    EXPECT_EQ(link.fsn, 0);
    fake_clock::advance(5000);
    ASSERT_EQ(request("v"), result_ok);
    auto frames = sent();
    ASSERT_EQ(frames.size(), 6u);
    EXPECT_EQ(frames[1], "REQ FFFF");
    EXPECT_EQ(frames[3].substr(0, 3), "SYN");
    EXPECT_NE(frames[3], "SYN 0008");
}

TEST_F(RmlxTest, RequestLongerThanAFrameIsRefusedWithoutTraffic) {
    open();
    set_net_details(false);
    std::string text(501, 'a');
    EXPECT_EQ(request(text.c_str()), net_socket_failure);
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"RMLX: request too long (501 bytes, at most 500)"}));
    EXPECT_TRUE(wire('r', true).empty());
    text.pop_back();
    EXPECT_EQ(request(text.c_str()), result_ok);
    auto in = wire('r', true);
    ASSERT_EQ(in.size(), 3u);
    EXPECT_EQ(in[1].size(), 512u);
}

TEST_F(RmlxTest, ClosingTheLinkDuringAWaitEndsTheRequest) {
    fake_clock::install();
    open();
    set_net_details(false);
    set([](NetFaults& f) { f.ignore_sync = 1; });
    connected_flag = 1;
    connection_kind = kind_rmlx;
    headless::queue_close(); // dispatched by the wait: the close sequence closes the link
    EXPECT_EQ(request("v"), net_socket_failure);
    EXPECT_EQ(lines(), (std::vector<std::string>{"RMLX: not initialized"}));
    EXPECT_EQ(quit_flag, 1);
}

NetLink other_link;
char other_reply[100];
int nested_result = -1;

void wait_with_a_nested_request(WaitHandle handle, uint32_t ms) {
    if (nested_result < 0)
        nested_result = rmlx_request(other_link, "?", other_reply, sizeof other_reply);
    pollfd p{int(handle), POLLIN, 0};
    if (poll(&p, 1, int(ms < 200 ? ms : 200)) <= 0) fake_clock::advance(ms);
}

TEST_F(RmlxTest, ASecondRequestDuringAWaitIsRefused) {
    fake_clock::install();
    headless::set_wait_hook(wait_with_a_nested_request);
    open();
    set_net_details(false);
    set([](NetFaults& f) { f.ignore_sync = 1; }); // a wait is certain
    nested_result = -1;
    EXPECT_EQ(request("v"), result_ok);
    EXPECT_EQ(nested_result, net_socket_failure);
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"RMLX: another request is running", "RMLX: sync timeout"}));
}

class DiscoveryTest : public NetTest {
  protected:
    void SetUp() override {
        NetTest::SetUp();
        if (!enter_namespace(true, true)) return;
        set_net_details(false);
        // Answers come within microseconds; one that misses its pass is read
        // in the next, which carries the same fsn.
        fake_clock::install(1000, 50);
    }
    ::testing::AssertionResult start_devices(unsigned devices) {
        NetSidesConfig config;
        for (unsigned i = 0; i < devices; ++i)
            config.rmlx_devices.push_back(device_address(true, i));
        config.rmlx_broadcast = true;
        return start(config);
    }
    uint32_t list[discovered_max] = {};
    uint32_t count = 12345;
};

TEST_F(DiscoveryTest, ThreeDevicesAreListedOnceEachInOrder) {
    ASSERT_TRUE(start_devices(3));
    uint32_t start = fake_clock::now();
    ASSERT_EQ(rmlx_discover(list, discovered_max, &count), result_ok);
    EXPECT_EQ(uint32_t(fake_clock::now() - start), 4000u); // all eight passes
    ASSERT_EQ(count, 3u);
    for (unsigned i = 0; i < 3; ++i) EXPECT_EQ(text_of(list[i]), text_of(device_address(true, i)));
    auto queries = wire('r', true);
    ASSERT_EQ(queries.size(), 8u);
    for (auto& q : queries) EXPECT_EQ(q, queries[0]); // one fsn for every pass
    EXPECT_EQ(lines(), (std::vector<std::string>{"RMLX: protocol init ok"}));

    // The link stays initialised for the connect that follows, and its
    // socket still serves a device.
    EXPECT_EQ(rmlx_init(), result_ok);
    ASSERT_EQ(rmlx_open(link, list[1], RmlxOpening::query_first), result_ok);
    ASSERT_EQ(rmlx_request(link, "v", reply, sizeof reply), result_ok);
    EXPECT_STREQ(reply, DeviceModel(2).handle("v").c_str());
    EXPECT_EQ(lines(), (std::vector<std::string>{"RMLX: already initialized"}));
}

TEST_F(DiscoveryTest, NoDeviceGivesAnEmptyList) {
    ASSERT_TRUE(start_devices(0));
    ASSERT_EQ(rmlx_discover(list, discovered_max, &count), result_ok);
    EXPECT_EQ(count, 0u);
}

TEST_F(DiscoveryTest, MoreDevicesThanTheListHolds) {
    ASSERT_TRUE(start_devices(discovered_max + 3));
    ASSERT_EQ(rmlx_discover(list, discovered_max, &count), result_ok);
    ASSERT_EQ(count, discovered_max);
    for (unsigned i = 0; i < discovered_max; ++i)
        ASSERT_EQ(text_of(list[i]), text_of(device_address(true, i)));
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           "RMLX: protocol init ok",
                           "RMLX: more than 100 devices answered; the others are not listed"}));
}

} // namespace
