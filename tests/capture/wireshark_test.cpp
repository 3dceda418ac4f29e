// The Wireshark dissector (tools/wireshark/varnoke.lua) under tshark: byte
// examples of every link written with text2pcap decode to their fields, and
// the captures the console saves of sessions with the simulated device on
// each of the four links decode cleanly, with every request and reply in
// order, each reply pointing at its request with the time it took.
#include "app/handlers.h"
#include "base/dialog_template.h"
#include "base/results.h"
#include "capture/capture_file.h"
#include "codec/frame_checksum.h"
#include "command/command.h"
#include "net/net_link.h"
#include "net_fixture.h"
#include "serial/serial_port.h"
#include "serial_sim_fixture.h"
#include "sim/serial_side.h"
#include "sim/sim_device.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Row = std::map<std::string, std::string>;
using Lines = std::vector<std::string>;

const char aggregator = '\x1f'; // between the values of a field that occurs more than once

// The command's standard output; its exit status in *status.
std::string run(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    int rc = pclose(pipe);
    if (status != nullptr) *status = rc;
    return out;
}

// Why the tests cannot run here, or "".
std::string missing_tools() {
    for (const char* tool : {"tshark", "text2pcap"}) {
        int status = -1;
        run(std::string(tool) + " -v >/dev/null 2>&1", &status);
        if (status != 0)
            return std::string("no ") + tool + " here (tools/deps.sh test installs it with apt)";
    }
    return "";
}

#define SKIP_WITHOUT_TSHARK()                                                                      \
    if (std::string why = missing_tools(); !why.empty()) GTEST_SKIP() << why

// Decodes file with the dissector: one row per packet with the fields asked.
std::vector<Row> decode(const fs::path& file, const Lines& fields,
                        const std::string& options = "") {
    fs::path errors = fs::path(test_files_dir()) / "tshark.err";
    std::string command = "tshark -n -r '" + file.string() +
                          "' -X lua_script:" VARNOKE_LUA_FILE " " + options +
                          " -T fields -E occurrence=a -E aggregator=" + aggregator;
    for (const std::string& f : fields) command += " -e " + f;
    int status = -1;
    std::istringstream out(run(command + " 2>'" + errors.string() + "'", &status));
    std::string complaint = read_file(errors);
    EXPECT_EQ(status, 0) << command << "\n" << complaint;
    EXPECT_EQ(complaint.find("Lua"), std::string::npos) << complaint;
    std::vector<Row> rows;
    for (std::string line; std::getline(out, line);) {
        Row row;
        std::istringstream values(line);
        std::string value;
        for (const std::string& f : fields) {
            if (!std::getline(values, value, '\t')) value.clear();
            row[f] = value;
        }
        rows.push_back(row);
    }
    return rows;
}

struct Packet {
    char direction; // 'I' from the device, 'O' from the console
    std::string bytes;
    Row expected; // fields and their values; "" for a field that must be absent
};

std::string frame_of(const std::string& text) {
    char digits[3];
    snprintf(digits, sizeof digits, "%02u", frame_checksum(text.data(), text.size()));
    return "\x02" + text + "/" + digits + "\x03";
}

std::string hex(const std::string& hex_bytes) {
    std::string out;
    std::istringstream in(hex_bytes);
    for (unsigned v; in >> std::hex >> v;) out += char(v);
    return out;
}

constexpr char hex_digits[] = "0123456789abcdef";

// Writes the packets through text2pcap with its options (link type,
// made-up headers) and checks each packet's fields.
void check_decoding(const char* what, const std::string& text2pcap_options,
                    const std::vector<Packet>& packets, const std::string& tshark_options = "") {
    SCOPED_TRACE(what);
    fs::path input = fs::path(test_files_dir()) / "packets.txt",
             file = fs::path(test_files_dir()) / "packets.pcapng";
    {
        std::ofstream text(input);
        for (const Packet& p : packets) {
            text << p.direction << " 0000";
            for (unsigned char c : p.bytes) text << ' ' << hex_digits[c >> 4] << hex_digits[c & 15];
            text << "\n";
        }
    }
    int status = -1;
    std::string out = run("text2pcap -q -D " + text2pcap_options + " '" + input.string() + "' '" +
                              file.string() + "' 2>&1",
                          &status);
    ASSERT_EQ(status, 0) << out;
    Lines fields{"_ws.col.Info", "_ws.expert.message", "_ws.malformed"};
    for (const Packet& p : packets)
        for (const auto& [field, value] : p.expected)
            if (std::find(fields.begin(), fields.end(), field) == fields.end())
                fields.push_back(field);
    std::vector<Row> rows = decode(file, fields, tshark_options);
    ASSERT_EQ(rows.size(), packets.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        Row expected = packets[i].expected;
        expected.try_emplace("_ws.expert.message", "");
        expected.try_emplace("_ws.malformed", "");
        for (const auto& [field, value] : expected)
            EXPECT_EQ(rows[i][field], value) << "packet " << i + 1 << ", " << field;
    }
}

// How the Info column begins on the serial line.
const std::string to_device = "\xE2\x86\x92 ", from_device = "\xE2\x86\x90 ";

const std::string v_frame = hex("02 76 2F 36 35 03"), x5_frame = hex("02 78 2F 35 2F 31 31 03");
const std::string status_reply = hex("02 30 30 2F 30 30 2F 30 30 2F 37 33 03"); // 00/00/00, 73

TEST(WiresharkDissector, ExampleBytesOfEveryLinkDecodeToTheirFields) {
    SKIP_WITHOUT_TSHARK();
    check_decoding("serial line", "-l 147",
                   {{'O',
                     "\x18\x18\x18\x05",
                     {{"_ws.col.Info", to_device + "CAN CAN CAN ENQ"},
                      {"_ws.col.Source", "Fake IF, text2pcap"},
                      {"_ws.col.Destination", "device"}}},
                    {'O',
                     v_frame,
                     {{"_ws.col.Info", to_device + "REQ v"},
                      {"esdframe.text", "v"},
                      {"esdframe.checksum", "65"}}},
                    {'O', x5_frame, {{"esdframe.text", "x/5"}, {"esdframe.checksum", "11"}}},
                    // 0x6E + 0x6E + "/" = 267, which wraps to 11 before the modulo.
                    {'O', frame_of("nn"), {{"esdframe.checksum", "11"}}},
                    {'I',
                     "\x06" + status_reply,
                     {{"_ws.col.Info", from_device + "ACK REP 00/00/00"},
                      {"_ws.col.Source", "device"},
                      {"_ws.col.Destination", "Fake IF, text2pcap"},
                      {"esdframe.control", "0x06"},
                      {"esd.error_code", "0x00"},
                      {"esd.data", ""}}},
                    {'I',
                     frame_of("00/80/24/data"),
                     {{"esd.device_status", "0x80"},
                      {"esd.device_status.bat", "1"},
                      {"esd.device_status.fcon", "0"},
                      {"esd.function_status", "0x24"},
                      {"esd.function_status.fwarn", "1"},
                      {"esd.function_status.sip", "1"},
                      {"esd.function_status.day", "0"},
                      {"esd.data", "data"}}},
                    {'I', "\x15", {{"_ws.col.Info", from_device + "NAK"}}}});
    // text2pcap makes up the addresses and ports of an inbound packet as
    // given, of an outbound one the other way round.
    check_decoding(
        "RMLX from the console", "-u 24222,40000 -4 192.0.2.2,192.0.2.1",
        {{'O',
          hex("8F E1 34 12 00 00 00 00 55 AA 0A AD"),
          {{"_ws.col.Info", "QRY fsn=0x1234"},
           {"rmlx.id", "0xe18f"},
           {"rmlx.fsn", "0x1234"},
           {"rmlx.opcode", "0x00"},
           {"rmlx.reserved", "0x00"},
           {"rmlx.length", "0"},
           {"rmlx.data_checksum", "0xaa55"},
           {"rmlx.header_checksum", "0xad0a"}}},
         {'O',
          hex("8F E1 01 01 21 00 01 00 CB AA 5E AD 76"),
          {{"_ws.col.Info", "REQ fsn=0x0101 v"}, {"rmlx.opcode", "0x21"}, {"rmlx.text", "v"}}}});
    check_decoding("RMLX from the device", "-u 24222,40000 -4 192.0.2.2,192.0.2.1",
                   {{'I',
                     hex("2D 7A 01 01 22 00 08 00 D3 AB A6 AC") + "00/00/00",
                     {{"_ws.col.Info", "REP fsn=0x0101 00/00/00"},
                      {"rmlx.id", "0x7a2d"},
                      {"rmlx.text", "00/00/00"},
                      {"esd.error_code", "0x00"},
                      {"esd.function_status", "0x00"}}}});
    check_decoding(
        "plain UDP", "-u 9101,9101 -4 192.0.2.1,192.0.2.2",
        {{'O', "\x05", {{"_ws.col.Info", "ENQ"}}},
         {'I', "\x06", {{"_ws.col.Info", "ACK"}}},
         {'O', x5_frame, {{"_ws.col.Info", "REQ x/5"}, {"esdframe.text", "x/5"}}},
         {'I', status_reply, {{"_ws.col.Info", "REP 00/00/00"}, {"esd.device_status", "0x00"}}},
         {'I', "\x16", {{"_ws.col.Info", "NAK"}}},
         {'I', "\x10", {{"_ws.col.Info", "RESYNC"}}}});
    check_decoding("TCP from the console", "-T 9101,40000 -4 192.0.2.2,192.0.2.1",
                   {{'O', "v", {{"_ws.col.Info", "REQ v"}, {"esdtext.text", "v"}}}});
    check_decoding("TCP from the device", "-T 9101,40000 -4 192.0.2.2,192.0.2.1",
                   {{'I',
                     "00/00/00/ESD-SIM",
                     {{"_ws.col.Info", "REP 00/00/00/ESD-SIM"}, {"esd.data", "ESD-SIM"}}}});
    // Another port, by "Decode As" and by the preference.
    Packet qry{'O', hex("8F E1 34 12 00 00 00 00 55 AA 0A AD"), {{"rmlx.fsn", "0x1234"}}};
    check_decoding("Decode As", "-u 5000,40000", {qry}, "-d udp.port==5000,rmlx");
    check_decoding("port preference", "-u 5000,40000", {qry}, "-o rmlx.port:5000");
}

// Expert info groups and severities as tshark prints them.
const Row::value_type checksum_group{"_ws.expert.group", "16777216"};
const Row::value_type response_group{"_ws.expert.group", "50331648"};
const Row::value_type malformed_group{"_ws.expert.group", "117440512"};
const Row::value_type error_severity{"_ws.expert.severity", "8388608"};
const Row::value_type warning_severity{"_ws.expert.severity", "6291456"};
const Row::value_type malformed{"_ws.malformed", "_ws.malformed"}; // marked malformed

std::pair<const std::string, std::string> expert(const std::string& message) {
    return {"_ws.expert.message", message};
}

TEST(WiresharkDissector, FlawsShowTheirExpertInfo) {
    SKIP_WITHOUT_TSHARK();
    check_decoding(
        "serial line", "-l 147",
        {{'I',
          hex("02 30 30 2F 30 30 2F 30 30 2F 37 34 03"),
          {expert("Checksum 74 wrong (expected 73)"), checksum_group, error_severity}},
         {'I',
          hex("02 30 30 2F 30 30 2F 30 30 2F 30 79 03"),
          {expert("Checksum '0y' is no number (expected 73)"), checksum_group, error_severity}},
         {'I',
          frame_of("0A/00/00"),
          {{"esd.error_code", "0x0a"},
           expert("Device error 0x0A: DAYOPEN (Cannot execute command when day is open)"),
           response_group,
           warning_severity}},
         {'I', frame_of("0/"), {expert("Reply shorter than its three status fields"), malformed}},
         {'O',
          "\x02/1\x03",
          {expert("2 bytes between STX and ETX, no room for separator and checksum"),
           malformed_group, error_severity, malformed}}});
    std::string rep = hex("2D 7A 01 01 22 00 08 00 D3 AB A6 AC") + "00/00/00";
    // The reply changed at offset, with a header checksum that still fits.
    auto changed = [&](size_t offset, const std::string& bytes) {
        std::string frame = rep;
        frame.replace(offset, bytes.size(), bytes);
        uint16_t sum = rmlx_checksum(reinterpret_cast<const uint8_t*>(frame.data()), 10);
        frame[10] = char(sum & 0xFF), frame[11] = char(sum >> 8);
        return frame;
    };
    std::string bad_header = rep;
    bad_header[10] = '\xA7';
    check_decoding(
        "RMLX from the device", "-u 24222,40000",
        {{'I',
          bad_header,
          {expert("Header checksum 0xACA7 wrong (expected 0xACA6)"), checksum_group,
           error_severity}},
         {'I',
          changed(8, "\xD4"),
          {expert("Data checksum 0xABD4 wrong (expected 0xABD3)"), checksum_group}},
         {'I',
          changed(6, "\x0A"),
          {expert("Length 10, but the datagram carries 8 data bytes"), malformed_group, malformed}},
         {'I', changed(0, "\x8F\xE1"), {expert("Id 0xE18F (expected 0x7A2D)"), malformed}},
         {'I',
          rep.substr(0, 11),
          {expert("Datagram of 11 bytes, shorter than a header"), malformed}}});
}

// An RMLX frame with both checksums.
std::string rmlx_frame(uint16_t id, uint16_t fsn, uint8_t op, const std::string& text) {
    std::string f(12, '\0');
    f[0] = char(id & 0xFF), f[1] = char(id >> 8), f[2] = char(fsn & 0xFF), f[3] = char(fsn >> 8);
    f[4] = char(op), f[6] = char(text.size() & 0xFF), f[7] = char(text.size() >> 8);
    f += text;
    uint16_t data = rmlx_checksum(reinterpret_cast<const uint8_t*>(f.data()) + 12, text.size());
    f[8] = char(data & 0xFF), f[9] = char(data >> 8);
    uint16_t header = rmlx_checksum(reinterpret_cast<const uint8_t*>(f.data()), 10);
    f[10] = char(header & 0xFF), f[11] = char(header >> 8);
    return f;
}

// Which reply answers which request where the examples leave the one-to-one
// road: requests sent again, replies sent again, a reply in pieces, replies
// that answer the requests of a TCP stream in order. text2pcap stamps the
// packets a microsecond apart, so the times count packets.
TEST(WiresharkDissector, RepliesFindTheirRequestsOnEveryLink) {
    SKIP_WITHOUT_TSHARK();
    auto pair = [](const std::string& response_in, const std::string& request_in,
                   const std::string& time, const std::string& field) {
        return Row{{field + ".response_in", response_in},
                   {field + ".request_in", request_in},
                   {field + ".time", time}};
    };
    auto esd = [&](const std::string& response_in, const std::string& request_in = "",
                   const std::string& time = "") {
        return pair(response_in, request_in, time, "esdframe");
    };
    const std::string bad_reply = hex("02 30 30 2F 30 30 2F 30 30 2F 37 34 03");
    // The console's NAK asks for the reply again; the next ENQ begins anew,
    // and a request left without a reply says so (on the second pass).
    std::vector<Packet> serial = {
        {'O', "\x18\x18\x18\x05", esd("")},
        {'I', "\x06", esd("")},
        {'O', v_frame, esd("6")},
        {'I', "\x15", esd("")}, // the device did not take it: sent again
        {'O', v_frame, esd("6")},
        {'I', "\x06" + bad_reply, esd("", "3", "0.000003000")},
        {'O', "\x15", esd("")},
        {'I', status_reply, esd("", "3", "0.000005000")},
        {'O', "\x06\x18\x18\x18\x05", esd("")},
        {'I', "\x06", esd("")},
        {'O', x5_frame, esd("")},
        {'I', "\x06", esd("")},
        {'O', "\x18\x18\x18\x05", esd("")},
        {'I', "\x06", esd("")},
        {'O', v_frame, esd("16")},
        {'I', "\x06" + status_reply, esd("", "15", "0.000001000")},
    };
    serial[10].expected.emplace("_ws.expert.message", "No reply to this request in the capture");
    for (Packet& p : serial) p.expected.emplace("_ws.expert.message", "");
    serial[5].expected["_ws.expert.message"] = "Checksum 74 wrong (expected 73)";
    check_decoding("serial line", "-l 147", serial, "-2");

    std::vector<Packet> udp = {
        {'O', "\x05", esd("")},    {'I', "\x06", esd("")},
        {'O', x5_frame, esd("4")}, {'I', status_reply, esd("", "3", "0.000001000")},
        {'O', "\x16", esd("")},    {'I', status_reply, esd("", "3", "0.000003000")},
    };
    check_decoding("plain UDP", "-u 9101,9101 -4 192.0.2.1,192.0.2.2", udp, "-2");

    auto rmlx = [&](const std::string& response_in, const std::string& request_in = "",
                    const std::string& time = "") {
        return pair(response_in, request_in, time, "rmlx");
    };
    const uint16_t console = 0xE18F, device = 0x7A2D;
    check_decoding("RMLX", "-u 24222,40000 -4 192.0.2.2,192.0.2.1",
                   {{'O', rmlx_frame(console, 7, 0x21, "v"), rmlx("4")},
                    {'I', rmlx_frame(device, 7, 0x13, ""), rmlx("")}, // NAK: sent again
                    {'O', rmlx_frame(console, 7, 0x21, "v"), rmlx("4")},
                    {'I', rmlx_frame(device, 7, 0x22, "00/00/00"), rmlx("", "1", "0.000003000")},
                    {'O', rmlx_frame(console, 8, 0x21, "?"), rmlx("6")},
                    {'I', rmlx_frame(device, 8, 0x22, "00/00/00"), rmlx("", "5", "0.000001000")},
                    {'I', rmlx_frame(device, 7, 0x22, "00/00/00"), rmlx("", "1", "0.000006000")}},
                   "-2");

    auto text = [&](const std::string& response_in, const std::string& request_in = "",
                    const std::string& time = "") {
        return pair(response_in, request_in, time, "esdtext");
    };
    check_decoding("TCP", "-T 9101,40000 -4 192.0.2.2,192.0.2.1",
                   {{'O', "v", text("3")},
                    {'O', "?", text("5")},
                    {'I', "00/00/00/ESD", text("", "1", "0.000002000")},
                    {'I', "-SIM", text("", "1", "0.000003000")},
                    {'I', "00/00/00/0001", text("", "2", "0.000003000")}},
                   "-2");
}

// The network link's addresses and the device's port, as the capture must
// show them in each request and reply; all empty on the serial line. The
// protocol that carries the texts.
struct Endpoints {
    std::string local, device, port;
    std::string proto = "esdframe";
};

// A time stamp or time field as tshark prints it, in nanoseconds.
int64_t nanoseconds(const std::string& seconds) {
    size_t dot = seconds.find('.');
    std::string fraction = dot == std::string::npos ? "" : seconds.substr(dot + 1);
    fraction.resize(9, '0');
    return std::stoll(seconds.substr(0, dot)) * 1000000000 + std::stoll(fraction);
}

struct Transactions {
    Lines summary;        // per request: "text: 1 reply", "text: 2 replies slow", ...
    Lines request_frames; // their frame numbers
};

// The requests of a capture decoded in two passes, in order, each with what
// answered it: "?: 1 reply", "?: 2 replies", "?: no reply" when it carries
// the expert info that says so, and " slow" when a reply took over 0.5 s.
// On the way: every reply points at a request, with the time between their
// packets' time stamps, and every answered request at its first reply.
Transactions transactions(const fs::path& file, const std::string& proto) {
    auto rows = decode(file,
                       {"frame.number", "frame.time_epoch", "frame.p2p_dir", proto + ".text",
                        proto + ".response_in", proto + ".request_in", proto + ".time",
                        "_ws.expert.message"},
                       "-2");
    struct Request {
        std::string text, response_in, first_reply;
        int64_t time = 0;
        unsigned replies = 0;
        bool slow = false, no_reply_info = false;
    };
    std::vector<Request> requests;
    std::map<std::string, size_t> by_frame;
    Transactions out;
    for (Row& row : rows) {
        const std::string& text = row[proto + ".text"];
        if (text.empty()) continue;
        std::string number = row["frame.number"];
        int64_t time = nanoseconds(row["frame.time_epoch"]);
        if (row["frame.p2p_dir"] == "0") {
            EXPECT_EQ(row[proto + ".request_in"], "") << "request " << number;
            by_frame[number] = requests.size();
            requests.push_back({text, row[proto + ".response_in"], "", time});
            requests.back().no_reply_info =
                row["_ws.expert.message"].find("No reply to this request in the capture") !=
                std::string::npos;
            out.request_frames.push_back(number);
            continue;
        }
        auto found = by_frame.find(row[proto + ".request_in"]);
        if (found == by_frame.end()) {
            ADD_FAILURE() << "reply " << number << " (" << text << ") points at no request: '"
                          << row[proto + ".request_in"] << "'";
            continue;
        }
        Request& r = requests[found->second];
        EXPECT_EQ(nanoseconds(row[proto + ".time"]), time - r.time) << "reply " << number;
        if (r.replies++ == 0) r.first_reply = number;
        r.slow = r.slow || time - r.time > 500000000;
    }
    for (const Request& r : requests) {
        std::string line = r.text + ": ";
        line += r.replies == 0   ? "no reply"
                : r.replies == 1 ? "1 reply"
                                 : std::to_string(r.replies) + " replies";
        if (r.slow) line += " slow";
        if (r.no_reply_info != (r.replies == 0))
            line += r.no_reply_info ? " (but the no-reply info)" : " (without the no-reply info)";
        if (r.response_in != r.first_reply)
            line += " (response_in '" + r.response_in + "', not " + r.first_reply + ")";
        out.summary.push_back(line);
    }
    return out;
}

// The frames that `-Y '<proto>.time > 0.5'` finds in one pass, by the
// frame numbers of their requests.
Lines slow_replies(const fs::path& file, const std::string& proto) {
    Lines out;
    for (Row& row : decode(file, {proto + ".request_in"}, "-Y '" + proto + ".time > 0.5'"))
        out.push_back(row[proto + ".request_in"]);
    return out;
}

constexpr unsigned held_back_ms = 600;

void hold_replies_back(unsigned ms) {
    sim_with_device([ms](DeviceModel& d) { d.reply_delay_ms = ms; });
}

std::string whole(const char* reply) {
    return reply;
}

// A session with the device through the window's Connect, some requests (the
// first "?" answered after held_back_ms) and the operator's save, then its
// capture decoded: nothing malformed, no checksum wrong (the IPv4, UDP and
// TCP ones included), no TCP stream trouble, no warning at all; every
// request and reply text in order (the replies in reply_buffer cut as
// reply_text cuts them), the requests from the console's address to the
// device's; every request answered, the held-back one slow and the only one
// a filter on the time finds. Returns the capture.
fs::path check_session(const Endpoints& e, std::string (*reply_text)(const char*) = whole) {
    headless::control(idc_details).checked = false;
    connect_or_disconnect();
    EXPECT_EQ(connected_flag, 1);
    Lines sent{"REQ v", "REP " + reply_text(reply_buffer)};
    bool first = true;
    for (const char* request : {"?", "{/0", "@/Hello, device", "}", "?"}) {
        char data[1000];
        hold_replies_back(first ? held_back_ms : 0);
        first = false;
        EXPECT_EQ(execute_command(request, data, sizeof data, 0), 0) << request;
        EXPECT_EQ(error_code, 0) << request;
        sent.push_back(std::string("REQ ") + request);
        sent.push_back("REP " + reply_text(reply_buffer));
    }
    fs::path file = fs::path(test_files_dir()) / "session.pcapng";
    save_wire_capture_command(file.c_str());
    EXPECT_EQ(headless::log_lines().back().rfind("Wire capture saved to " + file.string(), 0), 0u)
        << headless::log_lines().back();
    connect_or_disconnect();

    Lines text_fields{"rmlx.text", "esdframe.text", "esdtext.text"};
    Lines fields{"frame.p2p_dir", "ip.src",
                 "ip.dst",        "udp.dstport",
                 "tcp.dstport",   "_ws.expert.severity",
                 "_ws.malformed", "tcp.analysis.flags",
                 "_ws.col.Info"};
    fields.insert(fields.end(), text_fields.begin(), text_fields.end());
    auto rows = decode(file, fields,
                       "-o ip.check_checksum:TRUE -o udp.check_checksum:TRUE "
                       "-o tcp.check_checksum:TRUE");
    Lines decoded;
    for (Row& row : rows) {
        std::istringstream severities(row["_ws.expert.severity"]);
        for (std::string level; std::getline(severities, level, aggregator);)
            EXPECT_LT(std::stoul(level), 0x00600000u)
                << "a warning or error: " << row["_ws.col.Info"];
        EXPECT_EQ(row["_ws.malformed"], "") << row["_ws.col.Info"];
        EXPECT_EQ(row["tcp.analysis.flags"], "") << row["_ws.col.Info"];
        for (const std::string& f : text_fields) {
            if (row[f].empty()) continue;
            bool request = row["frame.p2p_dir"] == "0";
            decoded.push_back((request ? "REQ " : "REP ") + row[f]);
            EXPECT_EQ(row[request ? "ip.src" : "ip.dst"], e.local);
            EXPECT_EQ(row[request ? "ip.dst" : "ip.src"], e.device);
            if (request) {
                EXPECT_EQ(row["udp.dstport"] + row["tcp.dstport"], e.port);
            }
        }
    }
    EXPECT_EQ(decoded, sent);

    Transactions t = transactions(file, e.proto);
    EXPECT_EQ(t.summary, (Lines{"v: 1 reply", "?: 1 reply slow", "{/0: 1 reply",
                                "@/Hello, device: 1 reply", "}: 1 reply", "?: 1 reply"}));
    if (t.request_frames.size() > 1) {
        EXPECT_EQ(slow_replies(file, e.proto), Lines{t.request_frames[1]});
    }
    return file;
}

class SerialCaptureTest : public SerialSimTest {
  protected:
    void TearDown() override {
        serial_close(1);
        connected_flag = 0;
        SerialSimTest::TearDown();
    }
};

TEST_F(SerialCaptureTest, SessionOnTheSerialLineDecodesInOrder) {
    SKIP_WITHOUT_TSHARK();
    fs::path file = check_session({});
    auto rows = decode(file, {"frame.interface_description", "_ws.col.Info"});
    ASSERT_GE(rows.size(), 4u);
    EXPECT_EQ(rows[0]["frame.interface_description"], "COM1 at 115200 baud, 8N1");
    EXPECT_EQ(rows[0]["_ws.col.Info"], to_device + "CAN CAN CAN ENQ");
    EXPECT_EQ(rows[1]["_ws.col.Info"], from_device + "ACK");
    EXPECT_EQ(rows[2]["_ws.col.Info"], to_device + "REQ v");

    // tshark's own lines: number, time, source, arrow, destination, ...
    // (the columns' padding taken out).
    std::istringstream lines(
        run("tshark -n -r '" + file.string() + "' -X lua_script:" VARNOKE_LUA_FILE " 2>/dev/null"));
    Lines shown;
    for (std::string line; std::getline(lines, line) && shown.size() < 3;) {
        std::string words;
        std::istringstream in(line);
        for (std::string word; in >> word;) words += (words.empty() ? "" : " ") + word;
        shown.push_back(words);
    }
    ASSERT_EQ(shown.size(), 3u);
    const std::string arrow = "\xE2\x86\x92";
    EXPECT_NE(shown[0].find("COM1 " + arrow + " device ESD 4 " + to_device + "CAN CAN CAN ENQ"),
              std::string::npos)
        << shown[0];
    EXPECT_NE(shown[1].find("device " + arrow + " COM1 ESD 1 " + from_device + "ACK"),
              std::string::npos)
        << shown[1];
    EXPECT_NE(shown[2].find("COM1 " + arrow + " device ESD 6 " + to_device + "REQ v"),
              std::string::npos)
        << shown[2];
}

// A reply with a wrong checksum and the one the console then asked for both
// point at their request; a request the device acknowledged and never
// answered says so.
TEST_F(SerialCaptureTest, ResentRepliesAndUnansweredRequestsOnTheSerialLine) {
    SKIP_WITHOUT_TSHARK();
    headless::control(idc_details).checked = false;
    connect_or_disconnect();
    ASSERT_EQ(connected_flag, 1);
    char data[1000];
    serial_sim_set_faults({.bad_checksum = 1});
    EXPECT_EQ(execute_command("?", data, sizeof data, 0), result_ok);
    serial_sim_set_faults({.reply_silent = 1});
    EXPECT_EQ(execute_command("v", data, sizeof data, 0), serial_no_stx);
    serial_sim_set_faults({});
    wait_line_quiet();
    EXPECT_EQ(execute_command("?", data, sizeof data, 0), result_ok);
    fs::path file = fs::path(test_files_dir()) / "faults.pcapng";
    save_wire_capture_command(file.c_str());
    connect_or_disconnect();

    Transactions t = transactions(file, "esdframe");
    EXPECT_EQ(t.summary, (Lines{"v: 1 reply", "?: 2 replies", "v: no reply", "?: 1 reply"}));
    EXPECT_EQ(slow_replies(file, "esdframe"), Lines{});
}

// The response-time plot (tools/wireshark/response_times.sh) of a session on
// the serial line whose replies were held back from nothing to 700 ms: its
// statistics count every reply and put the two slowest over the slow line;
// the picture is drawn. With VARNOKE_WRITE_PICTURES set (the target
// update_wireshark_picture) it goes to docs/images too.
TEST_F(SerialCaptureTest, ResponseTimePlotOfASession) {
    SKIP_WITHOUT_TSHARK();
    if (system("convert -version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no ImageMagick here (tools/deps.sh test installs it with apt)";
    headless::control(idc_details).checked = false;
    connect_or_disconnect();
    ASSERT_EQ(connected_flag, 1);
    const unsigned delays_ms[] = {0, 40, 120, 250, 60, 650, 30, 180, 300, 700, 90, 20};
    for (unsigned ms : delays_ms) {
        char data[1000];
        hold_replies_back(ms);
        EXPECT_EQ(execute_command("?", data, sizeof data, 0), result_ok);
    }
    hold_replies_back(0);
    fs::path file = fs::path(test_files_dir()) / "plot.pcapng",
             picture = fs::path(test_files_dir()) / "wireshark_response_times.png";
    save_wire_capture_command(file.c_str());
    connect_or_disconnect();

    int status = -1;
    fs::path errors = fs::path(test_files_dir()) / "plot.err";
    std::istringstream rows(
        run(std::string("VARNOKE_LUA=" VARNOKE_LUA_FILE " sh " VARNOKE_PLOT_SCRIPT " '") +
                file.string() + "' '" + picture.string() + "' 2>'" + errors.string() + "'",
            &status));
    ASSERT_EQ(status, 0) << read_file(errors);
    unsigned replies = 0, slow_intervals = 0;
    double slowest = 0;
    for (std::string line; std::getline(rows, line);) {
        double start = 0, max_ms = 0;
        unsigned count = 0;
        ASSERT_EQ(sscanf(line.c_str(), "%lf %lf %u", &start, &max_ms, &count), 3) << line;
        replies += count;
        if (max_ms > 500) ++slow_intervals;
        slowest = std::max(slowest, max_ms);
    }
    EXPECT_EQ(replies, 1 + std::size(delays_ms)) << "the Connect's v and each ?";
    EXPECT_EQ(slow_intervals, 2u);
    EXPECT_GE(slowest, 700);
    EXPECT_EQ(run("identify -format '%m %wx%h' '" + picture.string() + "'"), "PNG 720x360");
    if (getenv("VARNOKE_WRITE_PICTURES") != nullptr)
        fs::copy_file(picture, VARNOKE_SOURCE_DIR "/docs/images/wireshark_response_times.png",
                      fs::copy_options::overwrite_existing);
}

class NetCaptureTest : public NetTest {
  protected:
    void TearDown() override {
        memset(&connection_link, 0, sizeof connection_link);
        NetTest::TearDown();
    }
    // The sides answer through the simulator's one device, whose reply
    // delay the session sets.
    static NetSidesConfig shared() {
        sim_device_reset(1);
        NetSidesConfig config;
        config.shared_device = [](const char* side, std::string_view request) {
            return sim_request(side, request);
        };
        return config;
    }
    void session(int kind, const Endpoints& e, std::string (*reply_text)(const char*) = whole) {
        headless::control(idc_kind).selection = kind - 1;
        headless::type_text(idc_address, e.device);
        check_session(e, reply_text);
    }
};

TEST_F(NetCaptureTest, SessionsOnTheRmlxAndTcpLinksDecodeInOrder) {
    SKIP_WITHOUT_TSHARK();
    if (!enter_namespace(false, true)) return;
    NetSidesConfig config = shared();
    config.rmlx_devices = {netns::ipv4(127, 0, 0, 2)};
    config.tcp_address = netns::ipv4(127, 0, 0, 1);
    ASSERT_TRUE(start(config));
    session(kind_rmlx, {"127.0.0.1", "127.0.0.2", "24222", "rmlx"});
    session(kind_tcp, {"127.0.0.1", "127.0.0.1", "9101", "esdtext"});
}

TEST_F(NetCaptureTest, SessionOnThePlainUdpLinkDecodesInOrder) {
    SKIP_WITHOUT_TSHARK();
    if (!enter_namespace(false, true)) return;
    NetSidesConfig config = shared();
    config.udp_address = netns::ipv4(192, 0, 2, 2);
    ASSERT_TRUE(start_behind_veth(config, netns::ipv4(192, 0, 2, 1)));
    // The link leaves the separator on the reply; the frame's text ends before it.
    session(kind_udp, {"192.0.2.1", "192.0.2.2", "9101", "esdframe"}, [](const char* received) {
        std::string text = received;
        if (!text.empty() && text.back() == '/') text.pop_back();
        return text;
    });
}

} // namespace
