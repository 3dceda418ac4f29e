// The device check against the simulator: with no fault every check passes
// on each link; with each device-side fault the simulator can inject,
// striking every time, exactly the expected checks fail. Writes
// docs/device-check.md (the catalogue and this matrix) where it runs, and
// with VARNOKE_WRITE_DEVICE_CHECK set into the source tree too (the
// update_device_check target); fails when the committed file differs.
#include "base/state.h"
#include "check/device_check.h"
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

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <poll.h>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Ids = std::set<std::string>;

// Network waits: the simulator's sides let settle, then a silence passes
// at once on the fake tick. On TCP the pieces of a reply come 30 ms of
// real time apart, so a silence there is one of 60 ms.
NetSides* settling = nullptr;
int real_quiet_ms = 2;
void network_wait(WaitHandle handle, uint32_t timeout_ms) {
    pollfd p{int(handle), POLLIN, 0};
    if (poll(&p, 1, 0) > 0) return;
    settling->settle();
    if (poll(&p, 1, real_quiet_ms) > 0) return;
    fake_clock::advance(timeout_ms == 0 ? 1 : timeout_ms);
}

// Serial waits: a silence the simulator chose passes at once; a quiet line
// (a check watching for bytes that should not come) after 200 ms of real
// quiet.
unsigned silences_taken = 0;
void serial_wait(WaitHandle handle, uint32_t timeout_ms) {
    for (int waited = 0; waited < 200; waited += 2) {
        pollfd p{int(handle), POLLIN, 0};
        if (poll(&p, 1, 2) > 0) return;
        if (serial_sim_silences() > silences_taken && waited >= 20) {
            ++silences_taken;
            break;
        }
    }
    fake_clock::advance(timeout_ms);
}

std::vector<std::string> failing;
void collect(const CheckOutcome& o) {
    if (o.verdict == CheckVerdict::fail)
        failing.push_back(std::string(o.info->id) + ": " + o.evidence);
}

// The requests the network sides' device was asked, for the audit.
std::mutex asked_mutex;
std::set<std::string> asked;

struct MatrixRow {
    CheckLink link;
    std::string fault; // as the option gives it
    std::function<void(NetSides*)> apply;
    Ids expected; // the checks that fail
};

DeviceFaults device_faults_of(const std::string& fault) {
    DeviceFaults f;
    if (fault == "--busy 1000") f.busy = 1000;
    if (fault == "--printer-offline 1000") f.printer_offline = 1000;
    if (fault == "--error 0x25") f.error_code = 0x25;
    if (fault == "--device-status 0x80") f.device_status = 0x80;
    if (fault == "--function-status 0x24") f.function_status = 0x24;
    return f;
}

std::vector<MatrixRow> matrix() {
    std::vector<MatrixRow> rows;
    const char* device_faults[] = {
        "(none)",       "--busy 1000",          "--printer-offline 1000",
        "--error 0x25", "--device-status 0x80", "--function-status 0x24"};
    // The simulator takes the console's NAK after a reply as its receipt and
    // sends nothing again: the strict rmlx.nak.resend fails on every RMLX row
    // where it runs.
    const std::string rmlx_nak = "rmlx.nak.resend";
    for (CheckLink link : {CheckLink::serial, CheckLink::rmlx, CheckLink::tcp, CheckLink::udp})
        for (const char* fault : device_faults) {
            Ids expected;
            if (link == CheckLink::rmlx) expected = {rmlx_nak};
            std::string text = fault;
            rows.push_back({link, text,
                            [text](NetSides*) {
                                DeviceFaults f = device_faults_of(text);
                                sim_with_device([&](DeviceModel& d) { d.faults = f; });
                            },
                            expected});
        }
    auto serial = [&](const char* option, unsigned n, Ids expected, uint8_t enq_byte = 0) {
        std::string text = std::string(option) + " " + std::to_string(n);
        if (enq_byte != 0) text = "--enq-other-byte 0x41 " + text;
        rows.push_back({CheckLink::serial, text,
                        [option, n, enq_byte](NetSides*) {
                            SerialFaults f;
                            for (const SerialFaultName& s : serial_fault_names)
                                if (std::string(s.option) == option) f.*s.count = n;
                            if (enq_byte != 0) f.enq_other_byte = enq_byte;
                            serial_sim_set_faults(f);
                        },
                        expected});
    };
    serial("--enq-other", 1000, {"serial.enq"});
    serial("--enq-other", 1000, {"serial.enq"}, 0x41);
    serial("--enq-silent", 1000, {"serial.enq"});
    serial("--enq-can", 1000, {"serial.enq"});
    serial("--frame-nak", 1000, {"serial.frame.ack"});
    serial("--frame-silent", 1000, {"serial.frame.ack"});
    serial("--frame-can", 1000, {"serial.frame.ack"});
    serial("--reply-silent", 1000, {"serial.reply.frame", "serial.status.query"});
    serial("--bad-checksum", 1000, {"serial.reply.frame", "serial.status.query"});
    serial("--stall", 1000, {"serial.reply.frame", "serial.status.query"});
    serial("--resend-differs", 1000, {"serial.nak.resend"});
    serial("--noise", 3, {"serial.reply.clean"});
    serial("--reply-length", 60, {});
    // The console keeps 2047 bytes and finds no checksum at their end.
    serial("--reply-length", 3000,
           {"serial.reply.frame", "serial.reply.size", "serial.status.query"});

    auto net = [&](CheckLink link, const char* option, Ids expected) {
        bool reply = std::string(option) == "--net-reply";
        std::string text = std::string(option) + (reply ? " hello" : " 1000");
        // Where a reply comes back.
        bool replied = !expected.count("rmlx.sync") && !expected.count("rmlx.reply");
        if (link == CheckLink::rmlx && replied) expected.insert(rmlx_nak);
        rows.push_back({link, text,
                        [option](NetSides* sides) {
                            NetFaults f;
                            for (const NetFaultName& s : net_fault_names)
                                if (std::string(s.option) == option) f.*s.count = 1000;
                            if (std::string(option) == "--net-reply") f.fixed_reply = "hello";
                            sides->set_faults(f);
                        },
                        expected});
    };
    const CheckLink rmlx = CheckLink::rmlx, tcp = CheckLink::tcp, udp = CheckLink::udp;
    net(rmlx, "--net-silent", {"rmlx.query", "rmlx.sync"});
    net(rmlx, "--net-ignore-sync", {"rmlx.sync"});
    net(rmlx, "--net-ignore-request", {"rmlx.reply", "rmlx.status.query"});
    net(rmlx, "--net-rst", {"rmlx.reply", "rmlx.status.query"});
    net(rmlx, "--net-nak", {"rmlx.reply", "rmlx.status.query"});
    net(rmlx, "--net-bad-data", {"rmlx.reply", "rmlx.status.query"});
    net(rmlx, "--net-late", {});
    for (const char* f : {"--net-foreign", "--net-bad-header", "--net-wrong-length",
                          "--net-wrong-id", "--net-too-short", "--net-too-long"})
        net(rmlx, f, {"rmlx.frames"});
    net(rmlx, "--net-resend-differs", {"rmlx.repeat"});
    net(rmlx, "--net-act-fsn", {"rmlx.query"});
    net(rmlx, "--net-reply", {"rmlx.reply.status", "rmlx.status.query"});

    net(tcp, "--net-silent", {"tcp.reply", "tcp.status.query"});
    net(tcp, "--net-ignore-request", {"tcp.reply", "tcp.status.query"});
    net(tcp, "--net-hang-up", {"tcp.reply", "tcp.status.query"});
    net(tcp, "--net-pieces", {});
    net(tcp, "--net-reply", {"tcp.reply.status", "tcp.status.query"});

    net(udp, "--net-silent", {"udp.enq"});
    net(udp, "--net-ignore-sync", {"udp.enq"});
    net(udp, "--net-enq-other", {"udp.enq"});
    net(udp, "--net-ignore-request", {"udp.reply", "udp.status.query"});
    net(udp, "--net-rst", {"udp.reply", "udp.status.query"});
    net(udp, "--net-nak", {"udp.reply", "udp.status.query"});
    net(udp, "--net-bad-data", {"udp.reply", "udp.status.query"});
    for (const char* f : {"--net-foreign", "--net-too-short", "--net-too-long", "--net-stray-byte"})
        net(udp, f, {"udp.datagrams"});
    net(udp, "--net-stray-ack", {});
    net(udp, "--net-resend-differs", {"udp.nak.resend"});
    net(udp, "--net-reply", {"udp.reply.status", "udp.status.query"});
    return rows;
}

class DeviceCheckTest : public SerialLinkTest {
  protected:
    NetSides net, behind_veth;
    std::thread veth_thread;

    void TearDown() override {
        net.stop();
        behind_veth.stop();
        if (veth_thread.joinable()) veth_thread.join();
        netns::leave_private();
        SerialLinkTest::TearDown();
    }
};

const char measured_heading[] = "\n## How long a check takes";

std::string joined(const Ids& ids) {
    std::string out;
    for (const std::string& id : ids) out += (out.empty() ? "`" : ", `") + id + "`";
    return out.empty() ? "(none)" : out;
}

std::string document(const std::vector<MatrixRow>& rows) {
    std::string doc =
        "# The device check\n\n"
        "`varnoke-cli LINK --check` runs these checks of a device's side of the link,\n"
        "each named by its id. The checks send only the requests \"v\" and \"?\" and\n"
        "the protocol's own bytes, never a request that changes the device's fiscal\n"
        "state. A strict check tests a rule that the console itself tolerates; it\n"
        "runs with `--strict` or when `--check-only` names it. A check whose\n"
        "exchange needs an earlier step that failed (the enquiry, the\n"
        "synchronisation, a good reply) is skipped, and the check of that step\n"
        "fails.\n\n"
        "Generated by the test `DeviceCheckTest.FaultMatrix`\n"
        "(`cmake --build build/default --target update_device_check`); the test fails\n"
        "when the check does not give the matrix below or when this file differs\n"
        "(but for its last part, the timings measured by hand).\n";
    for (CheckLink link : {CheckLink::serial, CheckLink::rmlx, CheckLink::tcp, CheckLink::udp}) {
        doc +=
            std::string("\n## ") + check_link_name(link) +
            "\n\n| Id | Strict | Rule | Sends | Passes when |\n| --- | --- | --- | --- | --- |\n";
        for (const CheckInfo& c : check_catalogue) {
            if (c.link != link) continue;
            char sends[200];
            check_sends_text(c.sends, sends, sizeof sends);
            doc += std::string("| `") + c.id + "` | " + (c.strict ? "strict" : "") + " | " +
                   c.rule + " | " + sends + " | " + c.passes + " |\n";
        }
    }
    doc += "\n## The fault matrix\n\n"
           "Every device-side fault of `varnoke-sim --help` that can strike on a link, set\n"
           "to strike every time, and the checks that fail under it (`--strict`: all\n"
           "checks run). The simulator takes the console's NAK after an RMLX reply as\n"
           "the receipt it is and sends nothing again, so the strict `rmlx.nak.resend`\n"
           "fails wherever it runs. Left out: `--net-late` on TCP, a reply held back\n"
           "5.5 s of real time, which the test's fake tick does not wait for.\n\n"
           "| Link | Fault | Failing checks |\n| --- | --- | --- |\n";
    for (const MatrixRow& r : rows)
        doc += std::string("| ") + check_link_name(r.link) + " | `" + r.fault + "` | " +
               joined(r.expected) + " |\n";
    return doc;
}

TEST_F(DeviceCheckTest, FaultMatrix) {
    std::string why = netns::enter_private(false);
    if (!why.empty()) GTEST_SKIP() << "no private network namespace (" << why << ")";
    uint32_t device = netns::ipv4(127, 0, 0, 2);
    ASSERT_EQ(serve_every_side(net, behind_veth, veth_thread, device,
                               [](const char* side, std::string_view request) {
                                   {
                                       std::lock_guard<std::mutex> lock(asked_mutex);
                                       asked.insert(std::string(request));
                                   }
                                   return sim_request(side, request);
                               }),
              "");

    std::vector<MatrixRow> rows = matrix();
    for (const MatrixRow& row : rows) {
        sim_device_reset(seed);
        CheckTarget target{row.link};
        NetSides* sides = nullptr;
        if (row.link == CheckLink::serial) {
            wait_line_quiet();
            serial_sim_reset();
            silences_taken = 0;
            target.port = 1;
            headless::set_wait_hook(serial_wait);
        } else {
            sides = settling = row.link == CheckLink::udp ? &behind_veth : &net;
            sides->set_faults({});
            sides->settle();
            target.address = row.link == CheckLink::udp ? netns::ipv4(192, 0, 2, 2) : device;
            real_quiet_ms = row.link == CheckLink::tcp ? 60 : 2;
            headless::set_wait_hook(network_wait);
        }
        row.apply(sides);
        failing.clear();
        CheckSelection all;
        all.strict = true;
        char no_link[200];
        ASSERT_EQ(device_check_run(target, all, collect, no_link, sizeof no_link), check_run_done)
            << no_link;
        Ids failed;
        for (const std::string& f : failing) failed.insert(f.substr(0, f.find(':')));
        std::string details;
        for (const std::string& f : failing) details += "\n  " + f;
        EXPECT_EQ(failed, row.expected)
            << check_link_name(row.link) << " " << row.fault << " failed:" << details;
        if (row.link == CheckLink::serial) {
            wait_line_quiet();
            for (const std::string& r : serial_sim_requests()) asked.insert(r);
            serial_sim_set_faults({});
        }
        sim_with_device([](DeviceModel& d) { d.faults = {}; });
    }
    // Nothing but "v" and "?" reached the device: no check changes its
    // fiscal state.
    EXPECT_EQ(asked, (std::set<std::string>{"?", "v"}));

    // Every fault of --help is in the matrix, or said to be left out.
    Child sim(VARNOKE_SIM_PATH, {"--help"});
    std::istringstream help(sim.rest());
    std::set<std::string> in_matrix;
    for (const MatrixRow& r : rows) {
        std::string f = r.fault.rfind("--enq-other-byte", 0) == 0 ? "--enq-other-byte" : r.fault;
        in_matrix.insert(f.substr(0, f.find(' ')));
    }
    std::string line;
    bool faults = false;
    while (std::getline(help, line)) {
        if (!line.empty() && line[0] != ' ') faults = line.find("faults") != std::string::npos;
        if (!faults || line.rfind("  --", 0) != 0) continue;
        std::string option = line.substr(2, line.find(' ', 2) - 2);
        EXPECT_EQ(in_matrix.count(option), 1u) << option << " is not in the device check's matrix";
    }

    // The measured timings at the file's end are written by hand and kept.
    std::string doc = document(rows);
    std::string committed = read_file(VARNOKE_SOURCE_DIR "/docs/device-check.md");
    size_t measured = committed.find(measured_heading);
    std::string kept = measured == std::string::npos ? "" : committed.substr(measured);
    std::ofstream("device-check.md") << doc << kept;
    if (getenv("VARNOKE_WRITE_DEVICE_CHECK") != nullptr)
        std::ofstream(VARNOKE_SOURCE_DIR "/docs/device-check.md") << doc << kept;
    EXPECT_EQ(committed.substr(0, measured), doc)
        << "docs/device-check.md is not the catalogue and matrix of now; run cmake --build "
           "build/default --target update_device_check";
}

} // namespace

namespace {

// Which checks --check-only and --strict choose, and what a reply text's
// status layout must look like.
TEST(DeviceCheckSelection, PrefixesStrictAndLayout) {
    struct Case {
        CheckLink link;
        bool strict;
        const char* only;
        Ids chosen;
    };
    const Case cases[] = {
        {CheckLink::tcp,
         false,
         nullptr,
         {"tcp.reply", "tcp.reply.quiet", "tcp.reply.status", "tcp.reply.size",
          "tcp.status.query"}},
        {CheckLink::rmlx, false, "rmlx.sync", {"rmlx.sync"}},
        {CheckLink::rmlx, false, "rmlx.nak", {"rmlx.nak.resend"}}, // named: strict runs
        {CheckLink::serial,
         false,
         "serial.reply.s,serial.enq",
         {"serial.reply.status", "serial.reply.size", "serial.enq"}},
        {CheckLink::udp, false, "serial.", {}}, // another link's
    };
    for (const Case& c : cases) {
        CheckSelection s;
        s.strict = c.strict;
        s.only = c.only;
        Ids chosen;
        for (const CheckInfo& info : check_catalogue)
            if (check_selected(info, c.link, s)) chosen.insert(info.id);
        EXPECT_EQ(chosen, c.chosen) << (c.only != nullptr ? c.only : "(all)");
    }
    // Without --check-only the strict checks wait for --strict.
    CheckSelection strict;
    strict.strict = true;
    size_t serial_all = 0, serial_default = 0;
    for (const CheckInfo& info : check_catalogue) {
        serial_all += check_selected(info, CheckLink::serial, strict);
        serial_default += check_selected(info, CheckLink::serial, {});
    }
    EXPECT_EQ(serial_all, serial_default + 1);

    char bad[32];
    EXPECT_TRUE(check_only_valid("udp.,udp.enq", CheckLink::udp, bad, sizeof bad));
    EXPECT_FALSE(check_only_valid("udp.enq,rmlx.sync", CheckLink::udp, bad, sizeof bad));
    EXPECT_STREQ(bad, "rmlx.sync");
    EXPECT_FALSE(check_only_valid(",", CheckLink::udp, bad, sizeof bad));

    const std::pair<const char*, bool> layouts[] = {
        {"00/00/00", true},  {"0E/01/00/ESD-SIM", true}, {"ab/CD/ef", true},
        {"00/00/0", false},  {"00-00-00", false},        {"00/00/00X", false},
        {"0G/00/00", false}, {"hello", false},           {"", false},
    };
    for (const auto& [text, ok] : layouts)
        EXPECT_EQ(reply_status_layout_ok(text, strlen(text)), ok) << text;

    // Each check id is unique and begins with its link's name.
    Ids ids;
    for (const CheckInfo& info : check_catalogue) {
        EXPECT_TRUE(ids.insert(info.id).second) << info.id;
        EXPECT_EQ(std::string(info.id).rfind(std::string(check_link_name(info.link)) + ".", 0), 0u)
            << info.id;
    }
}

} // namespace
