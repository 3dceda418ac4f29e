// varnoke-cli as scripts run it: a process without a display, against the
// simulator program over real pseudo-terminals and loopback sockets; its
// standard output, standard error and exit status.
#include "netns.h"

#include "base/text8.h"
#include "sim/device_model.h"
#include "support/child_process.h"
#include "support/sha1_text.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

constexpr uint32_t seed = 7;

void append(Lines& to, const Lines& more) {
    to.insert(to.end(), more.begin(), more.end());
}

Lines lines_of(const std::string& text) {
    Lines out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// The requests in the simulator's log, each as it came (the log quotes them
// with \" \\ and \xNN); the reply of each in replies when asked.
Lines answered(const std::string& log_path, Lines* replies = nullptr) {
    Lines out;
    std::ifstream in(log_path);
    for (std::string line; std::getline(in, line);) {
        Lines texts;
        for (size_t pos = line.find('"'); pos != std::string::npos && texts.size() < 2;
             pos = line.find('"', pos + 1)) {
            std::string text;
            for (++pos; line[pos] != '"'; ++pos) {
                if (line[pos] != '\\') {
                    text += line[pos];
                } else if (line[++pos] == 'x') {
                    text += char(std::stoi(line.substr(pos + 1, 2), nullptr, 16));
                    pos += 2;
                } else {
                    text += line[pos];
                }
            }
            texts.push_back(text);
        }
        if (texts.size() < 2) continue;
        out.push_back(texts[0]);
        if (replies != nullptr) replies->push_back(texts[1]);
    }
    return out;
}

// The lines "Details" adds on a serial link for a request answered with
// error code 0.
Lines details_of(const std::string& request, const std::string& reply) {
    std::string status = reply.substr(0, 8);
    for (char& c : status)
        if (c == '/') c = '-';
    Lines out = {"Request frame [" + request + "]", "Status info   [" + status + "]"};
    if (reply.size() > 9) out.push_back("Replied frame [" + reply.substr(9) + "]");
    return out;
}

// What jq makes of one JSON text: the raw output of filter applied to it
// as $v; nullopt when jq refuses the text (anything but exactly one JSON
// value) or the filter gives null or false.
std::optional<std::string> jq(const std::string& json, const std::string& filter) {
    Child child("/usr/bin/jq", {"-n", "-j", "-e", "--argjson", "v", json, "$v | " + filter});
    std::string out = child.rest();
    if (child.exit_code() != 0) return std::nullopt;
    return out;
}
std::string field(const std::string& json, const std::string& name) {
    return jq(json, "." + name).value_or("(none)");
}
// The filter applied to all the JSON lines of a file at once, as an array.
std::string jq_all(const std::string& path, const std::string& filter) {
    Child child("/usr/bin/jq", {"-s", "-j", filter, path});
    std::string out = child.rest();
    return child.exit_code() == 0 ? out : "(jq failed: " + out + ")";
}

// A JUnit report as python's XML parser reads it: a line per suite with its
// counts, a line per case with its outcome; the parser's complaint instead
// when the file is no well-formed XML.
std::string junit_outline(const std::string& path) {
    const char* script = R"(
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
assert root.tag == "testsuites", root.tag
for s in root:
    assert s.tag == "testsuite", s.tag
    print("suite %s: tests=%s failures=%s errors=%s" % tuple(s.get(k) for k in ("name", "tests", "failures", "errors")))
    float(s.get("time"))
    for c in s:
        assert c.tag == "testcase" and c.get("classname") == s.get("name"), c.tag
        float(c.get("time"))
        outcome = "".join(" %s %s: %s" % (o.tag, o.get("type"), o.get("message")) for o in c)
        print("  %s%s" % (c.get("name"), outcome))
)";
    Child child("/usr/bin/python3", {"-c", script, path});
    std::string out = child.rest();
    return child.exit_code() == 0 ? out : "(python3 refused it: " + out + ")";
}

struct Ran {
    int status;
    std::string out, err;
    Lines lines;
};

class CliTest : public ::testing::Test {
  protected:
    std::string dir; // also the COM prefix: dosdevices/, drive_c/
    std::vector<std::unique_ptr<Child>> sims;
    unsigned started = 0;

    void SetUp() override {
        char name[] = "/tmp/varnoke-cli-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
        setenv("VARNOKE_PREFIX", dir.c_str(), 1);
    }
    void TearDown() override {
        sims.clear();
        fs::remove_all(dir);
    }

    std::string file(const std::string& name, const std::string& content) {
        std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    std::string sim_log(int com) { return dir + "/sim" + std::to_string(com) + ".log"; }
    std::string err_file(unsigned run) { return dir + "/err" + std::to_string(run) + ".txt"; }

    // varnoke-cli without a display; its standard error goes to a file of
    // its own (err_file of the returned number), so that the child's output
    // is its standard output alone.
    unsigned start(std::unique_ptr<Child>& child, const Lines& args) {
        unsigned run = ++started;
        Lines sh = {"-c", "e=$1; shift; exec env -u DISPLAY \"$@\" 2>\"$e\"", "sh", err_file(run),
                    VARNOKE_CLI_PATH};
        append(sh, args);
        child = std::make_unique<Child>("/bin/sh", sh);
        return run;
    }
    Ran finish(Child& child, unsigned run) {
        Ran r;
        child.rest();
        r.status = child.exit_code();
        child.rest();
        r.out = child.output;
        r.err = read_file(err_file(run));
        r.lines = lines_of(r.out);
        return r;
    }
    Ran run(const Lines& args) {
        std::unique_ptr<Child> child;
        unsigned n = start(child, args);
        return finish(*child, n);
    }

    // The simulator's TCP side, seeded 7, on a loopback address of this
    // process's own; returns the address.
    std::string tcp_sim() {
        unsigned pid = unsigned(getpid());
        std::string address =
            "127.202." + std::to_string(pid / 250 % 250 + 1) + "." + std::to_string(pid % 250 + 1);
        sims.push_back(std::make_unique<Child>(
            VARNOKE_SIM_PATH,
            Lines{"--tcp", address, "--seed", std::to_string(seed), "--log", sim_log(0)}));
        EXPECT_TRUE(sims.back()->read_until("tcp: " + address + ":9101\n")) << sims.back()->output;
        return address;
    }

    // The simulator with its serial side linked as COMn, seeded 7; returns
    // the pseudo-terminal's slave.
    std::string serial_sim(int com, Lines faults = {}) {
        Lines args = {"--serial",           "--com", std::to_string(com), "--seed",
                      std::to_string(seed), "--log", sim_log(com)};
        append(args, faults);
        sims.push_back(std::make_unique<Child>(VARNOKE_SIM_PATH, args));
        std::string slave = sims.back()->line();
        EXPECT_EQ(slave.rfind("serial: /dev/pts/", 0), 0u) << slave;
        EXPECT_EQ(sims.back()->line().rfind("serial: COM" + std::to_string(com) + " is ", 0), 0u);
        return slave.substr(8);
    }
};

TEST_F(CliTest, BatchOverThePtyWritesTheWindowsLogLines) {
    std::string slave = serial_sim(1);
    Lines batch = {"v", "?", "{/0", "@/Hello, world", "}"};
    std::string path = file("batch.txt", "v\r\n?\n{/0\n@/Hello, world\n}");
    Ran r = run({"--com", "1", "--baud", "57600", "--details", "--batch", path});
    EXPECT_EQ(r.status, 0) << r.err;

    DeviceModel device(seed);
    std::string info = device.handle("v");
    Lines expected = {"Opened port COM1, 57600, Parity NONE, Data 8, Stop 1",
                      "Reading device info"};
    append(expected, details_of("v", info));
    expected.push_back("Device info: [" + info.substr(9) + "]");
    for (size_t i = 0; i < batch.size(); ++i) {
        expected.push_back("L0000" + std::to_string(i + 1) + "> " + batch[i]);
        append(expected, details_of(batch[i], device.handle(batch[i])));
    }
    expected.push_back("Closed port COM1");
    EXPECT_EQ(r.lines, expected);
    EXPECT_EQ(r.err, "");
    Lines sent = {"v"};
    append(sent, batch);
    EXPECT_EQ(answered(sim_log(1)), sent);

    // The same device by its path, without "Details", with times: the
    // query's reply is printed, and every line begins with the date and time.
    Ran timed = run({"--port", slave, "--timestamps", "--status"});
    EXPECT_EQ(timed.status, 0) << timed.err;
    device.handle("v");
    Lines plain = {"Opened port " + slave + ", 115200, Parity NONE, Data 8, Stop 1",
                   "Reading device info", "Device info: [" + info.substr(9) + "]",
                   "Reply: " + device.handle("?"), "Closed port " + slave};
    ASSERT_EQ(timed.lines.size(), plain.size()) << timed.out;
    std::regex stamp(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} .*)");
    for (size_t i = 0; i < plain.size(); ++i) {
        EXPECT_TRUE(std::regex_match(timed.lines[i], stamp)) << timed.lines[i];
        EXPECT_EQ(timed.lines[i].substr(24), plain[i]);
    }
}

TEST_F(CliTest, SigningOverTcpWritesJsonLinesThatParse) {
    std::string address = tcp_sim();
    // Quotes, a backslash, control bytes and 8-bit bytes: all TEXT over TCP.
    std::string document = "Caf\xE9 \"quoted\" back\\slash\ttab\r\n\x80\x9F\xFF\x7F end\n";
    while (document.size() < 1700) document += "0123456789 abcdefghijklmnopqrstuvwxyz\n";
    document.resize(1700);
    std::string path = file("document.txt", document);
    Ran r = run({"--tcp", address, "--json", "--sign", path});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");

    for (const std::string& line : r.lines) ASSERT_EQ(jq(line, "type"), "object") << line;
    Lines requests = {"v",
                      "{/0",
                      "@/" + document.substr(0, 750),
                      "@/" + document.substr(750, 750),
                      "@/" + document.substr(1500),
                      "}"};
    ASSERT_EQ(r.lines.size(), requests.size() + 2) << r.out;
    EXPECT_EQ(field(r.lines[1], "action"), "connect");
    EXPECT_EQ(field(r.lines[1], "link"), "TCP " + address);
    EXPECT_EQ(field(r.lines[1], "exit"), "0");
    EXPECT_EQ(field(r.lines[1], "us|type"), "number");

    DeviceModel device(seed);
    for (size_t i = 0; i < requests.size(); ++i) {
        const std::string& j = r.lines[i == 0 ? 0 : i + 1]; // the connect's summary after the first
        SCOPED_TRACE(i);
        EXPECT_EQ(utf8_to_text8(field(j, "request")), requests[i]);
        std::string reply = device.handle(requests[i]);
        EXPECT_EQ(field(j, "result"), "0");
        EXPECT_EQ(field(j, "result_name"), "result_ok");
        EXPECT_EQ(field(j, "error_code"), "0");
        EXPECT_EQ(field(j, "error_name"), "OK");
        EXPECT_EQ(field(j, "device_status"),
                  std::to_string(std::stoi(reply.substr(3, 2), nullptr, 16)));
        EXPECT_EQ(field(j, "function_status"),
                  std::to_string(std::stoi(reply.substr(6, 2), nullptr, 16)));
        EXPECT_EQ(field(j, "data"), reply.substr(9));
        EXPECT_EQ(field(j, "ms|type"), "number");
        EXPECT_EQ(field(j, "us|type"), "number");
    }
    // The signature line: the device's answer to "}", the digest of the file.
    Lines replies;
    ASSERT_EQ(answered(sim_log(0), &replies), requests);
    EXPECT_EQ(field(r.lines[r.lines.size() - 2], "data"), replies.back().substr(9));
    EXPECT_EQ(replies.back().substr(9), sha1_of(document));

    const std::string& summary = r.lines.back();
    EXPECT_EQ(field(summary, "action"), "sign");
    EXPECT_EQ(field(summary, "file"), path);
    EXPECT_EQ(field(summary, "blocks"), "3");
    EXPECT_EQ(field(summary, "bytes"), "1700");
    EXPECT_EQ(field(summary, "ms|type"), "number");
    EXPECT_EQ(field(summary, "rate|type"), "number");
    // The transfer's microseconds: its data blocks' and "}"'s own, added up.
    std::string transfer = jq_all(file("run.json", r.out),
                                  "map(select(.result_name and (.request | test(\"^[@}]\"))) | "
                                  ".us) | add");
    EXPECT_EQ(field(summary, "us"), transfer);
    EXPECT_EQ(field(summary, "us_rate > 0"), "true");
    EXPECT_EQ(field(summary, "exit"), "0");
}

TEST_F(CliTest, DeviceErrorInABatchExits1AndNamesTheLine) {
    serial_sim(1);
    std::string path = file("batch.txt", "v\n?\nZ/1\nv\n");
    Ran r = run({"--com", "1", "--batch", path});
    EXPECT_EQ(r.status, 1);
    ASSERT_GE(r.lines.size(), 5u) << r.out;
    EXPECT_EQ(Lines(r.lines.end() - 5, r.lines.end()),
              (Lines{"L00003> Z/1",
                     "Error 0x06: BADREQ (The request code is unsupported) -- Provide a correct "
                     "request code",
                     "Failed in line 3", "Batch aborted in line 3", "Closed port COM1"}));
    EXPECT_EQ(r.err, "varnoke-cli: --batch " + path +
                         ": line 3 (Z/1) was refused by the device: error 0x06 BADREQ\n");
    EXPECT_EQ(answered(sim_log(1)), (Lines{"v", "v", "?", "Z/1"}));

    // With --keep-going the later actions still run; the status stays the
    // first failure's.
    Ran going = run({"--com", "1", "--keep-going", "--batch", path, "--status"});
    EXPECT_EQ(going.status, 1);
    EXPECT_NE(going.out.find("\nReply: 00/"), std::string::npos) << going.out;
    EXPECT_EQ(answered(sim_log(1)).back(), "?");
}

TEST_F(CliTest, AFailedOpenSaysWhyInTheLogAndTheJson) {
    Ran r = run({"--port", "/dev/varnoke-gone", "--send", "v"});
    EXPECT_EQ(r.status, 2);
    ASSERT_GE(r.lines.size(), 2u); // then the ports this machine has
    EXPECT_EQ(Lines(r.lines.begin(), r.lines.begin() + 2),
              (Lines{"Failed opening /dev/varnoke-gone port...",
                     "no device at /dev/varnoke-gone: is the adapter plugged in?"}));
    Ran json = run({"--port", "/dev/varnoke-gone", "--json", "--send", "v"});
    ASSERT_FALSE(json.lines.empty());
    EXPECT_EQ(field(json.lines.back(), "reason"),
              "no device at /dev/varnoke-gone: is the adapter plugged in?");
}

// The simulator stopped in the middle of a batch and started again 3 s
// later: with --reconnect the batch goes on from the line that failed.
TEST_F(CliTest, ReconnectCarriesABatchAcrossAnUnplug) {
    serial_sim(1);
    const int count = 2000;
    std::string lines;
    for (int i = 0; i < count; ++i) lines += "v\n";
    std::unique_ptr<Child> cli;
    unsigned n = start(cli, {"--com", "1", "--reconnect", "--reconnect-timeout", "20", "--quiet",
                             "--batch", file("long.txt", lines)});
    ASSERT_TRUE(cli->read_until("L00005> v\n")) << cli->output;
    kill(sims.back()->pid, SIGSTOP); // surely in the middle of the batch
    sims.clear();                    // unplugged
    Lines answered_before = answered(sim_log(1));
    sleep(3);
    serial_sim(1);
    Ran r = finish(*cli, n);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("the link failed; trying again each second for up to 20 s"),
              std::string::npos)
        << r.err;
    EXPECT_NE(std::find(r.lines.begin(), r.lines.end(),
                        "COM1: the device has gone (the adapter was unplugged?)"),
              r.lines.end());
    EXPECT_NE(std::find(r.lines.begin(), r.lines.end(), "Reopened port COM1"), r.lines.end());
    std::set<std::string> echoed(r.lines.begin(), r.lines.end());
    for (int line = 1; line <= count; ++line) {
        char echo[16];
        snprintf(echo, sizeof echo, "L%05d> v", line);
        EXPECT_EQ(echoed.count(echo), 1u) << echo;
    }
    // Connect's "v" and each line once; the line in flight when the line
    // went dead may have reached the device before.
    // (The simulator adds to its log file.)
    size_t answered_all = answered(sim_log(1)).size();
    EXPECT_GT(answered_all, answered_before.size());
    EXPECT_GE(answered_all, size_t(count) + 1);
    EXPECT_LE(answered_all, size_t(count) + 2);
}

TEST_F(CliTest, SilentDeviceExits2AfterTheEnquiryTimeOuts) {
    // The real time-outs: three enquiries of 3 s each.
    serial_sim(1, {"--enq-silent", "1000"});
    Ran r = run({"--com", "1", "--send", "v"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.lines,
              (Lines{"Opened port COM1, 115200, Parity NONE, Data 8, Stop 1", "Reading device info",
                     "Enquire #0 timedout", "Enquire #1 timedout", "Enquire #2 timedout",
                     "Enquire state failed", "Fatal device comm error"}));
    EXPECT_EQ(r.err, "varnoke-cli: no connection over COM1\n");
}

TEST_F(CliTest, LinkLostInTheMiddleOfABatchExits2NamingTheLine) {
    std::string address = tcp_sim();
    std::string lines;
    for (int i = 0; i < 3000; ++i) lines += "v\n";
    std::string path = file("long.txt", lines);
    std::unique_ptr<Child> cli;
    unsigned n = start(cli, {"--tcp", address, "--batch", path});
    ASSERT_TRUE(cli->read_until("L00005> v\n")) << cli->output;
    // The device stops answering in the middle of a line (the real reply
    // wait, 5 s, runs out).
    kill(sims.back()->pid, SIGSTOP);
    Ran r = finish(*cli, n);
    kill(sims.back()->pid, SIGCONT);
    EXPECT_EQ(r.status, 2);
    std::smatch failed;
    ASSERT_TRUE(std::regex_search(r.out, failed, std::regex("\nFailed in line (\\d+)\n"))) << r.out;
    std::string line = failed[1];
    EXPECT_NE(r.out.find("TCP: request timeout\nTCP: request failed\nFailed in line " + line +
                         "\nBatch aborted in line " + line + "\nClosed network services\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.err, "varnoke-cli: --batch " + path + ": line " + line +
                         " (v) failed: net_protocol_failure (no valid answer within the "
                         "attempts)\n");
}

TEST_F(CliTest, BadOptionsAndFilesExit64BeforeAnyTraffic) {
    fs::create_directory(dir + "/folder");
    std::string missing = dir + "/missing.txt";
    std::string try_help = "\nTry 'varnoke-cli --help'.";
    struct Case {
        Lines args;
        std::string message;
    } cases[] = {
        {{}, "no link: give one of --com, --port, --rmlx, --tcp and --udp" + try_help},
        {{"--bogus"}, "unknown option '--bogus'" + try_help},
        {{"--com"}, "--com needs a value" + try_help},
        {{"--com", "0"}, "--com wants a port number from 1 to 12, not '0'" + try_help},
        {{"--com=13"}, "--com wants a port number from 1 to 12, not '13'" + try_help},
        {{"--com=2", "--tcp", "127.0.0.1"},
         "only one link can be given, not both --com and --tcp" + try_help},
        {{"--tcp", "127.0.0"},
         "--tcp wants an IPv4 address such as 192.0.2.7, not '127.0.0'" + try_help},
        {{"--udp", "256.1.1.1"},
         "--udp wants an IPv4 address such as 192.0.2.7, not '256.1.1.1'" + try_help},
        {{"--rmlx", "255.255.255.255"},
         "--rmlx wants an IPv4 address such as 192.0.2.7, not '255.255.255.255'" + try_help},
        {{"--tcp", "0.0.0.0"},
         "--tcp wants an IPv4 address such as 192.0.2.7, not '0.0.0.0'" + try_help},
        {{"--port", ""}, "--port wants a device path of 1 to 511 characters" + try_help},
        {{"--com", "1", "--baud", "1234"},
         "--baud wants one of 9600, 19200, 38400, 57600, 115200 and 126000, not '1234'" + try_help},
        {{"--rmlx", "127.0.0.1", "--baud", "9600"},
         "--baud is for a serial link (--com, --port), not --rmlx" + try_help},
        {{"--com", "1", "--yes", "--no"}, "--yes and --no cannot both be given" + try_help},
        {{"--com", "1", "--status=now"}, "--status takes no value" + try_help},
        {{"--com", "1", "v"}, "unexpected argument 'v'" + try_help},
        {{"--discover", "--com", "1"}, "--discover takes no link and no action" + try_help},
        {{"--com", "1", "--send", "v\tx"},
         "--send: the request holds the control byte 0x09" + try_help},
        {{"--com", "1", "--send", std::string(2000, 'v')},
         "--send takes a request of at most 1999 characters" + try_help},
        {{"--com", "1", "--batch", std::string(512, 'b')},
         "--batch wants a file name of 1 to 511 characters" + try_help},
        // Files are tried before anything is opened: no port, no log line.
        {{"--com", "1", "--status", "--batch", missing},
         "--batch " + missing + ": No such file or directory"},
        {{"--tcp", "127.0.0.1", "--zreport"},
         "--zreport needs a serial link (--com, --port), not --tcp" + try_help},
        {{"--com", "1", "--zreport", "--zreport-request", "x/3"},
         "--zreport-request wants x/2 or x/5, not 'x/3'" + try_help},
        {{"--com", "1", "--repeat", "0"},
         "--repeat wants a number from 1 to 1000000, not '0'" + try_help},
        {{"--com", "1", "--repeat-until-failure"},
         "--repeat-until-failure needs --repeat N" + try_help},
        {{"--com", "1", "--junit="}, "--junit wants a value of 1 to 511 characters" + try_help},
        {{"--tcp", "127.0.0.1", "--sign", dir + "/folder"},
         "--sign " + dir + "/folder: cannot be read: Is a directory"},
    };
    for (const Case& c : cases) {
        Ran r = run(c.args);
        EXPECT_EQ(r.status, 64) << c.message;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "varnoke-cli: " + c.message + "\n");
    }

    Ran help = run({"--send", "v", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: varnoke-cli LINK", 0), 0u) << help.out;
    Ran h = run({"--com", "1", "-h"});
    EXPECT_EQ(h.status, 0);
    EXPECT_EQ(h.out, help.out);
    Ran version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("varnoke-cli ") + VARNOKE_VERSION + "\n");
}

TEST_F(CliTest, StopSignalDuringARequestClosesThePort) {
    // The device takes the request and never answers: only the signal ends
    // the wait before the protocol's time-outs.
    std::string slave = serial_sim(1, {"--reply-silent", "1000"});
    for (int signal : {SIGINT, SIGTERM}) {
        std::unique_ptr<Child> cli;
        unsigned n = start(cli, {"--com", "1", "--status"});
        ASSERT_TRUE(cli->read_until("Reading device info\n")) << cli->output;
        usleep(200000);
        kill(cli->pid, signal); // the shell has become the program
        Ran r = finish(*cli, n);
        EXPECT_EQ(r.status, 128 + signal);
        EXPECT_EQ(r.err, std::string("varnoke-cli: stopped by ") +
                             (signal == SIGINT ? "SIGINT" : "SIGTERM") + "; the link is closed\n");
        // Not the time-out's line but Disconnect's.
        EXPECT_EQ(r.lines.back(), "Closed port COM1") << r.out;

        // Closed as Disconnect closes it: the exclusive mode is off again
        // (it outlives a mere exit while the simulator holds the terminal),
        // and the port can be opened and locked anew.
        int fd = open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        int exclusive = -1;
        ASSERT_EQ(ioctl(fd, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0);
        EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
        close(fd);
    }
}

TEST_F(CliTest, FourProgramsAgainstFourSimulatorsAtOnce) {
    for (int com = 1; com <= 3; ++com) serial_sim(com);
    serial_sim(4, {"--enq-silent", "1000"});
    Lines args[] = {{"--com", "1", "--batch", file("good.txt", "v\n?\n")},
                    {"--com", "2", "--batch", file("bad.txt", "?\nQQ\nv\n")},
                    {"--com", "3", "--sign", file("document.txt", std::string(1600, 'd'))},
                    {"--com", "4", "--status"}};
    std::unique_ptr<Child> clis[4];
    unsigned runs[4];
    for (int i = 0; i < 4; ++i) runs[i] = start(clis[i], args[i]);
    std::vector<int> statuses;
    for (int i = 0; i < 4; ++i) statuses.push_back(finish(*clis[i], runs[i]).status);
    EXPECT_EQ(statuses, (std::vector<int>{0, 1, 0, 2}));
    // Each device saw its own program's requests and nothing else.
    EXPECT_EQ(answered(sim_log(1)), (Lines{"v", "v", "?"}));
    EXPECT_EQ(answered(sim_log(2)), (Lines{"v", "?", "QQ"}));
    EXPECT_EQ(answered(sim_log(3)),
              (Lines{"v", "{/0", "@/" + std::string(750, 'd'), "@/" + std::string(750, 'd'),
                     "@/" + std::string(100, 'd'), "}"}));
    EXPECT_EQ(answered(sim_log(4)), Lines{});
}

TEST_F(CliTest, ZReportQuestionAndLogoFromTheOptions) {
    fs::create_directories(dir + "/drive_c/out");
    serial_sim(1);
    // Neither --yes nor --no: the check asks, is answered No and says why;
    // the command layer's "x/5" is asked and refused the same way.
    Ran unanswered = run({"--com", "1", "--send", "A", "--send", "x/2"});
    EXPECT_EQ(unanswered.status, 1);
    Lines err = lines_of(unanswered.err);
    ASSERT_EQ(err.size(), 4u) << unanswered.err;
    EXPECT_EQ(err[0].rfind("varnoke-cli: C:\\out\\", 0), 0u); // the _a.txt box
    std::regex question("varnoke-cli: Calculated signature: [0-9A-F]{40} Is this signature "
                        "identical with the one in Zreport\\? -- No: answer with --yes or --no "
                        "to send the request");
    EXPECT_TRUE(std::regex_match(err[1], question)) << err[1];
    EXPECT_EQ(err[2], err[1]);
    EXPECT_EQ(err[3], "varnoke-cli: --send x/2: request 1 (x/2) was not sent: the Z-report "
                      "signature was not confirmed");
    EXPECT_EQ(answered(sim_log(1)), (Lines{"v", "A"}));

    // Yes sends it; the device, with no signature since its last Z, warns
    // of a zero Z.
    Ran yes = run({"--com", "1", "--yes", "--send", "A", "--send", "x/2"});
    EXPECT_EQ(yes.status, 1);
    EXPECT_NE(yes.err.find("Zreport? -- Yes (--yes)\nvarnoke-cli: --send x/2: request 1 (x/2) was "
                           "refused by the device: error 0x80 ZERO_Z_ALERT\n"),
              std::string::npos)
        << yes.err;
    EXPECT_EQ(answered(sim_log(1)), (Lines{"v", "A", "v", "A", "x/2"}));

    // The picture goes up row by row; a picture the console refuses costs
    // no request.
    Ran logo = run({"--com", "1", "--json", "--logo", VARNOKE_SOURCE_DIR "/examples/logo.bmp"});
    EXPECT_EQ(logo.status, 0) << logo.err;
    EXPECT_EQ(field(logo.lines.back(), "action"), "logo");
    EXPECT_EQ(field(logo.lines.back(), "rows"), "16");
    EXPECT_EQ(answered(sim_log(1)).size(), 5u + 1 + 16);

    std::string header(54, '\0');
    header[10] = 54, header[18] = 8, header[22] = 8, header[28] = 24;
    std::string colour = file("colour.bmp", header + std::string(8 * 24, '\x7F'));
    Ran refused = run({"--com", "1", "--logo", colour});
    EXPECT_EQ(refused.status, 64);
    EXPECT_EQ(refused.err, "varnoke-cli: Format error: BMP file must be back & white format: "
                           "\xC3\x85rror\nvarnoke-cli: --logo " +
                               colour + ": the file was refused; nothing was sent\n");
    EXPECT_EQ(answered(sim_log(1)).size(), 5u + 1 + 16 + 1);
}

TEST_F(CliTest, DiscoveryAndRmlxInAPrivateNetwork) {
    std::string why = netns::enter_private(true);
    if (!why.empty()) GTEST_SKIP() << "no private network namespace (" << why << ")";
    sims.push_back(std::make_unique<Child>(
        VARNOKE_SIM_PATH, Lines{"--rmlx", "127.0.0.2", "--rmlx", "127.0.0.3", "--discovery"}));
    ASSERT_TRUE(sims.back()->read_until("rmlx: 127.0.0.3:24222\n")) << sims.back()->output;

    Ran found = run({"--discover", "--json", "--timestamps"});
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_EQ(field(found.out, "action"), "discover");
    EXPECT_TRUE(std::regex_match(field(found.out, "time"),
                                 std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})")));
    EXPECT_EQ(field(found.out, "devices|join(\" \")"), "127.0.0.2 127.0.0.3") << found.out;

    Ran status = run({"--rmlx", "127.0.0.3", "--status"});
    EXPECT_EQ(status.status, 0) << status.err;
    ASSERT_GE(status.lines.size(), 2u) << status.out;
    EXPECT_EQ(status.lines[1], "init connection with 127.0.0.3");
    EXPECT_EQ(status.lines.back(), "Closed network services");

    // With the simulator gone nobody answers: no device, no success.
    sims.clear();
    Ran none = run({"--discover"});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.lines, (Lines{"Querying network devices:", "RMLX: protocol init ok",
                                 "0 devices responded"}));
    EXPECT_EQ(none.err, "varnoke-cli: no RMLX device answered\n");
    netns::leave_private();
}

TEST_F(CliTest, ZReportCheckComparesTheDigestWithTheReportsSignature) {
    fs::path out = fs::path(dir) / "drive_c" / "out";
    std::string document = file("document.txt", "a day's one document\n");
    const struct {
        std::string mode, verdict;
        int status;
        Lines after; // the requests after the report's end
    } cases[] = {
        {"kept", "match", 0, {"x/2"}},
        {"wrong", "mismatch", 1, {}}, // No twice: neither x/2 nor x/5 is sent
        {"none", "not-found", 1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        fs::remove_all(dir + "/drive_c");
        fs::create_directories(out);
        sims.clear();
        serial_sim(1, {"--z-signature", c.mode});
        // The signing first: the device issues no Z without signatures.
        Ran r = run({"--com", "1", "--json", "--sign", document, "--zreport"});
        EXPECT_EQ(r.status, c.status) << r.err;
        Lines sent = answered(sim_log(1));
        auto last_q = std::find(sent.rbegin(), sent.rend(), "Q").base();
        EXPECT_EQ(Lines(last_q, sent.end()), c.after);

        const std::string& summary = r.lines.back();
        DeviceModel device(seed);
        std::string id = device.z_identifier(1);
        EXPECT_EQ(field(summary, "action"), "zreport");
        EXPECT_EQ(field(summary, "identifier"), id);
        const Lines& report = device.z_reports[0].lines;
        EXPECT_EQ(field(summary, "lines"),
                  std::to_string(std::count_if(report.begin(), report.end(), [](auto& line) {
                      return line.rfind("0/", 0) == 0;
                  })));
        EXPECT_EQ(field(summary, "a_file"), (out / (id + "_a.txt")).string());
        EXPECT_EQ(field(summary, "b_file"), (out / (id + "_b.txt")).string());
        std::string digest = sha1_of(read_file((out / (id + "_a.txt")).string()));
        EXPECT_EQ(field(summary, "digest"), digest);
        EXPECT_EQ(read_file((out / (id + "_b.txt")).string()), digest);
        EXPECT_EQ(field(summary, "verdict"), c.verdict);
        EXPECT_EQ(field(summary, "exit"), std::to_string(c.status));
        if (c.mode == "kept") {
            EXPECT_EQ(field(summary, "signature"), digest);
        } else if (c.mode == "wrong") {
            EXPECT_NE(field(summary, "signature"), digest);
        }
        if (c.mode == "none") {
            EXPECT_EQ(field(summary, "signature"), "(none)"); // null
            EXPECT_NE(r.err.find("varnoke-cli: --zreport: the report carries no signature to "
                                 "compare\n"),
                      std::string::npos)
                << r.err;
        }
    }

    // No signature, but --yes decides: x/5 is sent; still no match, still 1.
    // The text summary, and the window's line beside the digest.
    Ran yes = run({"--com", "1", "--yes", "--zreport-request", "x/5", "--zreport"});
    EXPECT_EQ(yes.status, 1);
    EXPECT_EQ(answered(sim_log(1)).back(), "x/5");
    EXPECT_NE(yes.out.find("\nZ-report signature in the report: not found\n"), std::string::npos)
        << yes.out;
    EXPECT_NE(yes.out.find("\nSignature in the report: none -- not-found\n"), std::string::npos)
        << yes.out;
    EXPECT_NE(yes.err.find("Zreport? -- Yes (--yes)\n"), std::string::npos) << yes.err;
}

TEST_F(CliTest, RepeatedRequestsGiveStatisticsFromTheirOwnTimes) {
    auto check = [this](const Lines& link) {
        Lines args = link;
        append(args, {"--json", "--stats", "--keep-going", "--repeat", "1000", "--send", "?",
                      "--send", "Z/1"});
        Ran r = run(args);
        EXPECT_EQ(r.status, 1) << r.err;
        std::string json = file("run.json", r.out);
        // Every request's time in microseconds; the statistics come last.
        EXPECT_EQ(jq_all(json, "map(select(.result_name) | .us | type == \"number\") | "
                               "[length, all] | @text"),
                  "[2001,true]");
        std::string stats = r.lines.back();
        EXPECT_EQ(field(stats, "stats | map(.request) | @text"), "[\"v\",\"?\",\"Z/1\"]");
        EXPECT_EQ(field(stats, "stats | map(.count) | @text"), "[1,1000,1000]");
        EXPECT_EQ(field(stats, "stats | map(.failures) | @text"), "[{},{},{\"BADREQ\":1000}]");
        for (const char* request : {"?", "Z/1"}) {
            SCOPED_TRACE(request);
            std::string us = field(stats, std::string("stats[] | select(.request == \"") + request +
                                              "\") | .us");
            EXPECT_EQ(jq(us, ".min <= .p50 and .p50 <= .p90 and .p90 <= .p99 and "
                             ".p99 <= .max and .min > 0"),
                      "true")
                << us;
            std::string times = std::string("map(select(.result_name and .request == \"") +
                                request + "\") | .us) | ";
            EXPECT_EQ(field(us, "min"), jq_all(json, times + "min"));
            EXPECT_EQ(field(us, "max"), jq_all(json, times + "max"));
            EXPECT_EQ(field(us, "p50"), jq_all(json, times + "sort | .[499]"));
        }
    };
    std::string address = tcp_sim();
    check({"--tcp", address});

    // A failed action ends its round; the next round runs, unless
    // --repeat-until-failure.
    for (bool until : {false, true}) {
        size_t before = answered(sim_log(0)).size();
        Lines args = {"--tcp", address,  "--repeat", "3",      "--send",
                      "?",     "--send", "Z/1",      "--send", "v"};
        if (until) args.push_back("--repeat-until-failure");
        EXPECT_EQ(run(args).status, 1);
        Lines sent = answered(sim_log(0));
        Lines expected = {"v", "?", "Z/1"};
        if (!until) append(expected, {"?", "Z/1", "?", "Z/1"});
        EXPECT_EQ(Lines(sent.begin() + long(before), sent.end()), expected) << until;
    }

    std::string why = netns::enter_private(true);
    if (!why.empty()) GTEST_SKIP() << "no private network namespace for RMLX (" << why << ")";
    sims.push_back(std::make_unique<Child>(VARNOKE_SIM_PATH, Lines{"--rmlx", "127.0.0.2"}));
    ASSERT_TRUE(sims.back()->read_until("rmlx: 127.0.0.2:24222\n")) << sims.back()->output;
    check({"--rmlx", "127.0.0.2"});
    netns::leave_private();
}

TEST_F(CliTest, JunitReportOfABatchAndASigningParses) {
    std::string address = tcp_sim();
    // The refused line's text is a name that XML must escape.
    std::string batch = file("batch.txt", "v\n?\nZ<&\"'>\nv\n");
    std::string document = file("document.txt", std::string(1600, 'd'));
    std::string report = dir + "/report.xml";
    Ran r = run({"--tcp", address, "--keep-going", "--junit", report, "--batch", batch, "--sign",
                 document});
    EXPECT_EQ(r.status, 1) << r.err;
    std::string xml = read_file(report);
    EXPECT_EQ(junit_outline(report),
              "suite connect: tests=1 failures=0 errors=0\n"
              "  v\n"
              "suite --batch " +
                  batch +
                  ": tests=3 failures=1 errors=0\n"
                  "  line 1: v\n"
                  "  line 2: ?\n"
                  "  line 3: Z<&\"'> failure BADREQ: error 0x06 BADREQ: The request code is "
                  "unsupported\n"
                  "suite --sign " +
                  document +
                  ": tests=3 failures=0 errors=0\n"
                  "  {/0\n"
                  "  data blocks (3)\n"
                  "  }\n");
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites ", 0), 0u);

    // A link that fails: an error with the result's name. Stopped by
    // SIGINT in the middle of a long batch: what ran, whole.
    // Long enough that it is surely still running when it is stopped.
    std::string lines;
    for (int i = 0; i < 30000; ++i) lines += "v\n";
    std::unique_ptr<Child> cli;
    unsigned n =
        start(cli, {"--tcp", address, "--junit", report, "--batch", file("long.txt", lines)});
    ASSERT_TRUE(cli->read_until("L00005> v\n")) << cli->output;
    kill(sims.back()->pid, SIGSTOP); // the request in progress waits
    usleep(200000);
    kill(cli->pid, SIGINT);
    Ran stopped = finish(*cli, n);
    kill(sims.back()->pid, SIGCONT);
    EXPECT_EQ(stopped.status, 130);
    std::string outline = junit_outline(report);
    std::smatch counts;
    ASSERT_TRUE(std::regex_search(
        outline, counts, std::regex("\nsuite --batch [^:]*: tests=(\\d+) failures=0 errors=0\n")))
        << outline;
    // Lines 1 to 4 were answered before line 5's echo; line 5 may still have
    // been waiting when the simulator stopped.
    EXPECT_GE(std::stoi(counts[1]), 4);
    EXPECT_EQ(outline.substr(0, 25), "suite connect: tests=1 fa") << outline;
    // No new file left beside it.
    Lines beside;
    for (auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().find("report") != std::string::npos)
            beside.push_back(entry.path().filename().string());
    EXPECT_EQ(beside, Lines{"report.xml"});
}

TEST_F(CliTest, CaptureOfTheRunOpensInTsharkWithTheDissector) {
    serial_sim(1);
    std::string capture = dir + "/run.pcapng";
    std::string batch = file("batch.txt", "v\n?\nZ/1\n");
    Ran r = run({"--com", "1", "--capture", capture, "--batch", batch});
    EXPECT_EQ(r.status, 1) << r.err; // saved on failure too
    Child tshark("/usr/bin/tshark", {"-n", "-r", capture, "-X", "lua_script:" VARNOKE_LUA_FILE,
                                     "-T", "fields", "-e", "esdframe.text"});
    std::string texts = tshark.rest();
    EXPECT_EQ(tshark.exit_code(), 0) << texts;
    Lines requests;
    for (const std::string& line : lines_of(texts))
        if (line == "v" || line == "?" || line == "Z/1") requests.push_back(line);
    // Connect's "v", then the batch; each request frame once.
    EXPECT_EQ(requests, (Lines{"v", "v", "?", "Z/1"})) << texts;

    // Given a folder: the file named by its time, as the window proposes.
    fs::create_directory(dir + "/captures");
    Ran folder = run({"--com", "1", "--capture", dir + "/captures", "--status"});
    EXPECT_EQ(folder.status, 0) << folder.err;
    Lines saved;
    for (auto& entry : fs::directory_iterator(dir + "/captures"))
        saved.push_back(entry.path().filename().string());
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_TRUE(std::regex_match(saved[0], std::regex(R"(varnoke-\d{8}-\d{6}\.pcapng)")))
        << saved[0];

    // A file that cannot be written: said, and no success.
    Ran bad = run({"--com", "1", "--capture", dir + "/missing/run.pcapng", "--status"});
    EXPECT_EQ(bad.status, 64);
    EXPECT_EQ(bad.err.rfind("varnoke-cli: --capture " + dir + "/missing/run.pcapng: ", 0), 0u)
        << bad.err;
}

TEST_F(CliTest, BatchRepliesShownAndAClosedOutputEndsQuietly) {
    std::string address = tcp_sim();
    std::string batch = file("batch.txt", "v\n{/0\n?\n}\n");
    DeviceModel device(seed);
    device.handle("v"); // Connect's
    Lines expected;
    int number = 0;
    for (const char* request : {"v", "{/0", "?", "}"}) {
        expected.push_back("L0000" + std::to_string(++number) + "> " + request);
        std::string reply = device.handle(request);
        if (reply.size() > 9) expected.push_back("  -> " + reply.substr(9));
    }
    ASSERT_EQ(expected.size(), 7u); // "{/0" has no data
    Ran shown = run({"--tcp", address, "--batch", batch});
    EXPECT_EQ(shown.status, 0) << shown.err;
    auto first = std::find(shown.lines.begin(), shown.lines.end(), "L00001> v");
    ASSERT_GE(shown.lines.end() - first, long(expected.size())) << shown.out;
    EXPECT_EQ(Lines(first, first + long(expected.size())), expected);
    Ran quiet = run({"--tcp", address, "--quiet", "--batch", batch});
    EXPECT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(std::count_if(quiet.lines.begin(), quiet.lines.end(),
                            [](const std::string& l) { return l.rfind("  -> ", 0) == 0; }),
              0);

    // Into a reader that leaves after one line: the run goes on to its end
    // and its own status, without a word about SIGPIPE.
    std::string lines;
    for (int i = 0; i < 300; ++i) lines += "?\n";
    std::string script = "(\"$@\"; echo $? >\"$0.status\") | head -n 1 >/dev/null";
    Child piped("/bin/sh", {"-c", script, dir + "/piped", VARNOKE_CLI_PATH, "--tcp", address,
                            "--batch", file("long.txt", lines)});
    EXPECT_EQ(piped.rest(), "");
    EXPECT_EQ(read_file(dir + "/piped.status"), "0\n");
    EXPECT_EQ(answered(sim_log(0)).size(), 5u + 5 + 1 + 300);
}

// --list-ports needs no link: this machine's ports, one a line, each with the
// COM link that leads to it; "no serial ports found" when there is none.
TEST_F(CliTest, ListPortsNamesTheComLinkOfEachPort) {
    // The first UART of the machine, if the kernel found one, as COM3.
    std::string uart;
    if (std::ifstream type("/sys/class/tty/ttyS0/type");
        type && fs::exists("/dev/ttyS0") && fs::exists("/sys/class/tty/ttyS0/device")) {
        int n = 0;
        if (type >> n && n > 0) uart = "/dev/ttyS0";
    }
    fs::create_directories(dir + "/dosdevices");
    if (!uart.empty()) fs::create_symlink(uart, dir + "/dosdevices/com3");

    Ran text = run({"--list-ports"});
    EXPECT_EQ(text.status, 0);
    std::regex line_form(R"((COM[0-9]+|-) +/dev/\S+  tty\S+.*)");
    for (const std::string& line : text.lines)
        EXPECT_TRUE(std::regex_match(line, line_form)) << line;
    if (!uart.empty()) {
        EXPECT_NE(std::find(text.lines.begin(), text.lines.end(), "COM3  /dev/ttyS0  ttyS0"),
                  text.lines.end())
            << text.out;
    }
    EXPECT_EQ(text.err, text.lines.empty() ? "varnoke-cli: no serial ports found\n" : "");

    Ran json = run({"--list-ports", "--json"});
    EXPECT_EQ(json.status, 0);
    ASSERT_EQ(json.lines.size(), text.lines.size());
    for (size_t i = 0; i < json.lines.size(); ++i) {
        EXPECT_EQ(field(json.lines[i], "action"), "list-ports");
        // The same port as the text line, by its path and COM name.
        std::string com = text.lines[i].substr(0, text.lines[i].find(' '));
        EXPECT_EQ(field(json.lines[i], "port"), com == "-" ? "(none)" : com);
        EXPECT_EQ(text.lines[i].find(field(json.lines[i], "path")), 6u) << text.lines[i];
    }

    // A port that will not open: the log's line, then one line per port
    // found, with the command that makes it COM4, or its path for --port.
    fs::create_symlink(dir + "/missing", dir + "/dosdevices/com4");
    Ran com4 = run({"--com", "4", "--status"});
    EXPECT_EQ(com4.status, 2);
    ASSERT_FALSE(com4.lines.empty());
    EXPECT_EQ(com4.lines[0], "Failed opening COM4 port...");
    // What COM4 was taken to be and why, then the ports.
    ASSERT_GE(com4.lines.size(), 3u);
    EXPECT_EQ(com4.lines[1],
              "COM4 is " + dir + "/missing (the link " + dir + "/dosdevices/com4 points there)");
    EXPECT_EQ(com4.lines[2], "no device at " + dir + "/missing: is the adapter plugged in?");
    Lines hints(com4.lines.begin() + 3, com4.lines.end());
    if (text.lines.empty())
        EXPECT_EQ(hints, Lines{"No serial ports found"});
    else
        EXPECT_EQ(hints.size(), text.lines.size()) << com4.out;
    if (!uart.empty()) {
        EXPECT_NE(std::find(hints.begin(), hints.end(),
                            "Port ttyS0 as COM4: ln -sf /dev/ttyS0 " + dir + "/dosdevices/com4"),
                  hints.end())
            << com4.out;
    }
    Ran path = run({"--port", dir + "/missing", "--status"});
    EXPECT_EQ(path.status, 2);
    ASSERT_FALSE(path.lines.empty());
    EXPECT_EQ(path.lines[0], "Failed opening " + dir + "/missing port...");
    ASSERT_GE(path.lines.size(), 2u);
    EXPECT_EQ(path.lines[1], "no device at " + dir + "/missing: is the adapter plugged in?");
    for (size_t i = 2; i < path.lines.size(); ++i)
        EXPECT_TRUE(std::regex_match(
            path.lines[i], std::regex(R"(Port tty\S+.*: /dev/\S+|No serial ports found)")))
            << path.lines[i];

    Ran both = run({"--list-ports", "--tcp", "127.0.0.1"});
    EXPECT_EQ(both.status, 64);
    EXPECT_EQ(both.err, "varnoke-cli: --list-ports takes no link and no action\n"
                        "Try 'varnoke-cli --help'.\n");
}

} // namespace

namespace {

// The device check's outcome lines: "PASS id" for each.
Lines verdicts_of(const Lines& lines) {
    Lines out;
    for (const std::string& l : lines) {
        size_t id_end = l.find(' ', 5);
        if (l.size() > 5 && l[4] == ' ' &&
            (l.rfind("PASS", 0) == 0 || l.rfind("FAIL", 0) == 0 || l.rfind("SKIP", 0) == 0))
            out.push_back(l.substr(0, id_end));
    }
    return out;
}

} // namespace

// --check on the serial line at two rates (the slower one paced as a real
// line), RMLX and TCP in a private network; a fault makes its check fail
// with exit 1; --check-list sends nothing; the JUnit report parses.
TEST_F(CliTest, DeviceCheckOnEachLink) {
    std::string why = netns::enter_private(true);
    if (!why.empty()) GTEST_SKIP() << "no private network namespace (" << why << ")";
    struct Row {
        const char* title;
        Lines sim;     // the simulator's options
        Lines link;    // varnoke-cli's
        int status;    // expected exit
        Lines failing; // "FAIL id" lines
    };
    const Row rows[] = {
        {"serial 115200", {"--serial", "--com", "1"}, {"--com", "1"}, 0, {}},
        {"serial 9600 paced",
         {"--serial", "--com", "2", "--pace", "--baud", "9600"},
         {"--com", "2", "--baud", "9600"},
         0,
         {}},
        {"serial with a resent reply that differs",
         {"--serial", "--com", "3", "--resend-differs", "100"},
         {"--com", "3"},
         1,
         {"FAIL serial.nak.resend"}},
        {"rmlx", {"--rmlx", "127.0.0.2"}, {"--rmlx", "127.0.0.2"}, 0, {}},
        {"rmlx with a wrong header checksum",
         {"--rmlx", "127.0.0.3", "--net-bad-header", "100"},
         {"--rmlx", "127.0.0.3"},
         1,
         {"FAIL rmlx.frames"}},
        {"tcp", {"--tcp", "127.0.0.4"}, {"--tcp", "127.0.0.4"}, 0, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        Lines args = row.sim;
        append(args, {"--log", dir + "/check.log"});
        sims.push_back(std::make_unique<Child>(VARNOKE_SIM_PATH, args));
        ASSERT_TRUE(sims.back()->read_until("\n")) << sims.back()->output;
        if (row.link[0] == "--com") sims.back()->read_until("\n");

        // The list is the catalogue's, and the device hears nothing of it.
        std::string log_before = read_file(dir + "/check.log");
        Ran list = run(Lines{row.link[0], row.link[1], "--check-list"});
        EXPECT_EQ(list.status, 0) << list.err;
        EXPECT_GE(list.lines.size(), 5u);
        usleep(100000);
        EXPECT_EQ(read_file(dir + "/check.log"), log_before);

        std::string report = dir + "/check.xml";
        Lines check = row.link;
        append(check, {"--check", "--junit", report});
        Ran r = run(check);
        EXPECT_EQ(r.status, row.status) << r.out << r.err;
        Lines verdicts = verdicts_of(r.lines);
        EXPECT_EQ(verdicts.size() + 1, r.lines.size()) << r.out; // and the count
        Lines failing;
        for (const std::string& v : verdicts)
            if (v.rfind("FAIL", 0) == 0) failing.push_back(v);
        EXPECT_EQ(failing, row.failing) << r.out;
        std::string outline = junit_outline(report);
        EXPECT_EQ(outline.rfind("suite device-check ", 0), 0u) << outline;
        EXPECT_NE(outline.find("tests=" + std::to_string(verdicts.size()) +
                               " failures=" + std::to_string(row.failing.size())),
                  std::string::npos)
            << outline;
        // Only "v" and "?" reached the device.
        for (const std::string& asked : answered(dir + "/check.log"))
            EXPECT_TRUE(asked == "v" || asked == "?") << asked;
        sims.clear();
        fs::remove(dir + "/check.log");
    }

    // JSON lines: one a check, each with its verdict and times, then the
    // summary; every line parses.
    sims.push_back(std::make_unique<Child>(VARNOKE_SIM_PATH, Lines{"--tcp", "127.0.0.4"}));
    ASSERT_TRUE(sims.back()->read_until("\n"));
    Ran json =
        run({"--tcp", "127.0.0.4", "--check", "--strict", "--json", "--details", "--timestamps"});
    EXPECT_EQ(json.status, 0) << json.err;
    ASSERT_EQ(json.lines.size(), 6u) << json.out;
    std::string lines_file = file("check.json", json.out);
    EXPECT_EQ(jq_all(lines_file, "map(.verdict) | join(\" \")"), "PASS PASS PASS PASS PASS ")
        << json.out;
    EXPECT_EQ(jq_all(lines_file, "map(select(.action == \"check\") | .id) | join(\" \")"),
              "tcp.reply tcp.reply.quiet tcp.reply.status tcp.reply.size tcp.status.query");
    EXPECT_EQ(field(json.lines[0], "limit_ms"), "5000");
    EXPECT_EQ(field(json.lines[5], "action"), "check-summary");
    EXPECT_EQ(field(json.lines[5], "passed"), "5");
    EXPECT_EQ(field(json.lines[5], "exit"), "0");
    sims.clear();

    // No device behind the port: 2; a --check-only that names nothing: 64.
    EXPECT_EQ(run({"--port", dir + "/none", "--check"}).status, 2);
    Ran bad = run({"--tcp", "127.0.0.4", "--check", "--check-only", "serial."});
    EXPECT_EQ(bad.status, 64);
    EXPECT_EQ(read_file(err_file(started)),
              "varnoke-cli: --check-only: 'serial.' names no tcp check; --check-list shows them\n");
    netns::leave_private();
}
