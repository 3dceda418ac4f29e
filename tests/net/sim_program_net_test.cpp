// The simulator program's network sides as a user starts them: a child
// process with command-line options, inside the test's private namespace.
#include "net_fixture.h"
#include "sim/device_model.h"

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class SimProgram : public NetTest {
  protected:
    void TearDown() override {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (out >= 0) close(out);
        NetTest::TearDown();
    }
    // Starts the program; its output and errors go to one pipe.
    void run(std::vector<std::string> args) {
        args.insert(args.begin(), VARNOKE_SIM_PATH);
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            dup2(fds[1], 2);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
        out = fds[0];
    }
    // Output until it contains text, or until the program ends or is quiet
    // for 10 s.
    bool read_until(const std::string& text) {
        while (output.find(text) == std::string::npos) {
            pollfd p{out, POLLIN, 0};
            char buf[1024];
            ssize_t n = poll(&p, 1, 10000) > 0 ? read(out, buf, sizeof buf) : 0;
            if (n <= 0) return false;
            output.append(buf, size_t(n));
        }
        return true;
    }
    int exit_status() {
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    pid_t pid = -1;
    int out = -1;
    std::string output;
};

TEST_F(SimProgram, ServesDevicesDiscoveryAndTcpFromItsOptions) {
    if (!enter_namespace(true, true)) return;
    fake_clock::install(1000, 50);
    details = 0;
    run({"--rmlx", "127.0.0.2", "--rmlx", "127.0.0.3", "--discovery", "--tcp", "127.0.0.1",
         "--net-nak", "1", "--log", "-", "--log-bytes"});
    ASSERT_TRUE(read_until("tcp: 127.0.0.1:9101\n")) << output;
    EXPECT_NE(output.find("rmlx: 127.0.0.2:24222\nrmlx: 127.0.0.3:24222\n"), std::string::npos);

    uint32_t list[discovered_max];
    uint32_t count = 0;
    ASSERT_EQ(rmlx_discover(list, discovered_max, &count), net_ok);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(text_of(list[0]), "127.0.0.2");
    EXPECT_EQ(text_of(list[1]), "127.0.0.3");

    // The first device is the program's one device, seeded 1 by default.
    ASSERT_EQ(rmlx_open(link, list[0], 1), net_ok);
    ASSERT_EQ(rmlx_request(link, "v", reply, sizeof reply), net_ok);
    EXPECT_STREQ(reply, DeviceModel(1).handle("v").c_str());
    NetLink tcp_link{};
    ASSERT_EQ(tcp_open(tcp_link, netns::ipv4(127, 0, 0, 1)), net_ok);
    ASSERT_EQ(tcp_request(tcp_link, "?", reply, sizeof reply), net_ok);
    EXPECT_STREQ(reply, "00/00/00/0001/0/0");
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"RMLX: protocol init ok", "RMLX: request nak'ed; resending",
                                        "TCP: protocol init ok"}));
    EXPECT_TRUE(read_until("tcp     < 3F\n")) << output; // the bare request text
    EXPECT_TRUE(read_until("tcp     \"?\" -> \"00/00/00/0001/0/0\"\n")) << output;
    EXPECT_NE(output.find("rmlx    < 8F E1 "), std::string::npos) << output; // the frame id
    EXPECT_NE(output.find("rmlx    \"v\" -> "), std::string::npos) << output;

    kill(pid, SIGTERM);
    EXPECT_EQ(exit_status(), 0);
}

TEST_F(SimProgram, RefusesAnAddressItCannotRead) {
    run({"--tcp", "10.1"});
    EXPECT_EQ(exit_status(), 2);
    EXPECT_TRUE(read_until("--tcp wants an IPv4 address such as 127.0.0.2, not '10.1'")) << output;
}

} // namespace
