// "Sign File" against the simulated device over the serial line, TCP and
// RMLX. Each transfer that ends with "}" must leave the device's signature
// equal to the SHA-1 of the file: the whole document arrived.
#include "app/handlers.h"
#include "base/dialog_template.h"
#include "command/command.h"
#include "net_fixture.h"
#include "serial_sim_fixture.h"
#include "signing/sign_file.h"
#include "sim/serial_side.h"
#include "sim/sim_device.h"
#include "support/sha1_text.h"
#include "support/test_files.h"

#include <algorithm>
#include <mutex>

namespace {

using headless::control;
using Lines = std::vector<std::string>;

std::string text(size_t n, size_t at = 0, char c = 'a') {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += char('a' + i % 26);
    if (at > 0) s[at] = c;
    return s;
}
std::string crlf_lines(size_t count) {
    std::string s;
    for (size_t i = 0; i < count; ++i) s += "Line of text\r\n";
    return s;
}

// Each file and the requests each link sends after "{/0": '@' TEXT or '&'
// BASE64 with the payload's length and Base64 padding; "}" when it finishes.
struct Case {
    const char* name;
    std::string content;
    const char *serial, *tcp, *rmlx;
};
const Case cases[] = {
    {"empty", "", "}", "}", "}"},
    {"1500 bytes", text(1500), "@750 @750 }", "@750 @750 }", "@450 @450 @450 @150 }"},
    {"751 bytes ending in LF", text(750, 100, '\n') + "\n", "&1000 &4== }", "@750 @1 }",
     "@450 @301 }"},
    {"CR LF text", text(750) + crlf_lines(60), "@750 &1000 &120 }", "@750 @750 @90 }",
     "@450 @450 @450 @240 }"},
    {"1000 bytes", text(1000), "@750 @250 }", "@750 @250 }", "@450 @450 @100 }"},
    {"0x7F and 0xE9", text(750, 9, '\x7F') + text(10, 3, '\xE9'), "@750 &16== }", "@750 @10 }",
     "@450 @310 }"},
    // A zero byte would end a TEXT request on a network link; a whole RMLX
    // block in Base64 exceeds the frame, so it goes in two pieces.
    {"zero byte", text(750) + text(300, 100, '\0'), "@750 &400 }", "@750 &400 }",
     "@450 &496 &104 @150 }"},
    {"the shipped sample", read_file(VARNOKE_EXAMPLES_DIR "/sample_document.txt"), "&780= }",
     "@584 }", "@450 @134 }"},
    // The device refuses other control characters in a TEXT block.
    {"control character", text(1500, 755, '\x01'), "@750 &1000 }", "@750 @750", "@450 @450"},
};

// The requests in the notation of the table.
std::string shapes(const Lines& requests) {
    std::string out;
    for (auto& r : requests) {
        bool data = r.size() >= 2 && r[1] == '/' && (r[0] == '@' || r[0] == '&');
        out += out.empty() ? "" : " ";
        out += !data ? r : r[0] + std::to_string(r.size() - 2);
        if (data && r[0] == '&') out += r.substr(r.find_last_not_of('=') + 1);
    }
    return out;
}
bool starts(const std::string& s, const std::string& prefix) {
    return s.rfind(prefix, 0) == 0;
}

// Signs the file and checks the requests, the signature and the log.
void sign_and_check(const Case& c, const std::string& expected, Lines (*requests)(), bool detail) {
    SCOPED_TRACE(c.name);
    std::string path = write_test_file("doc.bin", c.content);
    std::string size = std::to_string(c.content.size());
    headless::type_text(idc_sign_path, path);
    control(idc_details).checked = detail;
    ui_list_delete_all(idc_log);
    sign_file();

    EXPECT_EQ(shapes(requests()), "{/0 " + expected);
    Lines log = headless::log_lines(), summary;
    EXPECT_EQ(log.front(), "Signing '" + path + "', " + size + " byte(s)");
    std::string blocks, want_blocks;
    for (auto& l : log) {
        if (starts(l, "TEXT block #")) blocks += "@";
        if (starts(l, "BASE64 block #")) blocks += "&";
        if (starts(l, "Done. (") || starts(l, "Transfer rate: ") || starts(l, "1K transfer"))
            summary.push_back(l);
    }
    for (char k : expected)
        if (detail && (k == '@' || k == '&')) want_blocks += k;
    EXPECT_EQ(blocks, want_blocks) << "one block line per data request, with Details only";
    if (expected.back() != '}') {
        EXPECT_EQ(log.back(), "Failed signing data block");
        EXPECT_TRUE(summary.empty());
        return;
    }
    EXPECT_EQ(control(idc_reply).text.substr(9), sha1_of(c.content)) << "signed something else";
    ASSERT_EQ(summary.size(), c.content.empty() ? 2u : 3u) << testing::PrintToString(summary);
    size_t data = std::count(expected.begin(), expected.end(), ' ');
    EXPECT_TRUE(
        starts(summary[0], "Done. (" + std::to_string(data) + " blocks, " + size + " bytes, "))
        << summary[0];
    if (c.content.empty()) {
        EXPECT_EQ(summary[1], "Transfer rate: 0.00 bytes/sec");
    }
}

class SignSerialTest : public SerialLinkTest {};

TEST_F(SignSerialTest, EveryFileArrivesWhole) {
    for (const Case& c : cases) {
        sim_device_reset(seed);
        serial_sim_reset();
        sign_and_check(c, c.serial, serial_sim_requests, true);
    }
    // The last file: its second block, and the rate at a clock that stands
    // still (the byte count times 1000).
    Lines log = headless::log_lines();
    EXPECT_NE(std::find(log.begin(), log.end(), "BASE64 block #2 (750 of 1500 bytes)"), log.end());
    EXPECT_EQ(log.end()[-2], "Transfer rate: 1500000.00 bytes/sec");
    EXPECT_EQ(log.back(), "1K transfer requires 0.00 milliseconds");
}

TEST_F(SignSerialTest, FailuresEndTheTransferWithoutTheFinishRequest) {
    const std::string ok = reply_body("00/00/04/"), bad = reply_body("00/00/04/", false);
    const struct {
        bool open_first; // a block is open already
        std::string content;
        Lines replies; // raw reply frames; none: the device's own
        size_t sent;
        std::string last_line;
    } failures[] = {
        {true, text(1000), {}, 1, "Failed opening signature block"},
        {false, text(1000), {ok, ok, bad, bad, bad}, 3, "Failed communicating with device"},
        {false, "short", {ok, ok, reply_body("11/00/00/")}, 3, "Failed finishing block"},
        // A folder opens, but reading it fails.
        {false, "", {}, 1, "Cannot read file [" + test_files_dir() + "] after 0 byte(s) sent"},
    };
    char data[100];
    for (auto& c : failures) {
        SCOPED_TRACE(c.last_line);
        sim_device_reset(seed);
        if (c.open_first) execute_command("{/0", data, sizeof data, 0);
        serial_sim_reset();
        serial_sim_send_raw(c.replies);
        headless::type_text(idc_sign_path,
                            c.content.empty() ? test_files_dir() : write_test_file("f", c.content));
        sign_file();
        EXPECT_EQ(serial_sim_requests().size(), c.sent);
        EXPECT_EQ(headless::log_lines().back(), c.last_line);
    }
}

// The network device records every request it answers.
std::mutex received_mutex;
Lines received;
DeviceModel net_device(1);

Lines net_requests() {
    std::lock_guard<std::mutex> lock(received_mutex);
    return received;
}

class SignNetTest : public NetTest {
  protected:
    // Connects as the operator does, with the kind chosen and the address typed.
    void connect(int32_t kind) {
        ui_combo_select(idc_kind, kind - 1);
        ui_combo_reset(idc_address);
        headless::type_text(idc_address, "127.0.0.1");
        connect_or_disconnect();
        ASSERT_EQ(connected_flag, 1);
    }
};

TEST_F(SignNetTest, TcpAndRmlxEveryFileArrivesWhole) {
    if (!enter_namespace(false, true)) return;
    NetSidesConfig config;
    config.tcp_address = netns::ipv4(127, 0, 0, 1);
    config.rmlx_devices = {config.tcp_address};
    config.shared_device = [](const char*, std::string_view request) {
        std::lock_guard<std::mutex> lock(received_mutex);
        received.emplace_back(request);
        return net_device.handle(request);
    };
    ASSERT_TRUE(start(config));
    for (int32_t kind : {kind_tcp, kind_rmlx}) {
        connect(kind);
        for (const Case& c : cases) {
            {
                std::lock_guard<std::mutex> lock(received_mutex);
                net_device = DeviceModel(1);
                received.clear();
            }
            sign_and_check(c, kind == kind_tcp ? c.tcp : c.rmlx, net_requests, kind == kind_rmlx);
        }
        connect_or_disconnect();
    }
}

} // namespace
