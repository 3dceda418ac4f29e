#include "net_fixture.h"

#include <future>
#include <unistd.h>

void NetTest::SetUp() {
    WindowTest::SetUp();
    details = 1;
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
    details = 0;
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
    std::promise<int> ns_fd;
    std::promise<std::string> linked;
    std::promise<std::string> opened;
    auto ns_future = ns_fd.get_future();
    auto opened_future = opened.get_future();
    veth_thread_ = std::thread([&, linked_future = linked.get_future()]() mutable {
        std::string error = netns::enter_nested();
        ns_fd.set_value(error.empty() ? netns::current_namespace_fd() : -1);
        if (error.empty()) error = linked_future.get();
        if (error.empty()) error = netns::set_address("vb", config.udp_address);
        if (error.empty() && config.foreign_address != 0)
            error = netns::set_address("vb:1", config.foreign_address);
        if (error.empty()) error = netns::wait_running("vb");
        if (error.empty()) sim.open(config, error);
        bool ok = error.empty();
        opened.set_value(error);
        if (ok) sim.serve();
    });
    int fd = ns_future.get();
    std::string error = fd < 0 ? "no nested namespace" : netns::add_veth("va", "vb", fd);
    if (fd >= 0) close(fd);
    if (error.empty()) error = netns::set_address("va", local_address);
    linked.set_value(error);
    error = opened_future.get();
    if (error.empty()) error = netns::wait_running("va");
    if (!error.empty()) return ::testing::AssertionFailure() << error;
    return ::testing::AssertionSuccess();
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
