// The serial reply frame's checks and the Z-report texts, as bytes in and
// decisions out; and the same checks on the line.
#include "serial/reply_frame.h"
#include "serial/serial_transaction.h"
#include "serial/zreport.h"
#include "serial_sim_fixture.h"
#include "sim/serial_side.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Collects body (the bytes between STX and ETX) as the link does, into a
// buffer of the link's size, and checks it.
struct Collected {
    bool ok;
    size_t len;
    std::string text;
};
Collected collect(const std::string& body) {
    static char buffer[serial_reply_size];
    size_t len = 0;
    for (char c : body) len = reply_body_put(buffer, len, serial_reply_size - 1, uint8_t(c));
    buffer[len] = '\0';
    bool ok = reply_body_verify(buffer, len);
    return {ok, len, buffer};
}

TEST(ReplyFrame, LengthChecksumAndCut) {
    struct Case {
        std::string body;
        bool ok;
        std::string text; // what the buffer holds afterwards
    };
    const Case cases[] = {
        {"00/00/00/73", true, "00/00/00"},           // status only
        {"00/00/00/74", false, "00/00/00/74"},       // wrong digits: left as it came
        {"00/00/0/66", false, "00/00/0/66"},         // 10 bytes, right checksum: too short
        {"00/00/00x46", true, "00/00/00"},           // the separator is not looked at, only summed
        {"00/00/00/0y", false, "00/00/00/0y"},       // 10 * 0 + ('y' - '0') is 73, but no number
        {"00/00/00/:\x15", false, "00/00/00/:\x15"}, // 10 * 10 + (0x15 - 0x30) wraps to 73
    };
    for (const Case& c : cases) {
        Collected got = collect(c.body);
        EXPECT_EQ(got.ok, c.ok) << c.body;
        EXPECT_EQ(got.text, c.text) << c.body;
    }
}

TEST(ReplyFrame, SumWrapsBeforeTheModuloAndLongBodiesAreCut) {
    // "00/00/00/,/" adds up to 520: the 8-bit sum is 8, so the digits are
    // 08, not 20 (520 modulo 100).
    EXPECT_TRUE(collect("00/00/00/,/08").ok);
    EXPECT_FALSE(collect("00/00/00/,/20").ok);

    // 3000 bytes: the first 2047 are kept, and their last two are read as
    // the digits.
    std::string body(3000, 'x');
    Collected got = collect(body);
    EXPECT_EQ(got.len, serial_reply_size - 1);
    EXPECT_FALSE(got.ok);
    EXPECT_EQ(got.text, body.substr(0, serial_reply_size - 1));
}

class ReplyFrameLineTest : public SerialLinkTest {};

TEST_F(ReplyFrameLineTest, DigitsThatAreNoNumberAreRefusedWithNak) {
    // Three frames whose "digits" add up like the right checksum: each is
    // answered with NAK, and the transaction fails.
    serial_sim_send_raw({"00/00/00/0y", "00/00/00/0y", "00/00/00/0y"});
    char reply[100] = "untouched";
    EXPECT_EQ(serial_transaction("v", reply, sizeof reply, 0), serial_retries_failed);
    EXPECT_STREQ(reply, "untouched");
    wait_line_quiet();
    EXPECT_EQ(count_of(serial_sim_received(), "\x15"), 3u);
    EXPECT_EQ(headless::log_lines(), std::vector<std::string>{"Request retries failed"});
}

TEST(ZReportText, IdentifierOfAnAReply) {
    EXPECT_EQ(zreport_identifier("00/00/00/0001Z123"), "Z123");
    EXPECT_EQ(zreport_identifier("00/00/00/0001"), ""); // 13 characters: none
    EXPECT_EQ(zreport_identifier("00/00/00"), "");      // shorter still
    std::string longer = "00/00/00/0001" + std::string(70, 'I');
    EXPECT_EQ(zreport_identifier(longer.c_str()), std::string(70, 'I')); // no file: too long
}

TEST(ZReportText, IdentifiersThatNameOneFile) {
    struct Case {
        const char* identifier;
        bool ok;
    };
    const Case cases[] = {
        {"Z123", true},       {"VK00000042_0001", true}, {".", true}, // "._a.txt"
        {"a.b.c", true},      {"COM10.x", true},         {"CONSOLE.x", true}, {"", false},
        {"..", false},        {"a..b", false},           {"a/b", false},      {"a\\b", false},
        {"C:x", false},       {"a\x07z", false},         {"a\x7Fz", false},   {"a*", false},
        {"a?", false},        {"\"a\"", false},          {"<a>", false},      {"a|b", false},
        {"con.txt", false},   {"NUL .log", false},       {"com1.a", false},   {"LPT9.b", false},
        {"COM\xB9.c", false}, {"conout$.x", false},      {"CON", true}, // no dot: "CON_a.txt" is a
                                                                        // file
    };
    for (const Case& c : cases) EXPECT_EQ(zreport_names_a_file(c.identifier), c.ok) << c.identifier;
}

TEST(ZReportText, LinesOfQReplies) {
    struct Case {
        std::string reply;
        ZLineAction action;
        std::string text;
        size_t kept; // characters of the reply left
    };
    std::string long_line = "00/00/00/0/" + std::string(69, 'L');
    const Case cases[] = {
        {"00/00/00/0/SIGNATURES 2", ZLineAction::write, "SIGNATURES 2", 23},
        {"00/00/00/1/ESD-SIM", ZLineAction::skip, "", 18},
        {"00/00/00/2/ABCD", ZLineAction::skip, "", 15},
        {"00/00/00/3/", ZLineAction::close, "", 11},
        {"00/00/00/X", ZLineAction::write, "", 10}, // a type and no text: an empty line
        {"00/00/00/", ZLineAction::skip, "", 9},    // no line type
        {long_line, ZLineAction::write, std::string(49, 'L'), 60},
    };
    for (const Case& c : cases) {
        std::string buffer = c.reply;
        ZReportLine line = zreport_line(buffer.data());
        EXPECT_EQ(line.action, c.action) << c.reply;
        if (line.action == ZLineAction::write) {
            EXPECT_STREQ(line.text, c.text.c_str()) << c.reply;
        }
        EXPECT_EQ(strlen(buffer.c_str()), c.kept) << c.reply;
    }
}

} // namespace

TEST(ZReportText, SignatureOnlyAsExactly40HexDigitsInALineOfType1Or2) {
    std::string sig = "9B160FB92A43ED84FABF213AE8C5F08173786158";
    const struct {
        std::string reply, found;
    } cases[] = {
        {"00/00/00/2/" + sig, sig},
        {"00/00/00/1/SIG " + std::string(40, 'a') + " ok", std::string(40, 'a')},
        {"00/00/00/0/" + sig, ""},           // a written line
        {"00/00/00/3/" + sig, ""},           // the end
        {"00/00/00/2/" + sig.substr(1), ""}, // 39 digits
        {"00/00/00/2/" + sig + "0", ""},     // 41 digits
        {"00/00/00/2/" + sig.substr(0, 20) + "G" + sig.substr(20), ""},
        {"00/00/00/2/SIGNATURE " + sig, ""}, // cut at 60: one digit short
        {"00/00/00/2/12 " + sig, sig},       // after a shorter run
        {"00/00/00/2", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(zreport_line_signature(c.reply.c_str()), c.found) << c.reply;
}
