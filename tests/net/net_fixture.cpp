#include "net_fixture.h"

#include <unistd.h>

void NetTest::SetUp() {
    WindowTest::SetUp();
    set_net_details(true);
    rmlx_seed_random(12345);
    seen_ = headless::log_lines().size();
}

void NetTest::TearDown() {
    stop();
    rmlx_close();
    tcp_close();
    udp_close();
    fake_clock::uninstall();
    if (in_namespace) netns::leave_private();
    set_net_details(false);
    connected_flag = 0;
    connection_kind = 1;
    quit_flag = 0;
    WindowTest::TearDown();
}

bool NetTest::enter_namespace(bool default_route, bool required) {
    std::string why = netns::enter_private(default_route);
    in_namespace = why.empty();
    if (!in_namespace && required) {
        [&] {
            GTEST_SKIP() << "no private network namespace can be made here (" << why
                         << "); this test sends only inside one";
        }();
    }
    return in_namespace;
}

::testing::AssertionResult NetTest::start(const NetSidesConfig& config) {
    std::string error;
    if (!sim.open(config, error)) return ::testing::AssertionFailure() << error;
    sim.start();
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult NetTest::start_behind_veth(const NetSidesConfig& config,
                                                      uint32_t local_address) {
    std::string error = serve_behind_veth(sim, config, local_address, veth_thread_);
    if (!error.empty()) return ::testing::AssertionFailure() << error;
    return ::testing::AssertionSuccess();
}

std::string serve_behind_veth(NetSides& sim, const NetSidesConfig& config, uint32_t local_address,
                              std::thread& thread) {
    return netns::start_behind_veth(
        thread, local_address, config.udp_address,
        [&sim, config] {
            std::string why;
            if (config.foreign_address != 0)
                why = netns::set_address("vb:1", config.foreign_address);
            if (why.empty()) sim.open(config, why);
            return why;
        },
        [&sim] { sim.serve(); });
}

std::string serve_every_side(NetSides& net, NetSides& behind_veth, std::thread& veth_thread,
                             uint32_t device,
                             decltype(NetSidesConfig::shared_device) shared_device) {
    NetSidesConfig config;
    config.rmlx_devices = {device};
    config.tcp_address = device;
    config.foreign_address = netns::ipv4(127, 0, 0, 9);
    config.keep_wire = false;
    config.shared_device = shared_device;
    std::string error;
    if (!net.open(config, error)) return error;
    net.start();
    NetSidesConfig udp_config;
    udp_config.udp_address = netns::ipv4(192, 0, 2, 2);
    udp_config.foreign_address = netns::ipv4(192, 0, 2, 3);
    udp_config.keep_wire = false;
    udp_config.shared_device = shared_device;
    return serve_behind_veth(behind_veth, udp_config, netns::ipv4(192, 0, 2, 1), veth_thread);
}

void NetTest::stop() {
    sim.stop();
    if (veth_thread_.joinable()) veth_thread_.join();
}

void NetTest::set(void (*change)(NetFaults&)) {
    NetFaults f = sim.faults();
    change(f);
    sim.set_faults(f);
}

std::vector<std::string> NetTest::lines() {
    auto all = headless::log_lines();
    std::vector<std::string> out(all.begin() + ptrdiff_t(seen_), all.end());
    seen_ = all.size();
    return out;
}

std::vector<std::string> NetTest::wire(char side, bool inbound) {
    sim.settle();
    std::vector<std::string> out;
    for (const WireRecord& r : sim.wire())
        if (r.side == side && r.inbound == inbound) out.push_back(r.bytes);
    return out;
}

uint32_t device_address(bool in_namespace, unsigned index) {
    if (in_namespace) return netns::ipv4(127, 0, 0, 2 + index);
    unsigned pid = unsigned(getpid());
    return netns::ipv4(127, 1 + (pid >> 8) % 254, pid & 0xFF, 2 + index);
}

std::string text_of(uint32_t address) {
    return dotted(address);
}

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += char(v);
    return s;
}
