// The simulator program's network sides as a user starts them: a child
// process with command-line options, inside the test's private namespace.
#include "net_fixture.h"
#include "sim/device_model.h"

#include "support/child_process.h"

#include <memory>

namespace {

class SimProgram : public NetTest {
  protected:
    void TearDown() override {
        child.reset();
        NetTest::TearDown();
    }
    void run(std::vector<std::string> args) {
        child = std::make_unique<Child>(VARNOKE_SIM_PATH, std::move(args));
    }
    std::unique_ptr<Child> child;
};

TEST_F(SimProgram, ServesDevicesDiscoveryAndTcpFromItsOptions) {
    if (!enter_namespace(true, true)) return;
    fake_clock::install(1000, 50);
    set_net_details(false);
    run({"--rmlx", "127.0.0.2", "--rmlx", "127.0.0.3", "--discovery", "--tcp", "127.0.0.1",
         "--net-nak", "1", "--log", "-", "--log-bytes"});
    ASSERT_TRUE(child->read_until("tcp: 127.0.0.1:9101\n")) << child->output;
    EXPECT_NE(child->output.find("rmlx: 127.0.0.2:24222\nrmlx: 127.0.0.3:24222\n"),
              std::string::npos);

    uint32_t list[discovered_max];
    uint32_t count = 0;
    ASSERT_EQ(rmlx_discover(list, discovered_max, &count), result_ok);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(text_of(list[0]), "127.0.0.2");
    EXPECT_EQ(text_of(list[1]), "127.0.0.3");

    // The first device is the program's one device, seeded 1 by default.
    ASSERT_EQ(rmlx_open(link, list[0], RmlxOpening::query_first), result_ok);
    ASSERT_EQ(rmlx_request(link, "v", reply, sizeof reply), result_ok);
    EXPECT_STREQ(reply, DeviceModel(1).handle("v").c_str());
    NetLink tcp_link{};
    ASSERT_EQ(tcp_open(tcp_link, netns::ipv4(127, 0, 0, 1)), result_ok);
    ASSERT_EQ(tcp_request(tcp_link, "?", reply, sizeof reply), result_ok);
    EXPECT_STREQ(reply, "00/00/00/0001/0/0");
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"RMLX: protocol init ok", "RMLX: request nak'ed; resending",
                                        "TCP: protocol init ok"}));
    EXPECT_TRUE(child->read_until("tcp     < 3F\n")) << child->output; // the bare request text
    EXPECT_TRUE(child->read_until("tcp     \"?\" -> \"00/00/00/0001/0/0\"\n")) << child->output;
    EXPECT_NE(child->output.find("rmlx    < 8F E1 "), std::string::npos)
        << child->output; // the frame id
    EXPECT_NE(child->output.find("rmlx    \"v\" -> "), std::string::npos) << child->output;

    EXPECT_EQ(child->exit_code(SIGTERM), 0);
}

TEST_F(SimProgram, RefusesAnAddressItCannotRead) {
    run({"--tcp", "10.1"});
    EXPECT_EQ(child->exit_code(), 2);
    EXPECT_TRUE(child->read_until("--tcp wants an IPv4 address such as 127.0.0.2, not '10.1'"))
        << child->output;
}

} // namespace
