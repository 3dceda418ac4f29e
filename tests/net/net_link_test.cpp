// The shared network pieces without a peer: frame bytes, names, timers and
// trace lines.
#include "base/ipv4_text.h"
#include "base/state.h"
#include "base/tick.h"
#include "net/ms_timer.h"
#include "net/net_trace.h"
#include "net/rmlx_frame.h"
#include "net/socket_errno.h"
#include "net/socket_errors.h"
#include "net/udp.h"
#include "support/fake_clock.h"
#include "support/fixture.h"
#include "udp_private.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> frame_bytes(uint16_t id, uint16_t fsn, uint8_t op, const std::string& data) {
    RmlxFrame f{};
    f.header.id = id;
    f.header.fsn = fsn;
    f.header.opcode = op;
    f.header.length = uint16_t(data.size());
    memcpy(f.data, data.data(), data.size());
    seal_frame(&f);
    auto* p = reinterpret_cast<const uint8_t*>(&f);
    return {p, p + frame_header_size + data.size()};
}

TEST(FrameFormat, BytesOfTheExamples) {
    EXPECT_EQ(frame_bytes(frame_id_console, 0x1234, op_qry, ""),
              (std::vector<uint8_t>{0x8F, 0xE1, 0x34, 0x12, 0x00, 0x00, 0x00, 0x00, 0x55, 0xAA,
                                    0x0A, 0xAD}));
    EXPECT_EQ(frame_bytes(frame_id_console, 0x0101, op_req, "v"),
              (std::vector<uint8_t>{0x8F, 0xE1, 0x01, 0x01, 0x21, 0x00, 0x01, 0x00, 0xCB, 0xAA,
                                    0x5E, 0xAD, 0x76}));
    std::vector<uint8_t> rep = {0x2D, 0x7A, 0x01, 0x01, 0x22, 0x00,
                                0x08, 0x00, 0xD3, 0xAB, 0xA6, 0xAC};
    for (char c : std::string("00/00/00")) rep.push_back(uint8_t(c));
    EXPECT_EQ(frame_bytes(frame_id_device, 0x0101, op_rep, "00/00/00"), rep);
}

TEST(FrameFormat, ChecksumsAndOpcodeNames) {
    EXPECT_EQ(rmlx_checksum(nullptr, 0), 0xAA55);
    const uint8_t ff[] = {0xFF, 0xFF};
    EXPECT_EQ(rmlx_checksum(ff, 2), uint16_t(0xAA55 + 0x1FE)); // bytes are unsigned
    EXPECT_STREQ(opcode_name(op_rep), "REP");
    EXPECT_STREQ(opcode_name(op_nak), "NAK");
    EXPECT_STREQ(opcode_name(0x20), "???");

    RmlxFrame f{};
    f.header.length = 0;
    f.header.data_sum = 0x1234; // not looked at without data
    EXPECT_TRUE(data_checksum_ok(f));
    f.header.length = 1;
    f.data[0] = 'v';
    f.header.data_sum = uint16_t(0xAA55 + 'v');
    EXPECT_TRUE(data_checksum_ok(f));
    f.header.data_sum++;
    EXPECT_FALSE(data_checksum_ok(f));
    f.header.length = 600; // more than the frame holds
    EXPECT_FALSE(data_checksum_ok(f));
}

TEST(FrameFormat, PlainUdpTextChecksum) {
    auto frame_of = [](const std::string& bytes) {
        ReceivedText t{};
        t.length = uint16_t(bytes.size());
        memcpy(t.bytes, bytes.data(), bytes.size());
        return t;
    };
    EXPECT_TRUE(text_checksum_ok(frame_of("\x02"
                                          "00/00/00/73\x03")));
    EXPECT_FALSE(text_checksum_ok(frame_of("\x02"
                                           "00/00/00/74\x03")));
    EXPECT_TRUE(text_checksum_ok(frame_of("\x02v/65\x03")));
    EXPECT_FALSE(text_checksum_ok(frame_of("\x02/6"))); // too short to hold digits
    // Bytes that are no digits, even where 10 * tens + ones comes out right.
    EXPECT_FALSE(text_checksum_ok(frame_of("\x02"
                                           "00/00/00/0y\x03")));
    EXPECT_FALSE(text_checksum_ok(frame_of("\x02"
                                           "00/00/00/:\x15\x03")));
}

TEST(WinsockNames, ErrorsInWordsNameTheAddressAndPort) {
    uint32_t device = parse_ipv4("192.0.2.5");
    const struct {
        int code;
        uint32_t address;
        const char* words; // nullptr: none beyond the name
    } cases[] = {
        {10061, device, "nothing listens at 192.0.2.5 port 9101"},
        {10048, 0, "port 9101 of this machine is taken by another program"},
        {10065, device, "no route to 192.0.2.5"},
        {10051, device, "no route to 192.0.2.5"},
        {10060, device,
         "192.0.2.5 port 9101 does not answer: no device there, or a firewall drops it"},
        {10054, device, "192.0.2.5 port 9101 reset the connection"},
        {10035, device, nullptr},
    };
    for (const auto& c : cases) {
        char words[160] = "stale";
        EXPECT_EQ(socket_error_words(c.code, c.address, 9101, words, sizeof words),
                  c.words != nullptr);
        EXPECT_STREQ(words, c.words != nullptr ? c.words : "") << c.code;
    }
}

TEST(WinsockNames, TableAndUnknownCodes) {
    EXPECT_STREQ(winsock_error_name(10061), "ECONNREFUSED");
    EXPECT_STREQ(winsock_error_name(10048), "EADDRINUSE");
    EXPECT_STREQ(winsock_error_name(10004), "EINTR");
    EXPECT_STREQ(winsock_error_name(11004), "NO_DATA");
    EXPECT_STREQ(winsock_error_name(10100), "Unknown 0x2774");
    EXPECT_STREQ(winsock_error_name(0), "Unknown 0x0000");
}

TEST(WinsockNames, ErrnoOfAFailingCallMapsToTheSameMeaning) {
    EXPECT_STREQ(winsock_error_name(winsock_code_for_errno(ECONNREFUSED)), "ECONNREFUSED");
    EXPECT_STREQ(winsock_error_name(winsock_code_for_errno(EADDRINUSE)), "EADDRINUSE");
    EXPECT_STREQ(winsock_error_name(winsock_code_for_errno(EAGAIN)), "EWOULDBLOCK");
    EXPECT_STREQ(winsock_error_name(winsock_code_for_errno(EPIPE)), "ECONNRESET");
    EXPECT_STREQ(winsock_error_name(winsock_code_for_errno(ENETUNREACH)), "ENETUNREACH");
    EXPECT_EQ(winsock_code_for_errno(EIO), EIO); // no WinSock name: shown as its number
}

class TimerTest : public ::testing::Test {
  protected:
    void TearDown() override { fake_clock::uninstall(); }
};

TEST_F(TimerTest, ZeroDurationIsExpiredAndStaysExpired) {
    fake_clock::install(5000);
    MsTimer t;
    timer_start(&t, 0);
    EXPECT_TRUE(timer_expired(&t));
    EXPECT_EQ(t.start, 0u);
    EXPECT_EQ(t.duration, 0u);
    fake_clock::advance(123456);
    EXPECT_TRUE(timer_expired(&t));
    MsTimer zeroed{};
    EXPECT_TRUE(timer_expired(&zeroed));
}

TEST_F(TimerTest, ExpiresAfterItsDurationAcrossTheTickWrap) {
    fake_clock::install(0xFFFFFF00u);
    MsTimer t;
    timer_start(&t, 0x200);
    fake_clock::advance(0x150); // the tick has wrapped to 0x50
    EXPECT_FALSE(timer_expired(&t));
    EXPECT_EQ(timer_remaining(t), 0xB0u);
    fake_clock::advance(0xAF);
    EXPECT_FALSE(timer_expired(&t));
    fake_clock::advance(1);
    EXPECT_EQ(timer_remaining(t), 0u);
    EXPECT_TRUE(timer_expired(&t));
}

// Every request starts and tests timers of no duration (the plain UDP link's
// enquiry validity after each reply): those read no clock.
int clock_reads = 0;
uint32_t counted_tick() {
    ++clock_reads;
    return 1000;
}

TEST_F(TimerTest, OnlyATimerWithADurationReadsTheClock) {
    enum class Step { start, expired, remaining };
    struct Case {
        uint32_t duration;
        Step step;
        int reads;
    };
    const Case cases[] = {
        {0, Step::start, 0},   {0, Step::expired, 0},   {0, Step::remaining, 0},
        {500, Step::start, 1}, {500, Step::expired, 1}, {500, Step::remaining, 1},
    };
    set_tick_source(counted_tick);
    for (const Case& c : cases) {
        MsTimer t{};
        if (c.step != Step::start) {
            t.duration = c.duration;
            t.start = c.duration != 0 ? 900u : 0u;
        }
        clock_reads = 0;
        bool expired = false;
        uint32_t left = 0;
        if (c.step == Step::start) timer_start(&t, c.duration);
        if (c.step == Step::expired) expired = timer_expired(&t);
        if (c.step == Step::remaining) left = timer_remaining(t);
        EXPECT_EQ(clock_reads, c.reads) << c.duration << " step " << int(c.step);
        // What the timer says is unchanged: 100 of 500 ms gone, or expired.
        if (c.step == Step::expired) {
            EXPECT_EQ(expired, c.duration == 0);
        } else if (c.step == Step::remaining) {
            EXPECT_EQ(left, c.duration == 0 ? 0u : 400u);
        } else {
            EXPECT_EQ(t.start, c.duration == 0 ? 0u : 1000u);
        }
    }
}

class TraceTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        set_net_details(true);
        mark = headless::log_lines().size();
    }
    void TearDown() override {
        set_net_details(false);
        WindowTest::TearDown();
    }
    std::vector<std::string> lines() {
        auto all = headless::log_lines();
        return {all.begin() + ptrdiff_t(mark), all.end()};
    }
    size_t mark = 0;
};

TEST_F(TraceTest, FrameLinesShowDirectionAddressOpcodeAndText) {
    RmlxFrame f{};
    f.header.fsn = 0x0101;
    f.header.opcode = op_req;
    f.header.length = 4;
    memcpy(f.data, "v\r\x01x", 4);
    uint32_t address = 0x0200007F; // 127.0.0.2
    trace_frame(f, false, address);
    f.header.opcode = op_rep;
    f.header.length = 6;
    memcpy(f.data, "ab\0cd", 6);
    trace_frame(f, true, address);
    EXPECT_EQ(lines(), (std::vector<std::string>{"127.0.0.2 <-- REQ(fsn=0x0101) 'v..x'",
                                                 "127.0.0.2 --> REP(fsn=0x0101) 'ab'"}));
}

TEST_F(TraceTest, LongDataIsCutAt120Characters) {
    RmlxFrame f{};
    f.header.opcode = 0x55;
    f.header.length = 200;
    memset(f.data, 'z', 200);
    trace_frame(f, true, 0x0100007F);
    f.header.length = 120;
    trace_frame(f, true, 0x0100007F);
    f.header.length = 0xFFFF; // a length past the frame reads no further than the frame
    trace_frame(f, true, 0x0100007F);
    std::string head = "127.0.0.1 --> ??"
                       "?(fsn=0x0000) '" +
                       std::string(120, 'z');
    EXPECT_EQ(lines(), (std::vector<std::string>{head + "...'", head + "'", head + "...'"}));
}

TEST_F(TraceTest, RequestLineShowsFortyCharacters) {
    std::string r45 = "0123456789012345678901234567890123456789abcde";
    log_request_line(r45.c_str());
    log_request_line(r45.substr(0, 39).c_str());
    log_request_line("a\tb\x1f");
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"Sending '" + r45.substr(0, 40) + "...'",
                                        "Sending '" + r45.substr(0, 39) + "'", "Sending 'a.b.'"}));
}

TEST_F(TraceTest, NothingWithoutDetails) {
    set_net_details(false);
    RmlxFrame f{};
    trace_frame(f, true, 0);
    log_request_line("v");
    EXPECT_TRUE(lines().empty());
}

} // namespace
