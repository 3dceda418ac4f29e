// The TCP link against the simulator's TCP side over real sockets, in a
// private network namespace.
#include "net_fixture.h"
#include "sim/device_model.h"

#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class TcpTest : public NetTest {
  protected:
    void SetUp() override {
        NetTest::SetUp();
        enter_namespace(false, true);
    }
    ::testing::AssertionResult start_at(uint32_t address) {
        NetSidesConfig config;
        config.tcp_address = address;
        return start(config);
    }
    int request(const char* text) { return tcp_request(link, text, reply, sizeof reply); }
    const uint32_t localhost = netns::ipv4(127, 0, 0, 1);
};

TEST_F(TcpTest, RequestIsTheBareTextAndTheReplyWhatComesBack) {
    ASSERT_TRUE(start_at(localhost));
    ASSERT_EQ(tcp_open(link, localhost), result_ok);
    ASSERT_EQ(request("v"), result_ok);
    EXPECT_STREQ(reply, DeviceModel(1).handle("v").c_str());
    set([](NetFaults& f) { f.fixed_reply = "00/00/00"; });
    ASSERT_EQ(request("?"), result_ok);
    EXPECT_STREQ(reply, "00/00/00");
    EXPECT_EQ(wire('t', true), (std::vector<std::string>{"v", "?"}));
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"TCP: protocol init ok", "Sending 'v'", "Sending '?'"}));
    EXPECT_EQ(link.target, localhost);
}

TEST_F(TcpTest, LongRequestGoesOutWhole) {
    ASSERT_TRUE(start_at(localhost));
    ASSERT_EQ(tcp_open(link, localhost), result_ok);
    std::string typed(1999, 't'); // the longest typed command
    ASSERT_EQ(request(typed.c_str()), result_ok);
    std::string received;
    for (auto& piece : wire('t', true)) received += piece;
    EXPECT_EQ(received, typed);
}

TEST_F(TcpTest, ALateReplyIsDroppedBeforeTheNextRequest) {
    NetSidesConfig config;
    config.tcp_address = localhost;
    config.tcp_late_ms = 1000; // the console's wait ends first: its slices are 20 ms
    ASSERT_TRUE(start(config));
    fake_clock::install(1000, 20);
    ASSERT_EQ(tcp_open(link, localhost), result_ok);
    set_net_details(true);
    set([](NetFaults& f) { f.late = 1; });
    uint32_t start = fake_clock::now();
    EXPECT_EQ(request("v"), net_protocol_failure);
    EXPECT_EQ(uint32_t(fake_clock::now() - start), 5000u);
    // The reply comes after the time-out, before the next request.
    for (int i = 0; i < 500 && wire('t', false).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(wire('t', false).size(), 1u);

    DeviceModel device(1);
    std::string late = device.handle("v");
    ASSERT_EQ(request("?"), result_ok);
    EXPECT_EQ(std::string(reply), device.handle("?"));
    EXPECT_EQ(lines(),
              (std::vector<std::string>{
                  "TCP: protocol init ok", "Sending 'v'", "TCP: request timeout",
                  "TCP: request failed", "Sending '?'",
                  "TCP: dropped " + std::to_string(late.size()) + " late byte(s) '" + late + "'"}));
    // Nothing but the two texts went out: no synchronisation on this link.
    EXPECT_EQ(wire('t', true), (std::vector<std::string>{"v", "?"}));
}

TEST_F(TcpTest, ReplyInPiecesIsGatheredUntilItsStatusIsIn) {
    ASSERT_TRUE(start_at(localhost));
    fake_clock::install();
    ASSERT_EQ(tcp_open(link, localhost), result_ok);
    set([](NetFaults& f) { f.pieces = 1; });
    ASSERT_EQ(request("v"), result_ok);
    EXPECT_STREQ(reply, DeviceModel(1).handle("v").c_str());
    EXPECT_EQ(wire('t', false).size(), 2u); // it did come in two pieces
}

TEST_F(TcpTest, LongReplyIsCutToTheBufferAndNothingIsLeftForTheNext) {
    ASSERT_TRUE(start_at(localhost));
    fake_clock::install();
    ASSERT_EQ(tcp_open(link, localhost), result_ok);
    set_net_details(false);
    set([](NetFaults& f) { f.fixed_reply = std::string(1500, 'R'); });
    ASSERT_EQ(request("v"), result_ok);
    EXPECT_EQ(std::string(reply), std::string(sizeof reply - 1, 'R'));
    set([](NetFaults& f) { f.fixed_reply = "00/00/00/ab\0cd"; });
    ASSERT_EQ(request("v"), result_ok);
    EXPECT_STREQ(reply, "00/00/00/ab"); // the text ends at a zero byte
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"TCP: protocol init ok",
                                        "TCP: reply longer than 999 bytes; 501 bytes dropped"}));
}

TEST_F(TcpTest, RefusedConnectionIsNamedAndLeavesTheLinkClosed) {
    set_net_details(false);
    EXPECT_EQ(tcp_open(link, localhost), net_socket_failure);
    EXPECT_EQ(request("v"), net_socket_failure);
    EXPECT_EQ(lines(), (std::vector<std::string>{"TCP: failed binding socket: ECONNREFUSED",
                                                 "TCP: nothing listens at 127.0.0.1 port 9101",
                                                 "TCP: not initialized"}));
}

TEST_F(TcpTest, AddressWithoutAHostEntryIsConnectedToAsItIs) {
    uint32_t address = netns::ipv4(127, 0, 0, 2); // not in the hosts file
    ASSERT_TRUE(start_at(address));
    set_net_details(false);
    ASSERT_EQ(tcp_open(link, address), result_ok);
    ASSERT_EQ(request("v"), result_ok);
    EXPECT_EQ(lines(), (std::vector<std::string>{"TCP: protocol init ok"}));
}

TEST_F(TcpTest, ADeviceThatClosesTheConnectionIsConnectedToAgain) {
    ASSERT_TRUE(start_at(localhost));
    set_net_details(false);
    ASSERT_EQ(tcp_open(link, localhost), result_ok);
    // Hung up instead of a reply: the request fails at once, the next one
    // connects again first.
    set([](NetFaults& f) { f.hang_up = 1; });
    EXPECT_EQ(request("v"), net_socket_failure);
    ASSERT_EQ(request("v"), result_ok);
    // Restarted between two requests: the first after it finds the
    // connection closed before it writes, the one after that goes through.
    stop();
    ASSERT_TRUE(start_at(localhost));
    EXPECT_EQ(request("?"), net_socket_failure);
    ASSERT_EQ(request("?"), result_ok);
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           "TCP: protocol init ok", "TCP: the device closed the connection",
                           "TCP: protocol init ok", "TCP: connected again to 127.0.0.1",
                           "TCP: the device closed the connection", "TCP: protocol init ok",
                           "TCP: connected again to 127.0.0.1"}));
    EXPECT_EQ(wire('t', true), (std::vector<std::string>{"?"})); // the new device's record
    // A silent device keeps its connection: the next request uses it.
    set([](NetFaults& f) { f.silent = 1; });
    fake_clock::install();
    EXPECT_EQ(request("v"), net_protocol_failure);
    ASSERT_EQ(request("v"), result_ok);
    EXPECT_EQ(lines(), (std::vector<std::string>{"TCP: request timeout", "TCP: request failed"}));
}

TEST_F(TcpTest, ConnectAsksNoNameServer) {
    // A name server that never answers, in a mount namespace of this test's
    // own: a lookup on the way to the device would wait for it.
    char conf[] = "/tmp/varnoke-resolv-XXXXXX";
    int conf_fd = mkstemp(conf);
    ASSERT_GE(conf_fd, 0);
    const char text[] = "nameserver 127.0.0.53\n";
    ASSERT_EQ(write(conf_fd, text, sizeof text - 1), ssize_t(sizeof text - 1));
    close(conf_fd);
    bool private_mounts = unshare(CLONE_NEWNS) == 0 &&
                          mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                          mount(conf, "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0;
    unlink(conf);
    if (!private_mounts) GTEST_SKIP() << "no private mount namespace";
    int dns = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(53);
    at.sin_addr.s_addr = inet_addr("127.0.0.53");
    ASSERT_EQ(bind(dns, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);

    uint32_t address = netns::ipv4(127, 0, 0, 2); // in no hosts file
    ASSERT_TRUE(start_at(address));
    ASSERT_EQ(tcp_open(link, address), result_ok);
    char query[512];
    EXPECT_LT(recv(dns, query, sizeof query, MSG_DONTWAIT), 0) << "the name server was asked";
    close(dns);
}

TEST_F(TcpTest, OpeningAnotherAddressConnectsToIt) {
    uint32_t other = netns::ipv4(127, 0, 0, 2);
    ASSERT_TRUE(start_at(localhost));
    NetSides second;
    std::string error;
    NetSidesConfig config;
    config.tcp_address = other;
    ASSERT_TRUE(second.open(config, error)) << error;
    second.start();
    NetFaults f;
    f.fixed_reply = "00/00/00/second";
    second.set_faults(f);
    set_net_details(false);
    ASSERT_EQ(tcp_open(link, localhost), result_ok);
    ASSERT_EQ(tcp_open(link, other), result_ok);
    ASSERT_EQ(tcp_open(link, other), result_ok); // already connected there: nothing new
    ASSERT_EQ(request("v"), result_ok);
    EXPECT_STREQ(reply, "00/00/00/second");
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"TCP: protocol init ok", "TCP: protocol init ok"}));
    second.stop();
}

TEST_F(TcpTest, ASecondSimulatorSaysWhichPortItCannotListenOn) {
    ASSERT_TRUE(start_at(localhost));
    NetSides second;
    std::string error;
    NetSidesConfig config;
    config.tcp_address = localhost;
    EXPECT_FALSE(second.open(config, error));
    EXPECT_EQ(error.rfind("cannot listen on TCP 127.0.0.1:9101: ", 0), 0u) << error;
}

TEST_F(TcpTest, EachLinkClosesOnlyItsOwnSocket) {
    ASSERT_TRUE(start_at(localhost));
    set_net_details(false);
    ASSERT_EQ(rmlx_init(), result_ok); // as a discovery leaves it
    ASSERT_EQ(tcp_open(link, localhost), result_ok);
    ASSERT_EQ(rmlx_init(), result_ok);
    rmlx_close();
    ASSERT_EQ(request("v"), result_ok);
    tcp_close();
    EXPECT_EQ(request("v"), net_socket_failure);
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"RMLX: protocol init ok", "TCP: protocol init ok",
                                        "RMLX: already initialized", "TCP: not initialized"}));
}

} // namespace
