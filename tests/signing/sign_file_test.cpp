// "Sign File" against the simulated device over the serial line, TCP and
// RMLX. In every transfer the signature the device computed over what it
// received must be the SHA-1 of the file: the whole document arrived.
#include "app/connect.h"
#include "app/dialog_template.h"
#include "app/handlers.h"
#include "command/command.h"
#include "net_fixture.h"
#include "serial_sim_fixture.h"
#include "sim/device_model.h"
#include "sim/serial_side.h"
#include "sim/sim_device.h"
#include "support/sha1_text.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace {

using headless::control;
using Lines = std::vector<std::string>;

std::string text(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += char('a' + i % 26);
    return s;
}
std::string crlf_lines(size_t count) {
    std::string s;
    for (size_t i = 0; i < count; ++i) s += "Line of text\r\n";
    return s;
}
std::string with(std::string s, size_t at, char c) {
    s[at] = c;
    return s;
}

// The files every link signs, and the data requests each link must send:
// '@' TEXT or '&' BASE64, the payload's length, and the Base64 padding.
struct Case {
    const char* name;
    std::string content;
    Lines serial, tcp, rmlx;
};
const Case cases[] = {
    {"empty", "", {}, {}, {}},
    {"1500 bytes",
     text(1500),
     {"@750", "@750"},
     {"@750", "@750"},
     {"@450", "@450", "@450", "@150"}},
    {"751 bytes ending in LF",
     with(text(751), 100, '\n').substr(0, 750) + "\n",
     {"&1000", "&4=="},
     {"@750", "@1"},
     {"@450", "@301"}},
    {"CR LF text",
     text(750) + crlf_lines(60),
     {"@750", "&1000", "&120"},
     {"@750", "@750", "@90"},
     {"@450", "@450", "@450", "@240"}},
    {"1000 bytes", text(1000), {"@750", "@250"}, {"@750", "@250"}, {"@450", "@450", "@100"}},
    {"0x7F and 0xE9",
     with(text(750), 9, '\x7F') + with(text(10), 3, '\xE9'),
     {"@750", "&16=="},
     {"@750", "@10"},
     {"@450", "@310"}},
    // A zero byte would end a TEXT request on a network link; a whole RMLX
    // block in Base64 exceeds the frame, so it goes in two pieces.
    {"zero byte",
     text(750) + with(text(300), 100, '\0'),
     {"@750", "&400"},
     {"@750", "&400"},
     {"@450", "&496", "&104", "@150"}},
};

std::string shape(const std::string& request) {
    if (request.size() < 2 || request[1] != '/' || (request[0] != '@' && request[0] != '&'))
        return request;
    std::string s = request[0] + std::to_string(request.size() - 2);
    if (request[0] == '&') s += request.substr(request.find_last_not_of('=') + 1);
    return s;
}

// The file bytes a data request of this shape carries.
unsigned payload_bytes(const std::string& s) {
    unsigned n = unsigned(std::stoul(s.substr(1)));
    if (s[0] == '@') return n;
    return n / 4 * 3 - unsigned(std::count(s.begin(), s.end(), '='));
}

bool starts(const std::string& s, const std::string& prefix) {
    return s.rfind(prefix, 0) == 0;
}

// Signs the file and checks the requests, the signature and the log lines
// (the per-block lines only when detail is set).
void sign_and_check(const Case& c, const Lines& expected, Lines (*requests)(), bool detail) {
    SCOPED_TRACE(c.name);
    std::string path = write_test_file("doc.bin", c.content);
    headless::type_text(idc_sign_path, path);
    control(idc_details).checked = detail;
    ui_list_delete_all(idc_log);
    sign_file();

    Lines want{"{/0"};
    want.insert(want.end(), expected.begin(), expected.end());
    want.push_back("}");
    Lines got;
    for (auto& r : requests()) got.push_back(shape(r));
    EXPECT_EQ(got, want);
    std::string reply = control(idc_reply).text;
    EXPECT_EQ(reply.substr(0, 3), "00/");
    EXPECT_EQ(reply.substr(9), sha1_of(c.content)) << "the device signed something else";

    Lines log = headless::log_lines();
    Lines blocks, summary;
    for (auto& l : log) {
        if (starts(l, "TEXT block #") || starts(l, "BASE64 block #")) blocks.push_back(l);
        if (starts(l, "Done. (") || starts(l, "Transfer rate: ") || starts(l, "1K transfer"))
            summary.push_back(l);
    }
    std::string size = std::to_string(c.content.size());
    EXPECT_EQ(log.front(), "Signing '" + path + "', " + size + " byte(s)");
    Lines want_blocks;
    for (size_t i = 0; detail && i < expected.size(); ++i)
        want_blocks.push_back(std::string(expected[i][0] == '@' ? "TEXT" : "BASE64") + " block #" +
                              std::to_string(i + 1) + " (" +
                              std::to_string(payload_bytes(expected[i])) + " of " + size +
                              " bytes)");
    EXPECT_EQ(blocks, want_blocks);
    ASSERT_EQ(summary.size(), c.content.empty() ? 2u : 3u) << testing::PrintToString(summary);
    EXPECT_TRUE(starts(summary[0], "Done. (" + std::to_string(expected.size()) + " blocks, " +
                                       size + " bytes, "))
        << summary[0];
    if (c.content.empty()) {
        EXPECT_EQ(summary[1], "Transfer rate: 0.00 bytes/sec");
    }
}

// Serial ---------------------------------------------------------------------

class SignSerialTest : public SerialLinkTest {};

TEST_F(SignSerialTest, EveryFileArrivesWhole) {
    for (const Case& c : cases) {
        sim_device_reset(seed);
        serial_sim_reset();
        sign_and_check(c, c.serial, serial_sim_requests, true);
    }
    // The fake clock stands still: the rate is the byte count times 1000.
    EXPECT_EQ(headless::log_lines().end()[-2], "Transfer rate: 1050000.00 bytes/sec");
    EXPECT_EQ(headless::log_lines().back(), "1K transfer requires 0.00 milliseconds");
}

TEST_F(SignSerialTest, RefusalsEndTheTransferWithoutTheFinishRequest) {
    char data[100];
    // A block already open: the open request is refused, no data follows.
    ASSERT_EQ(execute_command("{/0", data, sizeof data, 0), 0);
    serial_sim_reset();
    headless::type_text(idc_sign_path, write_test_file("refused.txt", text(1000)));
    sign_file();
    EXPECT_EQ(serial_sim_requests(), Lines{"{/0"});
    EXPECT_EQ(headless::log_lines().back(), "Failed opening signature block");

    // The line fails: three bad reply frames to the second data block.
    sim_device_reset(seed);
    serial_sim_reset();
    std::string bad = reply_body("00/00/04/", false);
    serial_sim_send_raw({reply_body("00/00/04/"), reply_body("00/00/04/"), bad, bad, bad});
    sign_file();
    EXPECT_EQ(serial_sim_requests().size(), 3u) << "nothing after the second data block";
    EXPECT_EQ(headless::log_lines().back(), "Failed communicating with device");

    // The finish request is refused: no Done lines.
    serial_sim_reset();
    headless::type_text(idc_sign_path, write_test_file("refused.txt", "short"));
    serial_sim_send_raw(
        {reply_body("00/00/04/"), reply_body("00/00/04/"), reply_body("11/00/00/")});
    sign_file();
    EXPECT_EQ(serial_sim_requests(), (Lines{"{/0", "@/short", "}"}));
    EXPECT_EQ(headless::log_lines().back(), "Failed finishing block");
}

TEST_F(SignSerialTest, OperatorErrorsAndReadErrors) {
    headless::answer_box(id_ok);
    sign_file(); // no file name
    headless::type_text(idc_sign_path, test_files_dir() + "/missing.txt");
    headless::answer_box(id_ok);
    sign_file();
    ASSERT_EQ(headless::boxes().size(), 2u);
    EXPECT_EQ(headless::boxes()[0].text, "Filename missing!");
    EXPECT_EQ(headless::boxes()[1].text, "Cannot open file [" + test_files_dir() + "/missing.txt]");
    busy_flag = 1; // a transaction in progress
    headless::type_text(idc_sign_path, write_test_file("busy.txt", "x"));
    sign_file();
    busy_flag = 0;
    EXPECT_TRUE(serial_sim_received().empty());
    EXPECT_TRUE(headless::log_lines().empty());

    // A folder opens, but reading it fails: the loop ends, "}" never goes.
    headless::type_text(idc_sign_path, test_files_dir());
    sign_file();
    EXPECT_EQ(serial_sim_requests(), Lines{"{/0"});
    EXPECT_EQ(headless::log_lines().back(),
              "Cannot read file [" + test_files_dir() + "] after 0 byte(s) sent");
}

// Network --------------------------------------------------------------------

std::mutex received_mutex;
Lines received;
DeviceModel net_device(1);

Lines net_requests() {
    std::lock_guard<std::mutex> lock(received_mutex);
    return received;
}

class SignNetTest : public NetTest {
  protected:
    // Connects as the operator does, to a device whose requests are recorded.
    void connect(int32_t kind) {
        if (!enter_namespace(false, true)) return;
        NetSidesConfig config;
        uint32_t address = netns::ipv4(127, 0, 0, 1);
        if (kind == kind_rmlx)
            config.rmlx_devices = {address};
        else
            config.tcp_address = address;
        config.shared_device = [](const char*, std::string_view request) {
            std::lock_guard<std::mutex> lock(received_mutex);
            received.emplace_back(request);
            return net_device.handle(request);
        };
        ASSERT_TRUE(start(config));
        ui_combo_select(idc_kind, kind - 1);
        ui_combo_reset(idc_address);
        headless::type_text(idc_address, "127.0.0.1");
        connect_or_disconnect();
        ASSERT_EQ(connected_flag, 1);
    }
    void TearDown() override {
        if (connected_flag != 0) connect_or_disconnect();
        NetTest::TearDown();
    }
    void reset_device() {
        std::lock_guard<std::mutex> lock(received_mutex);
        net_device = DeviceModel(1);
        received.clear();
    }
};

TEST_F(SignNetTest, TcpEveryFileArrivesWholeTextUnlessItHoldsAZeroByte) {
    connect(kind_tcp);
    if (connected_flag == 0) return;
    for (const Case& c : cases) {
        reset_device();
        sign_and_check(c, c.tcp, net_requests, false);
    }
}

TEST_F(SignNetTest, RmlxBlocksOf450Bytes) {
    connect(kind_rmlx);
    if (connected_flag == 0) return;
    for (const Case& c : cases) {
        reset_device();
        sign_and_check(c, c.rmlx, net_requests, true);
    }
}

TEST_F(SignNetTest, TcpDeviceRefusesADataBlock) {
    connect(kind_tcp);
    if (connected_flag == 0) return;
    reset_device();
    // A control character in a TEXT block is refused by the device.
    headless::type_text(
        idc_sign_path,
        write_test_file("bad.txt", text(750) + with(text(750), 5, '\x01') + text(9)));
    sign_file();
    Lines got;
    for (auto& r : net_requests()) got.push_back(shape(r));
    EXPECT_EQ(got, (Lines{"{/0", "@750", "@750"}));
    EXPECT_EQ(lines().back(), "Failed signing data block");
}

} // namespace
