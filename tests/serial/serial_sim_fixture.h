// Tests against the simulator's serial side, served on a thread of this
// process over a real pseudo-terminal linked as COM1. Time passes only when
// the simulator has chosen to stay silent: every silence it reports lets one
// wait of the console run out at once.
#pragma once

#include "support/fixture.h"

#include <cstdint>
#include <string>
#include <vector>

namespace serial_sim_wait {
// Waits whose time ran out because the device stayed silent, and whether
// busy_flag was held during any wait, since the test began.
extern unsigned silences_taken;
extern bool busy_while_waiting;
// Called with every wait, before it polls (may queue window events).
extern void (*on_wait)();
} // namespace serial_sim_wait

// How often needle occurs in haystack.
size_t count_of(const std::string& haystack, const std::string& needle);

class SerialSimTest : public WindowTest {
  protected:
    static constexpr uint32_t seed = 42;

    static void SetUpTestSuite();
    static void TearDownTestSuite();
    // A device at rest, the fake clock installed, COM1 not open.
    void SetUp() override;
    void TearDown() override;

    // Waits until the console's last bytes have arrived at the device.
    static void wait_line_quiet();
    // Checks what the device received, once the console's last bytes are in.
    static void expect_received(const std::string& expected);
    // The reply text a fresh device gives to request.
    static std::string device_reply(const char* request);
};

// The texts of the request frames the device has received, in order.
std::vector<std::string> serial_sim_requests();
// A reply frame's body for serial_sim_send_raw: the text, "/" and its
// checksum, or a wrong checksum.
std::string reply_body(const std::string& text, bool good_checksum = true);

// The same with COM1 open as the connection's port and an empty log.
class SerialLinkTest : public SerialSimTest {
  protected:
    void SetUp() override;
    void TearDown() override;
};
