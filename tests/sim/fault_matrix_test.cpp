// The fault matrix: every fault that the simulator's --help lists, injected
// on every link it acts on, with the console's result code and log lines for
// one request. Writes the matrix as Markdown (faults.md where it runs; with
// VARNOKE_WRITE_FAULTS set, docs/faults.md too: the update_faults target).
// A fault the simulator lists and the matrix cannot inject fails, and so
// does docs/faults.md without a row for each fault on each of its links.
#include "base/dialog_template.h"
#include "base/results.h"
#include "base/state.h"
#include "command/command.h"
#include "net/net_link.h"
#include "net/rmlx.h"
#include "net/tcp.h"
#include "net/udp.h"
#include "net_fixture.h"
#include "netns.h"
#include "serial_sim_fixture.h"
#include "sim/net_sides.h"
#include "sim/serial_side.h"
#include "sim/sim_device.h"
#include "support/child_process.h"
#include "support/fake_clock.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <poll.h>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// The fault options of --help: the options listed under a heading that
// speaks of faults.
std::vector<std::string> simulator_faults() {
    Child sim(VARNOKE_SIM_PATH, {"--help"});
    std::string help = sim.rest();
    EXPECT_EQ(sim.exit_code(), 0);
    std::vector<std::string> out;
    std::istringstream in(help);
    std::string line, heading;
    bool heading_open = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] != ' ') {
            heading = heading_open ? heading + " " + line : line;
            heading_open = line.back() != ':';
            continue;
        }
        if (heading.find("faults") == std::string::npos || line.rfind("  --", 0) != 0) continue;
        out.push_back(line.substr(2, line.find(' ', 2) - 2));
    }
    return out;
}

// Network waits: when nothing is in, the simulator's sides are let settle
// (all they were sent handled and answered); what is still not in is a
// silence, and the wait's whole time passes at once.
NetSides* settling = nullptr;
void network_wait(WaitHandle handle, uint32_t timeout_ms) {
    pollfd p{int(handle), POLLIN, 0};
    if (poll(&p, 1, 0) > 0) return;
    settling->settle();
    if (poll(&p, 1, 2) > 0) return;
    fake_clock::advance(timeout_ms == 0 ? 1 : timeout_ms == wait_forever ? 60000 : timeout_ms);
}

// One way to inject a fault: its setting as the option would give it, and
// what it does to the simulator.
struct Setting {
    Setting(std::string text_, std::function<void()> apply_, bool stop_repeats_ = false)
        : text(std::move(text_)), apply(std::move(apply_)), stop_repeats(stop_repeats_) {}
    std::string text; // "--stall 1"
    std::function<void()> apply;
    bool stop_repeats;              // the operator closes the window meanwhile
    unsigned count = 0;             // a counted fault: how often it may strike
    std::function<unsigned()> left; // and how often it has still to strike
};

enum class Side { device, serial, network };

struct Fault {
    std::string option;
    Side side;
    std::vector<Setting> settings;
};

class FaultMatrixTest : public SerialLinkTest {
  protected:
    NetSides net, behind_veth;
    std::thread veth_thread;
    NetSides* sides = nullptr; // the network side of the link under test
    uint32_t device = 0;

    void TearDown() override {
        rmlx_close();
        tcp_close();
        udp_close();
        net.stop();
        behind_veth.stop();
        if (veth_thread.joinable()) veth_thread.join();
        netns::leave_private();
        close_pending = 0;
        SerialLinkTest::TearDown();
    }

    std::vector<Fault> faults();
    std::string cell(int32_t kind, const Setting& setting);
};

std::vector<Fault> FaultMatrixTest::faults() {
    auto device_fault = [](std::function<void(DeviceFaults&)> set) {
        return [set] { sim_with_device([&](DeviceModel& d) { set(d.faults); }); };
    };
    std::vector<Fault> out = {
        {"--busy",
         Side::device,
         {{"--busy 1", device_fault([](DeviceFaults& f) { f.busy = 1; })},
          {"--busy 1000 (the operator closes the window)",
           device_fault([](DeviceFaults& f) { f.busy = 1000; }), true}}},
        {"--printer-offline",
         Side::device,
         {{"--printer-offline 1", device_fault([](DeviceFaults& f) { f.printer_offline = 1; })},
          {"--printer-offline 1000 (the operator closes the window)",
           device_fault([](DeviceFaults& f) { f.printer_offline = 1000; }), true}}},
        {"--error",
         Side::device,
         {{"--error 0x25", device_fault([](DeviceFaults& f) { f.error_code = 0x25; })},
          {"--error 0xFF", device_fault([](DeviceFaults& f) { f.error_code = 0xFF; })}}},
        {"--device-status",
         Side::device,
         {{"--device-status 0x80", device_fault([](DeviceFaults& f) { f.device_status = 0x80; })}}},
        {"--function-status",
         Side::device,
         {{"--function-status 0x24",
           device_fault([](DeviceFaults& f) { f.function_status = 0x24; })}}},
        {"--enq-other-byte",
         Side::serial,
         {{"--enq-other-byte 0x41 --enq-other 1",
           [] { serial_sim_set_faults({.enq_other = 1, .enq_other_byte = 0x41}); }}}},
        {"--net-reply",
         Side::network,
         {{"--net-reply 'hello'",
           [this] {
               NetFaults f;
               f.fixed_reply = "hello";
               sides->set_faults(f);
           }},
          {"--net-reply ''",
           [this] {
               NetFaults f;
               f.fixed_reply = "";
               sides->set_faults(f);
           }}}},
    };
    // The counted faults, from the simulator's own tables.
    for (const SerialFaultName& f : serial_fault_names) {
        bool value = f.count == &SerialFaults::noise || f.count == &SerialFaults::reply_length;
        std::vector<unsigned> counts = f.count == &SerialFaults::reply_length
                                           ? std::vector{60u, 3000u}
                                       : value ? std::vector{3u, 300u}
                                               : std::vector{1u, 1000u};
        Fault fault{f.option, Side::serial, {}};
        for (unsigned n : counts) {
            Setting setting{f.option + std::string(" ") + std::to_string(n), [f, n] {
                                SerialFaults s;
                                s.*f.count = n;
                                serial_sim_set_faults(s);
                            }};
            if (!value) {
                setting.count = n;
                setting.left = [f] { return serial_sim_faults().*f.count; };
            }
            fault.settings.push_back(setting);
        }
        out.push_back(fault);
    }
    for (const NetFaultName& f : net_fault_names) {
        Fault fault{f.option, Side::network, {}};
        for (unsigned n : {1u, 1000u}) {
            Setting setting{f.option + std::string(" ") + std::to_string(n), [this, f, n] {
                                NetFaults s;
                                s.*f.count = n;
                                sides->set_faults(s);
                            }};
            setting.count = n;
            setting.left = [this, f] {
                sides->settle();
                return sides->faults().*f.count;
            };
            fault.settings.push_back(setting);
        }
        out.push_back(fault);
    }
    return out;
}

// The lines, a block of up to three that repeats shown once with its
// number, and a long list cut in the middle.
std::string joined(const Lines& lines) {
    std::vector<std::string> shown;
    for (size_t i = 0; i < lines.size();) {
        size_t best = 1, times = 1;
        for (size_t block = 1; block <= 3 && i + block <= lines.size(); ++block) {
            size_t n = 1;
            while (i + (n + 1) * block <= lines.size() &&
                   std::equal(lines.begin() + ptrdiff_t(i), lines.begin() + ptrdiff_t(i + block),
                              lines.begin() + ptrdiff_t(i + n * block)))
                ++n;
            if (n > 1 && n * block > best * times) best = block, times = n;
        }
        std::string text;
        for (size_t k = i; k < i + best; ++k) {
            if (!text.empty()) text += "<br>";
            text += "`";
            for (char c : lines[k]) text += c == '|' ? std::string("\\|") : std::string(1, c);
            text += "`";
        }
        if (times > 1) text += " (" + std::to_string(times) + " times)";
        shown.push_back(text);
        i += best * times;
    }
    if (shown.size() > 8) {
        size_t dropped = shown.size() - 6;
        shown.resize(5);
        shown.push_back("... (" + std::to_string(dropped) + " more)");
    }
    std::string out;
    for (const std::string& s : shown) out += (out.empty() ? "" : "<br>") + s;
    return out.empty() ? "(none)" : out;
}

// The request "v" with the fault set: "| setting | result | lines |".
std::string FaultMatrixTest::cell(int32_t kind, const Setting& setting) {
    // A fresh device and link, so that no cell inherits from the one before.
    sim_device_reset(seed);
    if (kind == 1) {
        wait_line_quiet();
        serial_sim_reset();
        serial_sim_wait::silences_taken = 0;
    } else {
        sides->set_faults({});
        sides->settle();
        rmlx_close();
        tcp_close();
        udp_close();
        rmlx_seed_random(12345);
        memset(&connection_link, 0, sizeof connection_link);
        int opened = kind == kind_rmlx  ? rmlx_open(connection_link, device, RmlxOpening::no_query)
                     : kind == kind_tcp ? tcp_open(connection_link, device)
                                        : udp_open(connection_link, device);
        EXPECT_EQ(opened, result_ok) << setting.text;
    }
    ui_list_delete_all(idc_log);
    setting.apply();
    close_pending = setting.stop_repeats ? 1 : 0;
    connection_kind = kind;
    char data[200];
    int result = execute_command("v", data, sizeof data, 0);
    close_pending = 0;
    Lines lines = headless::log_lines();
    if (result != result_ok) {
        EXPECT_FALSE(lines.empty()) << setting.text << ": a failure logs why";
    }
    std::string outcome = result_text(result);
    if (result == result_ok) {
        char status[48];
        snprintf(status, sizeof status, "result_ok, status %02X-%02X-%02X", unsigned(error_code),
                 unsigned(device_status), unsigned(function_status));
        outcome = status;
    } else {
        outcome = outcome.substr(0, outcome.find(' ')) + " (" + std::to_string(result) + ")";
    }
    std::string struck = "";
    // The simulator may still be answering the console's last byte.
    if (kind == 1) wait_line_quiet();
    if (setting.left) {
        unsigned times = setting.count - setting.left();
        struck = times == 0 ? "never (no such occasion)" : std::to_string(times);
    }
    sim_with_device([](DeviceModel& d) { d.faults = {}; });
    serial_sim_set_faults({});
    return "| `" + setting.text + "` | " + struck + " | " + outcome + " | " + joined(lines) +
           " |\n";
}

TEST_F(FaultMatrixTest, EveryFaultOnEveryLink) {
    std::string why = netns::enter_private(false);
    if (!why.empty()) GTEST_SKIP() << "no private network namespace (" << why << ")";

    std::vector<std::string> listed = simulator_faults();
    ASSERT_GT(listed.size(), 30u) << "the fault list of --help was not found";
    std::vector<Fault> known = faults();
    std::map<std::string, const Fault*> by_option;
    for (const Fault& f : known) by_option[f.option] = &f;
    for (const std::string& option : listed)
        EXPECT_EQ(by_option.count(option), 1u) << option << " is not in the fault matrix";

    // The device faults act on the one device every side serves.
    device = netns::ipv4(127, 0, 0, 2);
    ASSERT_EQ(serve_every_side(net, behind_veth, veth_thread, device,
                               [](const char* side, std::string_view request) {
                                   return sim_request(side, request);
                               }),
              "");

    struct LinkRow {
        const char* title;
        int32_t kind;
        Side side;
        NetSides* sides;
        uint32_t device;
    };
    const LinkRow link_rows[] = {
        {"Serial (COM1, a pseudo-terminal)", 1, Side::serial, nullptr, 0},
        {"RMLX", kind_rmlx, Side::network, &net, netns::ipv4(127, 0, 0, 2)},
        {"TCP", kind_tcp, Side::network, &net, netns::ipv4(127, 0, 0, 2)},
        {"Plain UDP", kind_udp, Side::network, &behind_veth, netns::ipv4(192, 0, 2, 2)},
    };
    std::string doc =
        "# The fault matrix\n\n"
        "What the console does with every fault that the device simulator can inject\n"
        "(`varnoke-sim --help`), on every link the fault acts on: the result of one\n"
        "request `v` through `execute_command` and the lines it logged (frame lines\n"
        "off). Device faults act on every link; serial faults on the serial side,\n"
        "network faults on the three network sides (on a side without such an\n"
        "occasion a fault never strikes: \"Struck\" says how often it did). Each\n"
        "counted fault is shown striking once and striking every time. The result\n"
        "of an answered request gives the reply's status bytes. Time-outs pass at\n"
        "once on the tests' fake tick.\n\n"
        "Generated by the test `FaultMatrixTest.EveryFaultOnEveryLink`\n"
        "(`cmake --build build/default --target update_faults`); the test fails when\n"
        "the simulator lists a fault that the matrix cannot inject, or when this file\n"
        "is not what the console does.\n";
    for (const LinkRow& row : link_rows) {
        sides = settling = row.sides;
        device = row.device;
        // The serial waits jump over the silences the simulator chose.
        if (row.kind != 1) headless::set_wait_hook(network_wait);
        doc += std::string("\n## ") + row.title +
               "\n\n| Fault | Struck | Result | Log lines |\n| --- | --- | --- | --- |\n";
        auto started = std::chrono::steady_clock::now();
        for (const Fault& f : known) {
            if (f.side != Side::device && f.side != row.side) continue;
            for (const Setting& s : f.settings) doc += cell(row.kind, s);
        }
        printf("%s: %.1f s\n", row.title,
               std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    }

    std::ofstream("faults.md") << doc; // beside the test, in the build tree
    if (getenv("VARNOKE_WRITE_FAULTS") != nullptr)
        std::ofstream(VARNOKE_SOURCE_DIR "/docs/faults.md") << doc;

    // The committed matrix is this one: what the console does under a fault
    // has not changed unseen.
    EXPECT_EQ(read_file(VARNOKE_SOURCE_DIR "/docs/faults.md"), doc)
        << "docs/faults.md is not what the console does now; review the change and run "
           "cmake --build build/default --target update_faults";
}

} // namespace
