// The simulator as users run it: a child process, its options and output,
// and the console talking to it through the COM link it made.
#include "serial/serial_port.h"
#include "serial/serial_transaction.h"
#include "sim/device_model.h"
#include "support/child_process.h"
#include "support/fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

class SimProgramTest : public WindowTest {
  protected:
    std::string prefix;
    void SetUp() override {
        WindowTest::SetUp();
        char tmpl[] = "/tmp/varnoke-sim-XXXXXX";
        prefix = mkdtemp(tmpl);
        setenv("VARNOKE_PREFIX", prefix.c_str(), 1);
    }
    void TearDown() override {
        for (int port = serial_port_first; port <= serial_port_last; ++port) serial_close(port);
        fs::remove_all(prefix);
        WindowTest::TearDown();
    }
};

TEST_F(SimProgramTest, HelpAndBadOptions) {
    Child help(VARNOKE_SIM_PATH, {"--help"});
    std::string text = help.rest();
    EXPECT_EQ(help.exit_code(), 0);
    for (const char* option :
         {"Usage: varnoke-sim", "--seed N", "--log FILE", "--log-bytes", "--busy N", "--com N",
          "--pace", "--enq-can N", "--reply-length N", "--reply-delay MS"})
        EXPECT_NE(text.find(option), std::string::npos) << option;

    struct Bad {
        std::vector<std::string> args;
        const char* message;
    } bad[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"--busy", "x"}, "--busy wants a number from 0 to 100000, not 'x'"},
        {{"--error", "256"}, "--error wants a number from 0 to 255, not '256'"},
        {{"--noise", "-1"}, "--noise wants a number"},
        {{"--com", "0"}, "--com wants a port number from 1"},
        {{"--log"}, "--log needs a value"},
        {{"--reply-delay", "60001"}, "--reply-delay wants a number from 0 to 60000, not '60001'"},
        {{"--z-signature", "bad"}, "--z-signature wants kept, wrong or none, not 'bad'"},
    };
    for (auto& b : bad) {
        Child c(VARNOKE_SIM_PATH, b.args);
        std::string out = c.rest();
        EXPECT_EQ(c.exit_code(), 2) << b.message;
        EXPECT_NE(out.find(b.message), std::string::npos) << out;
        EXPECT_NE(out.find("Try 'varnoke-sim --help'."), std::string::npos);
    }
}

TEST_F(SimProgramTest, ServesTheConsoleThroughItsComLinkAndLogsEachRequest) {
    std::string log = prefix + "/requests.log";
    Child sim(VARNOKE_SIM_PATH, {"--com", "2", "--seed", "5", "--busy", "1", "--log", log});
    std::string slave = sim.line();
    ASSERT_EQ(slave.rfind("serial: /dev/pts/", 0), 0u) << slave;
    std::string link = prefix + "/dosdevices/com2";
    EXPECT_EQ(sim.line(), "serial: COM2 is " + link);
    EXPECT_EQ(fs::read_symlink(link).string(), slave.substr(8));

    connection_kind = 2;
    ASSERT_TRUE(serial_open(2, 115200, 'N', 8, 1));
    char reply[1000];
    EXPECT_EQ(serial_transaction("v", reply, sizeof reply, 0), 0);
    EXPECT_STREQ(reply, "0E/01/00/");
    EXPECT_EQ(serial_transaction("v", reply, sizeof reply, 0), 0);
    EXPECT_EQ(std::string(reply), "00/00/00/ESD-SIM/" + DeviceModel(5).serial_number + "/1.00");
    serial_close(2);

    EXPECT_EQ(sim.exit_code(SIGTERM), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link))); // its own link goes with it
    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(" serial  \"v\" -> \"0E/01/00/\""), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find(" serial  \"v\" -> \"00/00/00/ESD-SIM/"), std::string::npos);
}

// --reply-delay holds the reply back: the request takes at least that long
// (a lower bound only; how much longer is no concern here).
TEST_F(SimProgramTest, HoldsRepliesBackWhenAsked) {
    Child sim(VARNOKE_SIM_PATH, {"--com", "2", "--reply-delay", "300"});
    ASSERT_EQ(sim.line().rfind("serial: /dev/pts/", 0), 0u);
    connection_kind = 2;
    ASSERT_TRUE(serial_open(2, 115200, 'N', 8, 1));
    char reply[1000];
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(serial_transaction("v", reply, sizeof reply, 0), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_EQ(std::string(reply).rfind("00/00/00/ESD-SIM/", 0), 0u) << reply;
    serial_close(2);
    EXPECT_EQ(sim.exit_code(SIGTERM), 0);
}

TEST_F(SimProgramTest, LogsTheBytesReceivedWhenAsked) {
    std::string log = prefix + "/bytes.log";
    Child sim(VARNOKE_SIM_PATH, {"--com", "2", "--log", log, "--log-bytes"});
    ASSERT_EQ(sim.line().rfind("serial: /dev/pts/", 0), 0u);
    connection_kind = 2;
    ASSERT_TRUE(serial_open(2, 115200, 'N', 8, 1));
    char reply[1000];
    EXPECT_EQ(serial_transaction("v", reply, sizeof reply, 0), 0);
    serial_close(2);
    EXPECT_EQ(sim.exit_code(SIGTERM), 0);

    // The reads split the stream anywhere: join the bytes of every line.
    std::ifstream in(log);
    std::string bytes, requests;
    for (std::string l; std::getline(in, l);) {
        size_t mark = l.find(" serial  < ");
        if (mark != std::string::npos)
            bytes += l.substr(mark + 10);
        else
            requests += l + "\n";
    }
    // The closing ACK may still be on its way when the simulator stops.
    std::string sent = " 18 18 18 05 02 76 2F 36 35 03";
    EXPECT_EQ(bytes.substr(0, sent.size()), sent);
    EXPECT_NE(requests.find(" serial  \"v\" -> \"00/00/00/ESD-SIM/"), std::string::npos)
        << requests;
}

TEST_F(SimProgramTest, PacedLineCarriesTheSameBytes) {
    Child sim(VARNOKE_SIM_PATH, {"--com", "3", "--pace", "--baud", "9600", "--noise", "2"});
    ASSERT_EQ(sim.line().rfind("serial: /dev/pts/", 0), 0u);
    connection_kind = 3;
    ASSERT_TRUE(serial_open(3, 9600, 'N', 8, 1));
    char reply[1000];
    EXPECT_EQ(serial_transaction("?", reply, sizeof reply, 0), 0);
    EXPECT_STREQ(reply, "00/00/00/0001/0/0");
    EXPECT_EQ(headless::log_lines().size(), 3u); // "Varnoke started" and two noise bytes
}

TEST_F(SimProgramTest, LeavesTheUsersOwnComLinksAlone) {
    fs::create_directories(prefix + "/dosdevices");
    std::string link = prefix + "/dosdevices/com1";
    fs::create_symlink("/dev/null", link);
    Child refused(VARNOKE_SIM_PATH, {"--com", "1"});
    std::string out = refused.rest();
    EXPECT_EQ(refused.exit_code(), 1);
    EXPECT_NE(out.find("COM1 already points to /dev/null; remove " + link), std::string::npos)
        << out;
    EXPECT_EQ(fs::read_symlink(link), "/dev/null");

    // A link left by an earlier simulator is taken over.
    fs::remove(link);
    fs::create_symlink("/dev/pts/999999", link);
    Child sim(VARNOKE_SIM_PATH, {"--com", "1"});
    std::string slave = sim.line();
    ASSERT_EQ(slave.rfind("serial: /dev/pts/", 0), 0u) << slave;
    EXPECT_EQ(fs::read_symlink(link).string(), slave.substr(8));
    EXPECT_EQ(sim.exit_code(SIGINT), 0);
}

} // namespace
