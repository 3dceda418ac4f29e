#include "serial_sim_fixture.h"

#include "base/dialog_template.h"
#include "base/state.h"
#include "codec/frame_checksum.h"
#include "pty_pair.h"
#include "serial/control_chars.h"
#include "serial/serial_port.h"
#include "sim/device_model.h"
#include "sim/serial_side.h"
#include "sim/sim_device.h"
#include "support/fake_clock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

namespace serial_sim_wait {
unsigned silences_taken = 0;
bool busy_while_waiting = false;
void (*on_wait)() = nullptr;
} // namespace serial_sim_wait

namespace {

using namespace serial_sim_wait;

// Input that is still on its way gets a moment to arrive before a silence
// that the device reported is taken as the reason for a quiet line.
void wait_for_device(WaitHandle handle, uint32_t timeout_ms) {
    busy_while_waiting = busy_while_waiting || busy_flag != 0;
    if (on_wait != nullptr) on_wait();
    int grace = 0;
    for (int waited = 0; waited < 10000; waited += 2) {
        pollfd p{int(handle), POLLIN, 0};
        if (poll(&p, 1, 2) > 0) return;
        if (serial_sim_silences() > silences_taken && (grace += 2) >= 100) {
            ++silences_taken;
            fake_clock::advance(timeout_ms);
            return;
        }
    }
    ADD_FAILURE() << "the device neither answered nor chose to stay silent";
    fake_clock::advance(timeout_ms);
}

} // namespace

size_t count_of(const std::string& haystack, const std::string& needle) {
    size_t n = 0;
    for (size_t p = haystack.find(needle); p != std::string::npos; p = haystack.find(needle, p + 1))
        ++n;
    return n;
}

void SerialSimTest::SetUpTestSuite() {
    test_com_prefix();
    SerialSideConfig config;
    config.com = 1;
    config.seed = seed;
    ASSERT_TRUE(serial_sim_start(config));
}

void SerialSimTest::TearDownTestSuite() {
    serial_sim_stop();
}

void SerialSimTest::SetUp() {
    WindowTest::SetUp();
    // Let the last bytes of an earlier test in this process arrive first.
    wait_line_quiet();
    sim_device_reset(seed);
    serial_sim_reset();
    silences_taken = 0;
    busy_while_waiting = false;
    on_wait = nullptr;
    fake_clock::install();
    headless::set_wait_hook(wait_for_device);
}

void SerialSimTest::TearDown() {
    fake_clock::uninstall();
    WindowTest::TearDown();
}

void SerialSimTest::wait_line_quiet() {
    for (size_t size = SIZE_MAX; size != serial_sim_received().size(); usleep(30000))
        size = serial_sim_received().size();
}

void SerialSimTest::expect_received(const std::string& expected) {
    for (int i = 0; i < 1000 && serial_sim_received().size() < expected.size(); ++i) usleep(2000);
    EXPECT_EQ(serial_sim_received(), expected);
}

std::string SerialSimTest::device_reply(const char* request) {
    DeviceModel fresh(seed);
    return fresh.handle(request);
}

std::vector<std::string> serial_sim_requests() {
    std::string bytes = serial_sim_received();
    std::vector<std::string> out;
    for (size_t start = bytes.find(char(stx)); start != std::string::npos;
         start = bytes.find(char(stx), start + 1)) {
        size_t end = bytes.find(char(etx), start);
        if (end == std::string::npos || end - start < 4) break;
        out.push_back(bytes.substr(start + 1, end - start - 4)); // without "/" and the digits
        start = end;
    }
    return out;
}

std::string reply_body(const std::string& text, bool good_checksum) {
    unsigned sum = (frame_checksum(text.data(), text.size()) + (good_checksum ? 0 : 1)) % 100;
    char digits[4];
    snprintf(digits, sizeof digits, "/%02u", sum);
    return text + digits;
}

void SerialLinkTest::SetUp() {
    SerialSimTest::SetUp();
    connection_kind = 1;
    ASSERT_TRUE(serial_open(1, 115200, 'N', 8, 1));
    ui_list_delete_all(idc_log);
}

void SerialLinkTest::TearDown() {
    serial_close(1);
    SerialSimTest::TearDown();
}
