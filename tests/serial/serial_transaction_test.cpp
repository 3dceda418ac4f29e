// The console's serial transaction against the simulator's serial side,
// over a real pseudo-terminal.
#include "base/dialog_template.h"
#include "base/state.h"
#include "base/tick.h"
#include "codec/frame_checksum.h"
#include "pty_pair.h"
#include "serial/com_link.h"
#include "serial/serial_link.h"
#include "serial/serial_port.h"
#include "serial/serial_transaction.h"
#include "serial/zreport.h"
#include "serial_sim_fixture.h"
#include "sim/serial_side.h"
#include "sim/sim_device.h"
#include "support/fake_clock.h"
#include "support/fixture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const std::string enquiry = "\x18\x18\x18\x05";
const std::string ack = "\x06", nak = "\x15", can = "\x18";

std::string frame(const std::string& text) {
    char digits[4];
    snprintf(digits, sizeof digits, "/%02u", frame_checksum(text.data(), text.size()));
    return "\x02" + text + digits + "\x03";
}

std::string times(int n, const std::string& s) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

using namespace serial_sim_wait;

class SerialTransactionTest : public SerialLinkTest {
  protected:
    char reply[1000] = "untouched";

    int run(const char* request, int32_t details = 0) {
        int result = serial_link_transaction(request, reply, sizeof reply, details != 0);
        EXPECT_EQ(busy_flag, 0);
        EXPECT_EQ(headless::control(idc_request).text, request);
        return result;
    }
};

TEST_F(SerialTransactionTest, SuccessWithExactWireBytes) {
    EXPECT_EQ(run("v", 1), 0);
    std::string text = device_reply("v");
    EXPECT_STREQ(reply, text.c_str());
    EXPECT_EQ(headless::log_lines(), Lines{"Request frame [v]"});
    expect_received(enquiry + "\x02v/65\x03" + ack);
    EXPECT_EQ(serial_sim_sent(), ack + ack + frame(text));
    EXPECT_EQ(fake_clock::jumps() + silences_taken, 0u);

    // The second transaction on the same line, without details: no log. An
    // "x" too short for a signature check goes straight out.
    serial_sim_reset();
    EXPECT_EQ(run("x"), 0);
    EXPECT_EQ(headless::log_lines(), Lines{"Request frame [v]"});
    expect_received(enquiry + "\x02x/67\x03" + ack);
    EXPECT_STREQ(reply, "01/00/00/"); // NUMFIELDS: "x" needs its type
}

TEST_F(SerialTransactionTest, CanOnEnquiry) {
    serial_sim_set_faults({.enq_can = 1});
    EXPECT_EQ(run("v"), serial_canceled);
    EXPECT_EQ(headless::log_lines(), Lines{"Canceled by peer"});
    expect_received(enquiry);
    EXPECT_EQ(serial_sim_sent(), can);
    EXPECT_STREQ(reply, "untouched");
}

TEST_F(SerialTransactionTest, EnquiryFailsAfterThreeRounds) {
    serial_sim_set_faults({.enq_other = 2, .enq_other_byte = 0x41, .enq_silent = 1});
    uint32_t start = fake_clock::now();
    EXPECT_EQ(run("v", 1), serial_enquiry_failed);
    EXPECT_EQ(headless::log_lines(), (Lines{"Request frame [v]", "Enquire #0 not acked (0x41)",
                                            "Enquire #1 not acked (0x41)", "Enquire #2 timedout",
                                            "Enquire state failed"}));
    expect_received(times(3, enquiry));
    EXPECT_EQ(serial_sim_sent(), "AA");
    EXPECT_GT(fake_clock::now() - start, 3000u); // the silent round waited its 3000 ms
    EXPECT_LT(fake_clock::now() - start, 3010u);
    EXPECT_TRUE(busy_while_waiting);
}

TEST_F(SerialTransactionTest, EnquirySucceedsInTheLastRound) {
    serial_sim_set_faults({.enq_silent = 2});
    EXPECT_EQ(run("v"), 0);
    EXPECT_EQ(headless::log_lines(), (Lines{"Enquire #0 timedout", "Enquire #1 timedout"}));
    expect_received(times(3, enquiry) + "\x02v/65\x03" + ack);
}

TEST_F(SerialTransactionTest, RequestNakedFiveTimes) {
    serial_sim_set_faults({.frame_nak = 5});
    EXPECT_EQ(run("v"), serial_not_acked);
    Lines expected(4, "Packet not acknowledged, retrying");
    expected.push_back("Packet not acknowledged");
    EXPECT_EQ(headless::log_lines(), expected);
    expect_received(enquiry + times(5, "\x02v/65\x03"));
    EXPECT_EQ(serial_sim_sent(), ack + times(5, nak));
}

TEST_F(SerialTransactionTest, RequestNakedFourTimesThenAccepted) {
    serial_sim_set_faults({.frame_nak = 4});
    EXPECT_EQ(run("v"), 0);
    EXPECT_EQ(headless::log_lines(), Lines(4, "Packet not acknowledged, retrying"));
    expect_received(enquiry + times(5, "\x02v/65\x03") + ack);
}

TEST_F(SerialTransactionTest, RequestRefusedWithCan) {
    serial_sim_set_faults({.frame_nak = 1, .frame_can = 1});
    EXPECT_EQ(run("v"), serial_not_acked);
    EXPECT_EQ(headless::log_lines(),
              (Lines{"Packet not acknowledged, retrying", "Packet not acknowledged"}));
    expect_received(enquiry + times(2, "\x02v/65\x03"));
    EXPECT_EQ(serial_sim_sent(), ack + nak + can); // CAN ends it at once
}

TEST_F(SerialTransactionTest, RequestNeverAcknowledged) {
    serial_sim_set_faults({.frame_silent = 5});
    EXPECT_EQ(run("v"), serial_not_acked);
    Lines expected(5, "Packet acknowledge timed out");
    expected.push_back("Packet not acknowledged");
    EXPECT_EQ(headless::log_lines(), expected);
    expect_received(enquiry + times(5, "\x02v/65\x03"));
    EXPECT_EQ(silences_taken, 5u);
}

TEST_F(SerialTransactionTest, NoStx) {
    serial_sim_set_faults({.reply_silent = 1});
    uint32_t start = fake_clock::now();
    EXPECT_EQ(run("v"), serial_no_stx);
    EXPECT_EQ(headless::log_lines(), Lines{"Receive STX timeout"});
    expect_received(enquiry + "\x02v/65\x03");
    EXPECT_EQ(serial_sim_sent(), ack + ack); // and nothing sent back after it
    EXPECT_GT(fake_clock::now() - start, 2000u);
    EXPECT_LT(fake_clock::now() - start, 2010u);
}

TEST_F(SerialTransactionTest, ThreeBadRepliesFail) {
    serial_sim_set_faults({.bad_checksum = 3});
    EXPECT_EQ(run("v"), serial_retries_failed);
    EXPECT_EQ(headless::log_lines(), Lines{"Request retries failed"});
    expect_received(enquiry + "\x02v/65\x03" + times(3, nak));
    EXPECT_STREQ(reply, "untouched");
}

TEST_F(SerialTransactionTest, StalledRepliesAreNakedAndFail) {
    serial_sim_set_faults({.stall = 3});
    EXPECT_EQ(run("v"), serial_retries_failed);
    EXPECT_EQ(headless::log_lines(), Lines{"Request retries failed"});
    expect_received(enquiry + "\x02v/65\x03" + times(3, nak));
    EXPECT_EQ(silences_taken, 3u);
}

TEST_F(SerialTransactionTest, TwoBadRepliesThenAGoodOne) {
    serial_sim_set_faults({.bad_checksum = 1, .stall = 1});
    EXPECT_EQ(run("v"), 0);
    EXPECT_TRUE(headless::log_lines().empty());
    EXPECT_STREQ(reply, device_reply("v").c_str());
    expect_received(enquiry + "\x02v/65\x03" + nak + nak + ack);
    std::string good = frame(device_reply("v"));
    std::string bad = good;
    bad[bad.size() - 2] = bad[bad.size() - 2] == '9' ? '0' : char(bad[bad.size() - 2] + 1);
    // The stall came second: bad checksums are taken before stalls.
    EXPECT_EQ(serial_sim_sent(),
              ack + ack + bad + good.substr(0, 1 + (good.size() - 2) / 2) + good);
}

TEST_F(SerialTransactionTest, NoiseBeforeStxIsLoggedAndIgnored) {
    serial_sim_set_faults({.noise = 3});
    EXPECT_EQ(run("v"), 0);
    std::string sent = serial_sim_sent();
    ASSERT_GE(sent.size(), 5u);
    Lines expected;
    for (size_t i = 2; i < 5; ++i) {
        ASSERT_NE(sent[i], '\x02');
        char line[64];
        snprintf(line, sizeof line, "Expected STX, received 0x%02X. Ignored", uint8_t(sent[i]));
        expected.push_back(line);
    }
    EXPECT_EQ(headless::log_lines(), expected);
    EXPECT_EQ(sent.substr(5), frame(device_reply("v")));
    EXPECT_STREQ(reply, device_reply("v").c_str());
}

TEST_F(SerialTransactionTest, OverlongReplyKeeps2047BytesAndFails) {
    serial_sim_set_faults({.reply_length = 3000});
    EXPECT_EQ(run("v"), serial_retries_failed);
    EXPECT_EQ(headless::log_lines(), Lines{"Request retries failed"});
    expect_received(enquiry + "\x02v/65\x03" + times(3, nak));
    // The last frame's first 2047 bytes, its last two read as digits ("..").
    std::string text = device_reply("v");
    text.append(2047 - text.size(), '.');
    EXPECT_EQ(std::string(serial_reply_buffer), text);
}

TEST_F(SerialTransactionTest, ReplyLongerThanTheCallersBufferIsCut) {
    serial_sim_set_faults({.reply_length = 1500});
    EXPECT_EQ(run("v", 1), 0);
    std::string text = device_reply("v");
    text.append(1500 - text.size(), '.');
    EXPECT_EQ(std::string(serial_reply_buffer), text);
    EXPECT_EQ(std::string(reply), text.substr(0, 999));
    EXPECT_EQ(headless::log_lines(),
              (Lines{"Request frame [v]", "Reply cut to 999 of 1500 characters"}));

    // One that just fits is not.
    headless::control(idc_log) = {};
    serial_sim_set_faults({.reply_length = 999});
    EXPECT_EQ(run("v"), 0);
    EXPECT_EQ(strlen(reply), 999u);
    EXPECT_TRUE(headless::log_lines().empty() ||
                headless::log_lines().back() != "Reply cut to 999 of 999 characters");
}

TEST_F(SerialTransactionTest, ReplyFrameChecks) {
    // Status only, checksum over a sum that wrapped past 255; a separator
    // other than "/" counts in the sum and is cut off all the same.
    serial_sim_send_raw({"00/00/00/73"});
    EXPECT_EQ(run("?"), 0);
    EXPECT_STREQ(reply, "00/00/00");
    expect_received(enquiry + "\x02?/10\x03" + ack);

    serial_sim_reset();
    std::string text = "00/00/00X";
    uint8_t sum = 0;
    for (char c : text) sum = uint8_t(sum + uint8_t(c));
    char digits[3];
    snprintf(digits, sizeof digits, "%02u", sum % 100u);
    serial_sim_send_raw({text + digits});
    EXPECT_EQ(run("?"), 0);
    EXPECT_STREQ(reply, "00/00/00");
    expect_received(enquiry + "\x02?/10\x03" + ack);

    // Ten bytes with a right checksum are too short; digits that are not
    // digits do not match.
    serial_sim_reset();
    std::string short_text = "0000000";
    snprintf(digits, sizeof digits, "%02u", frame_checksum(short_text.data(), 7));
    serial_sim_send_raw({short_text + "/" + digits, "00/00/00/:3", "00/00/01/74"});
    EXPECT_EQ(run("?"), 0);
    EXPECT_STREQ(reply, "00/00/01");
    expect_received(enquiry + "\x02?/10\x03" + nak + nak + ack);
}

TEST(ZReportStep, KeysOnExactCharacters) {
    EXPECT_EQ(zreport_step("A"), ZReportStep::identifier);
    EXPECT_EQ(zreport_step("A/3"), ZReportStep::identifier);
    EXPECT_EQ(zreport_step("Q"), ZReportStep::line);
    EXPECT_EQ(zreport_step("x/2"), ZReportStep::check);
    EXPECT_EQ(zreport_step("x/5"), ZReportStep::check);
    EXPECT_EQ(zreport_step("xx5"), ZReportStep::check);
    for (const char* other : {"", "a", "q", "X/5", "x", "x/", "x/3", "x2", "v"})
        EXPECT_EQ(zreport_step(other), ZReportStep::none) << other;
}

// An adapter pulled while the port is open: the request ends at once, with no
// time-outs; the port stays open as far as the window knows, and the next
// request opens it again by the same COM link, whatever is behind it now.
TEST_F(SerialTransactionTest, AnUnpluggedDeviceEndsTheRequestAndTheNextReopensThePort) {
    char link[600];
    ASSERT_TRUE(com_link_path(1, link, sizeof link));
    char device[600] = {};
    ASSERT_GT(readlink(link, device, sizeof device - 1), 0);
    serial_close(1);
    PtyPair adapter;
    std::string pulled = adapter.slave_path;
    link_com(1, pulled);
    ASSERT_TRUE(serial_open(1, 115200, 'N', 8, 1));
    // Pulled while the console waits for the answer to its enquiry.
    static int pulled_master;
    pulled_master = adapter.master;
    adapter.master = -1;
    on_wait = [] {
        if (pulled_master >= 0) close(pulled_master);
        pulled_master = -1;
    };
    uint32_t start = fake_clock::now();
    EXPECT_EQ(run("v"), serial_port_gone);
    EXPECT_EQ(fake_clock::now(), start); // no time-out ran
    EXPECT_STREQ(reply, "untouched");
    on_wait = nullptr;
    close(adapter.slave); // the device node goes with its last descriptor
    adapter.slave = -1;
    EXPECT_EQ(run("v"), serial_port_gone); // still gone: said once, then why
    std::vector<std::string> reopen_failed = {"no device at " + pulled +
                                              ": is the adapter plugged in?"};
    std::vector<std::string> expected = {"COM1: the device has gone (the adapter was unplugged?)"};
    expected.insert(expected.end(), reopen_failed.begin(), reopen_failed.end());
    EXPECT_EQ(headless::log_lines(), expected);

    link_com(1, device); // plugged in again, as another device
    ui_list_delete_all(idc_log);
    ASSERT_EQ(run("v"), result_ok);
    EXPECT_EQ(std::string(reply), device_reply("v"));
    EXPECT_EQ(headless::log_lines(), std::vector<std::string>{"Reopened port COM1"});
    EXPECT_FALSE(serial_port_lost(1));
}

} // namespace
