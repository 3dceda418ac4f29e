// The fault runs that the RMLX link and the plain UDP link share, run over
// both against the simulator: a device that never answers the
// synchronisation, and storms of NAKs and of resynchronisation requests.
// Each link keeps its own log lines, which the table names.
#include "net_fixture.h"

#include <string>
#include <vector>

namespace {

struct LinkFaults {
    const char* name;
    char side; // the simulator's side, as wire() names it
    const char* sync_timeout;
    const char* sync_failed;
    const char* nak_give_up;
    const char* resync_give_up;
    const char* request_failed;
};

// Both links log a NAK from the device with the same line.
constexpr const char* nak_resending = "RMLX: request nak'ed; resending";

constexpr LinkFaults rmlx_faults{"Rmlx",
                                 'r',
                                 "RMLX: sync timeout",
                                 "RMLX: sync failed",
                                 "RMLX: request nak'ed too often; giving up",
                                 "RMLX: resynchronization requested too often; giving up",
                                 "RMLX: request failed"};
constexpr LinkFaults udp_faults{"Udp",
                                'u',
                                "UDP: sync timeout",
                                "UDP: sync failed",
                                "UDP: request nak'ed too often; giving up",
                                "UDP: resynchronization requested too often; giving up",
                                "UDP: request failed"};

class LinkFaultRun : public NetTest, public ::testing::WithParamInterface<const LinkFaults*> {
  protected:
    bool rmlx() const { return GetParam()->side == 'r'; }
    void SetUp() override {
        NetTest::SetUp();
        NetSidesConfig config;
        if (rmlx()) {
            // RMLX talks to 127.0.0.x, in a namespace of its own where one
            // can be had.
            enter_namespace(true, false);
            device = device_address(in_namespace, 0);
            config.rmlx_devices = {device};
            config.foreign_address = device_address(in_namespace, 9);
            ASSERT_TRUE(start(config));
        } else {
            // Both ends of plain UDP use port 9101: the simulator sits
            // behind a veth pair.
            if (!enter_namespace(false, true)) return;
            device = netns::ipv4(192, 0, 2, 2);
            config.udp_address = device;
            config.foreign_address = netns::ipv4(192, 0, 2, 3);
            ASSERT_TRUE(start_behind_veth(config, netns::ipv4(192, 0, 2, 1)));
        }
    }
    // Opens the link (RMLX without its presence query) and forgets its lines.
    void open() {
        ASSERT_EQ(rmlx() ? rmlx_open(link, device, RmlxOpening::no_query) : udp_open(link, device), result_ok);
        lines();
    }
    int request(const char* text) {
        return rmlx() ? rmlx_request(link, text, reply, sizeof reply)
                      : udp_request(link, text, reply, sizeof reply);
    }
    // What the console sent to the device.
    size_t sent() { return wire(GetParam()->side, true).size(); }

    uint32_t device = 0;
};

TEST_P(LinkFaultRun, SilentDeviceFailsTheSynchronisationAfterEightPasses) {
    const LinkFaults& t = *GetParam();
    fake_clock::install(1000, 20); // nothing is answered: no real wait is needed
    open();
    set_net_details(false);
    set([](NetFaults& f) { f.ignore_sync = 8; });
    uint32_t start = fake_clock::now();
    EXPECT_EQ(request("v"), net_protocol_failure);
    EXPECT_EQ(uint32_t(fake_clock::now() - start), 3200u);
    std::vector<std::string> expected(8, t.sync_timeout);
    expected.push_back(t.sync_failed);
    EXPECT_EQ(lines(), expected);
    EXPECT_EQ(sent(), 8u);
}

TEST_P(LinkFaultRun, NakAndResynchroniseStormsEndTheRequest) {
    const LinkFaults& t = *GetParam();
    open();
    set_net_details(false);
    set([](NetFaults& f) { f.nak = 1000; });
    EXPECT_EQ(request("v"), net_protocol_failure);
    std::vector<std::string> expected(11, nak_resending);
    expected.push_back(t.nak_give_up);
    expected.push_back(t.request_failed);
    EXPECT_EQ(lines(), expected);
    EXPECT_EQ(sent(), 12u); // the synchronisation and the first request with ten resends

    set([](NetFaults& f) {
        f.nak = 0;
        f.rst = 1000;
    });
    sim.clear_wire();
    EXPECT_EQ(request("v"), net_protocol_failure);
    EXPECT_EQ(lines(), (std::vector<std::string>{t.resync_give_up, t.request_failed}));
    EXPECT_EQ(sent(), 22u); // eleven rounds of synchronisation and request
    EXPECT_EQ(link.synchronised, 0);
}

std::string link_name(const ::testing::TestParamInfo<const LinkFaults*>& param) {
    return param.param->name;
}

INSTANTIATE_TEST_SUITE_P(BothLinks, LinkFaultRun, ::testing::Values(&rmlx_faults, &udp_faults),
                         link_name);

} // namespace
