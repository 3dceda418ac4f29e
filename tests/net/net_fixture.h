// Network tests against the simulator's network sides, run in-process on a
// thread of their own inside a private network namespace.
#pragma once

#include "base/ipv4_text.h"
#include "base/state.h"
#include "net/net_trace.h"
#include "net/rmlx.h"
#include "net/tcp.h"
#include "net/udp.h"
#include "netns.h"
#include "sim/net_sides.h"
#include "support/fake_clock.h"
#include "support/fixture.h"

#include <string>
#include <thread>
#include <vector>

class NetTest : public WindowTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Enters a private network namespace; when none can be had, skips the
    // test if it is required and returns false.
    bool enter_namespace(bool default_route, bool required);
    // Opens the simulator's sockets here and serves them on a thread.
    ::testing::AssertionResult start(const NetSidesConfig& config);
    // The same on a thread in a namespace of its own, joined to this one by a
    // veth pair: local_address here, config.udp_address (and the foreign
    // address) there.
    ::testing::AssertionResult start_behind_veth(const NetSidesConfig& config,
                                                 uint32_t local_address);
    void stop();

  public:
    // Changes the simulator's faults now in force.
    void set(void (*change)(NetFaults&));

  protected:
    // Log lines that came since the last call.
    std::vector<std::string> lines();
    // What the console sent to one side, or what the side sent back, in order.
    std::vector<std::string> wire(char side, bool inbound);

    NetSides sim;
    NetLink link{};
    char reply[1000] = {};
    bool in_namespace = false;

  private:
    size_t seen_ = 0;
    std::thread veth_thread_;
};

// Serves the simulator's sides on a thread in a network namespace of its
// own, joined to the caller's by a veth pair: local_address on this side,
// config.udp_address (and the foreign address) on the other. "" or why not;
// NetSides::stop ends the thread, which the caller then joins.
std::string serve_behind_veth(NetSides& sim, const NetSidesConfig& config, uint32_t local_address,
                              std::thread& thread);

// Every network side of one shared device, as the fault matrices want it:
// RMLX and TCP at device (on loopback, in the caller's private namespace),
// plain UDP at 192.0.2.2 behind a veth pair, as its port is fixed. Each
// request goes to shared_device. "" or why not.
std::string serve_every_side(NetSides& net, NetSides& behind_veth, std::thread& veth_thread,
                             uint32_t device,
                             decltype(NetSidesConfig::shared_device) shared_device);

// The addresses of this test run's simulated devices: 127.0.0.x in a private
// namespace, elsewhere a block of 127/8 chosen by the process id so that
// parallel runs keep apart.
uint32_t device_address(bool in_namespace, unsigned index);
std::string text_of(uint32_t address);
std::string bytes(std::initializer_list<int> values);
