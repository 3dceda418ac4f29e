// The simulator as users run it: a child process, its options and output,
// and the console talking to it through the COM link it made.
#include "serial/frame_checksum.h"
#include "serial/serial_port.h"
#include "serial/serial_transaction.h"
#include "sim/device_model.h"
#include "support/fixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
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

struct Child {
    pid_t pid = -1;
    int out = -1; // standard output and error together
    std::string buffered;

    explicit Child(std::vector<std::string> args) {
        args.insert(args.begin(), VARNOKE_SIM_PATH);
        int fds[2];
        if (pipe(fds) != 0) return;
        pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            dup2(fds[1], 2);
            close(fds[0]);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
        out = fds[0];
    }
    ~Child() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (out >= 0) close(out);
    }

    // Reads more output; false at its end or after 10 s without any.
    bool fill() {
        pollfd p{out, POLLIN, 0};
        char buf[4096];
        ssize_t n = poll(&p, 1, 10000) > 0 ? read(out, buf, sizeof buf) : 0;
        if (n > 0) buffered.append(buf, size_t(n));
        return n > 0;
    }
    // The next line of output; empty when none comes.
    std::string line() {
        size_t nl;
        while ((nl = buffered.find('\n')) == std::string::npos)
            if (!fill()) return "";
        std::string l = buffered.substr(0, nl);
        buffered.erase(0, nl + 1);
        return l;
    }
    // Everything up to the end of the output.
    std::string rest() {
        while (fill()) {
        }
        return std::exchange(buffered, {});
    }
    int exit_code(int signal = 0) {
        if (signal != 0) kill(pid, signal);
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

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
    Child help({"--help"});
    std::string text = help.rest();
    EXPECT_EQ(help.exit_code(), 0);
    for (const char* option : {"Usage: varnoke-sim", "--seed N", "--log FILE", "--busy N",
                               "--com N", "--pace", "--enq-can N", "--reply-length N"})
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
    };
    for (auto& b : bad) {
        Child c(b.args);
        std::string out = c.rest();
        EXPECT_EQ(c.exit_code(), 2) << b.message;
        EXPECT_NE(out.find(b.message), std::string::npos) << out;
        EXPECT_NE(out.find("Try 'varnoke-sim --help'."), std::string::npos);
    }
}

TEST_F(SimProgramTest, ServesTheConsoleThroughItsComLinkAndLogsEachRequest) {
    std::string log = prefix + "/requests.log";
    Child sim({"--com", "2", "--seed", "5", "--busy", "1", "--log", log});
    std::string slave = sim.line();
    ASSERT_EQ(slave.rfind("serial: /dev/pts/", 0), 0u) << slave;
    std::string link = prefix + "/dosdevices/com2";
    EXPECT_EQ(sim.line(), "serial: COM2 is " + link);
    EXPECT_EQ(fs::read_symlink(link).string(), slave.substr(8));

    connection_kind = 2;
    ASSERT_EQ(serial_open(2, 115200, 'N', 8, 1), 1);
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

TEST_F(SimProgramTest, LogsTheLineBytesInHexWhenAsked) {
    std::string log = prefix + "/wire.log";
    Child sim({"--com", "4", "--log", log, "--log-bytes"});
    ASSERT_EQ(sim.line().rfind("serial: /dev/pts/", 0), 0u);
    connection_kind = 4;
    ASSERT_EQ(serial_open(4, 115200, 'N', 8, 1), 1);
    char reply[1000];
    EXPECT_EQ(serial_transaction("v", reply, sizeof reply, 0), 0);
    serial_close(4);
    EXPECT_EQ(sim.exit_code(SIGTERM), 0);

    // Reads may split or join what the console wrote: the bytes of each
    // direction are compared as one stream.
    std::ifstream in(log);
    std::string received, sent;
    for (std::string l; std::getline(in, l);) {
        if (size_t at = l.find(" serial  in "); at != std::string::npos)
            received += l.substr(at + 11);
        else if (size_t at = l.find(" serial  out "); at != std::string::npos)
            sent += l.substr(at + 12);
    }
    EXPECT_NE(received.find(" 05"), std::string::npos) << received; // the enquiry
    EXPECT_NE(received.find(" 02 76 2F 36 35 03"), std::string::npos) << received;
    std::string text = "00/00/00/ESD-SIM/" + DeviceModel(1).serial_number + "/1.00";
    char sum[4];
    snprintf(sum, sizeof sum, "/%02u", frame_checksum(text.data(), text.size()));
    std::string reply_hex;
    for (char c : text + sum) {
        char hex[4];
        snprintf(hex, sizeof hex, " %02X", uint8_t(c));
        reply_hex += hex;
    }
    // The enquiry and the request frame acknowledged, then the reply frame.
    EXPECT_EQ(sent, " 06 06 02" + reply_hex + " 03");
}

TEST_F(SimProgramTest, PacedLineCarriesTheSameBytes) {
    Child sim({"--com", "3", "--pace", "--baud", "9600", "--noise", "2"});
    ASSERT_EQ(sim.line().rfind("serial: /dev/pts/", 0), 0u);
    connection_kind = 3;
    ASSERT_EQ(serial_open(3, 9600, 'N', 8, 1), 1);
    char reply[1000];
    EXPECT_EQ(serial_transaction("?", reply, sizeof reply, 0), 0);
    EXPECT_STREQ(reply, "00/00/00/0001/0/0");
    EXPECT_EQ(headless::log_lines().size(), 3u); // "Varnoke started" and two noise bytes
}

TEST_F(SimProgramTest, LeavesTheUsersOwnComLinksAlone) {
    fs::create_directories(prefix + "/dosdevices");
    std::string link = prefix + "/dosdevices/com1";
    fs::create_symlink("/dev/null", link);
    Child refused({"--com", "1"});
    std::string out = refused.rest();
    EXPECT_EQ(refused.exit_code(), 1);
    EXPECT_NE(out.find("COM1 already points to /dev/null; remove " + link), std::string::npos)
        << out;
    EXPECT_EQ(fs::read_symlink(link), "/dev/null");

    // A link left by an earlier simulator is taken over.
    fs::remove(link);
    fs::create_symlink("/dev/pts/999999", link);
    Child sim({"--com", "1"});
    std::string slave = sim.line();
    ASSERT_EQ(slave.rfind("serial: /dev/pts/", 0), 0u) << slave;
    EXPECT_EQ(fs::read_symlink(link).string(), slave.substr(8));
    EXPECT_EQ(sim.exit_code(SIGINT), 0);
}

} // namespace
