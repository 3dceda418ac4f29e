// Soak: many requests on each link (serial on a pseudo-terminal, RMLX, TCP
// and plain UDP in private network namespaces) against the simulator, each
// with a fault drawn at random, seeded, from the simulator's whole fault list
// (its --help): the serial faults, the network faults and the device faults.
// Every request goes through execute_command, as a click sends it. Reported
// per link: requests, answers, each failure result by count with the last
// log line of one such request, failures that logged nothing, the longest
// request against its protocol's bound, resident memory before and after,
// and every request that outlived its bound.
//
// Time: the console waits on the fake tick of the tests. A wait that the
// device answers returns as soon as the bytes are in; a wait on a silence
// lets its whole time pass at once (serial: when the simulator has said it
// chose the silence; network: when nothing came within a short real slice).
// A request's time is therefore the sum of the time-outs it took, which the
// protocol bounds: a request longer than its bound waited more often than
// its protocol allows. A watchdog on the real clock catches a request that
// loops without waiting.
//
// Usage: soak [requests per link, default 10000] [--seed N] [--links LIST]
//        [--capture]
//  LIST: some of serial,rmlx,tcp,udp; --capture: the wire recorder on (its
//  memory grows to its 16 MB bound, so the memory check then means less).
#include "app/dialog.h"
#include "base/dialog_template.h"
#include "base/log.h"
#include "base/results.h"
#include "base/state.h"
#include "capture/wire_capture.h"
#include "command/command.h"
#include "net/net_link.h"
#include "net/rmlx.h"
#include "net/tcp.h"
#include "net/udp.h"
#include "net_fixture.h"
#include "netns.h"
#include "serial/serial_port.h"
#include "sim/net_sides.h"
#include "sim/serial_side.h"
#include "sim/sim_device.h"
#include "support/fake_clock.h"
#include "support/headless.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

uint64_t rng_state = 1;
unsigned draw(unsigned n) {
    return unsigned(sim_random(rng_state) % n);
}

long resident_kb() {
    long pages = 0, resident = 0;
    FILE* f = fopen("/proc/self/statm", "r");
    if (f == nullptr) return -1;
    if (fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = -1;
    fclose(f);
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The longest a request's time-outs can add up to, per transaction, in ms.
// Serial: 3 enquiries of 3000, 5 request frames of 2000, a missing STX of
// 2000 and 3 reply frames that stall (500 each).
constexpr uint32_t serial_bound = 3 * 3000 + 5 * 2000 + 2000 + 3 * 500;
// RMLX: 6 reply waits of 1000 and the synchronisations (8 passes of 400):
// the first and one after each of the 10 RSTs a request takes.
constexpr uint32_t rmlx_bound = 6 * 1000 + (1 + 10) * 8 * 400;
// TCP: one reply wait of 5000 and one gap of 10 after the last piece.
constexpr uint32_t tcp_bound = 5000 + 10;
// Plain UDP: 6 reply waits of 5000, a synchronisation (8 passes of 400)
// first, after each time-out (the synchronisation lasts 1000) and after each
// of the 10 resynchronisation requests.
constexpr uint32_t udp_bound = 6 * 5000 + (1 + 5 + 10) * 8 * 400;

// What one request draws, besides its fault.
const char* const fixed_requests[] = {
    "v", "?", "{/0", "@/RECEIPT 0001 COFFEE 3.20", "}", "$/1/8/2/1/FF/", "&/QUJD", "?/1"};
std::string draw_request(bool serial) {
    unsigned pick = draw(12);
    if (pick < std::size(fixed_requests)) return fixed_requests[pick];
    if (pick == 8) return "@/" + std::string(600, 'L'); // longer than an RMLX frame
    if (pick == 9) return "";
    // Printable noise; on the serial link never a Z-report request, whose
    // boxes would wait for an operator.
    std::string text(1 + draw(40), ' ');
    for (char& c : text) c = char(0x20 + draw(0x5F));
    if (serial && (text[0] == 'A' || text[0] == 'Q' || text[0] == 'x')) text[0] = 'v';
    return text;
}

// A device fault for the next request; the number of transactions it may
// take (the busy repeats).
unsigned draw_device_fault(std::string& name) {
    unsigned attempts = 1;
    sim_with_device([&](DeviceModel& d) {
        d.faults = {};
        switch (draw(5)) {
        case 0:
            d.faults.busy = 1 + draw(3);
            attempts += d.faults.busy;
            name = "--busy";
            break;
        case 1:
            d.faults.printer_offline = 1 + draw(3);
            attempts += d.faults.printer_offline;
            name = "--printer-offline";
            break;
        case 2:
            // Not BUSY nor PRINTEROFFLINE for good: the console repeats those
            // until the operator closes it (--busy and --printer-offline
            // count them).
            do d.faults.error_code = uint8_t(1 + draw(255));
            while (d.faults.error_code == device_busy ||
                   d.faults.error_code == device_printer_offline);
            name = "--error";
            break;
        case 3:
            d.faults.device_status = uint8_t(draw(256));
            name = "--device-status";
            break;
        default:
            d.faults.function_status = uint8_t(draw(256));
            name = "--function-status";
            break;
        }
    });
    return attempts;
}

void clear_device_faults() {
    sim_with_device([](DeviceModel& d) { d.faults = {}; });
}

// The counts each serial fault of --help is drawn with (from 1 to this),
// in the order of serial_fault_names: --enq-other, --enq-silent, --enq-can,
// --frame-nak, --frame-silent, --frame-can, --reply-silent, --bad-checksum,
// --stall, --resend-differs, --noise, --reply-length.
constexpr unsigned serial_fault_max[] = {3, 3, 1, 5, 5, 1, 1, 3, 3, 3, 40, 2100};
static_assert(std::size(serial_fault_max) == std::size(serial_fault_names));

// Serial waits: the fake tick jumps only over a silence the simulator chose.
unsigned silences_taken = 0;
unsigned unexplained_waits = 0;
void serial_wait(WaitHandle handle, uint32_t timeout_ms) {
    int quiet = 0;
    for (int waited = 0; waited < 10000; ++waited) {
        pollfd p{int(handle), POLLIN, 0};
        if (poll(&p, 1, 1) > 0) return;
        if (serial_sim_silences() > silences_taken && ++quiet >= 5) {
            ++silences_taken;
            fake_clock::advance(timeout_ms);
            return;
        }
    }
    ++unexplained_waits; // neither an answer nor a silence in 10 s
    fake_clock::advance(timeout_ms);
}

// One link under the soak.
struct Link {
    const char* name;
    int32_t kind;
    uint32_t bound;
    std::function<bool()> open;
    // Sets the faults of the next request; returns the transactions it may
    // take, and the fault's name.
    std::function<unsigned(std::string&)> inject;
    std::function<void()> between; // after each request
    std::function<void()> reopen;  // after a failure that leaves the link closed
};

struct Tally {
    long requests = 0, answered = 0, device_errors = 0, unlogged = 0, over_bound = 0, reopened = 0;
    std::map<int, long> failures;
    std::map<int, std::string> failure_line;
    std::map<std::string, long> faults;
    uint32_t longest = 0;
    unsigned longest_attempts = 1;
    std::string longest_request;
    long rss_before = 0, rss_after = 0;
};

std::atomic<long> request_started_ms{-1};
std::atomic<const char*> running_link{""};
char running_what[160]; // the fault and request of the running request

long now_ms() {
    return long(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
            .count());
}

// A request that runs for a minute of real time is a hang.
void watchdog() {
    for (;;) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        long started = request_started_ms;
        if (started >= 0 && now_ms() - started > 60000) {
            fprintf(stderr, "HANG: a request on %s (%s) ran for more than 60 s of real time\n",
                    running_link.load(), running_what);
            abort();
        }
    }
}

void run_request(Link& link, Tally& t, bool warm_up) {
    std::string request = draw_request(link.kind <= kind_last_com);
    std::string fault = "none";
    unsigned attempts = warm_up ? 1 : link.inject(fault);
    static char data[1000];
    const size_t capacities[] = {1, 20, 200, sizeof data};
    size_t capacity = capacities[draw(4)];
    int details_flag = int(draw(2));
    int before = ui_list_count(idc_log);
    uint32_t t0 = fake_clock::now();
    snprintf(running_what, sizeof running_what, "%s on \"%.40s\"", fault.c_str(), request.c_str());
    request_started_ms = now_ms();
    int result = execute_command(request.c_str(), data, capacity, details_flag);
    request_started_ms = -1;
    uint32_t took = fake_clock::now() - t0;
    clear_device_faults();
    link.between();
    if (warm_up) return;

    ++t.requests;
    ++t.faults[fault];
    if (took > t.longest) {
        t.longest = took;
        t.longest_attempts = attempts;
        t.longest_request = fault + " on \"" + request.substr(0, 20) + "\"";
    }
    if (took > link.bound * attempts) {
        ++t.over_bound;
        printf("  over the bound: %u ms for \"%s\" with %s (bound %u ms)\n", took,
               request.substr(0, 30).c_str(), fault.c_str(), link.bound * attempts);
    }
    if (result == result_ok) {
        ++t.answered;
        if (error_code != 0) ++t.device_errors;
    } else {
        ++t.failures[result];
        std::vector<std::string> lines = headless::log_lines();
        if (int(lines.size()) <= before)
            ++t.unlogged;
        else
            t.failure_line[result] = lines.back();
        if (result == net_socket_failure && link.reopen) {
            link.reopen();
            ++t.reopened;
        }
    }
    // The record of the session stays small: the soak is about the links.
    if (ui_list_count(idc_log) > 500) log_clear();
}

void report(const Link& link, const Tally& t) {
    printf("%s: %ld requests, %ld answered (%ld of them with a device error), %ld failed\n",
           link.name, t.requests, t.answered, t.device_errors, t.requests - t.answered);
    for (auto& [code, count] : t.failures)
        printf("  %6ld  %s; last line: \"%s\"\n", count, result_text(code),
               t.failure_line.count(code) != 0 ? t.failure_line.at(code).c_str() : "(none)");
    printf("  failures that logged nothing: %ld; link reopened after a socket failure: %ld\n",
           t.unlogged, t.reopened);
    printf("  waits with neither an answer nor a silence: %u\n", unexplained_waits);
    printf("  longest request: %u ms of time-outs (%s; bound %u ms x %u transaction%s)\n",
           t.longest, t.longest_request.c_str(), link.bound, t.longest_attempts,
           t.longest_attempts == 1 ? "" : "s");
    printf("  requests over their bound (hangs): %ld\n", t.over_bound);
    printf("  resident memory: %ld KB before, %ld KB after (%+ld KB)\n", t.rss_before, t.rss_after,
           t.rss_after - t.rss_before);
    printf("  faults drawn:");
    for (auto& [name, count] : t.faults) printf(" %s %ld", name.c_str(), count);
    printf("\n");
    fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    long requests = 10000;
    std::string wanted = "serial,rmlx,tcp,udp";
    bool capture = false;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--seed") == 0 && i + 1 < argc)
            rng_state = strtoull(argv[++i], nullptr, 0);
        else if (strcmp(argv[i], "--links") == 0 && i + 1 < argc)
            wanted = argv[++i];
        else if (strcmp(argv[i], "--capture") == 0)
            capture = true;
        else if (atol(argv[i]) > 0)
            requests = atol(argv[i]);
        else {
            fprintf(stderr, "usage: soak [requests per link] [--seed N] [--links serial,rmlx,tcp,"
                            "udp] [--capture]\n");
            return 2;
        }
    }
    printf("soak: %ld requests per link, seed %llu, wire capture %s\n", requests,
           (unsigned long long)rng_state, capture ? "on" : "off");
    wire_capture_enable(capture);

    // Namespaces belong to threads: enter one while this is the only thread.
    std::string why = netns::enter_private(false);
    if (!why.empty() && wanted != "serial") {
        fprintf(stderr, "soak: no private network namespace (%s); only --links serial runs here\n",
                why.c_str());
        return 1;
    }
    char prefix[] = "/tmp/varnoke-soak-XXXXXX";
    if (mkdtemp(prefix) == nullptr) return 1;
    setenv("VARNOKE_PREFIX", prefix, 1);

    headless::create(dialog_proc);
    sim_device_reset(1);
    std::thread(watchdog).detach();

    const uint32_t device = netns::ipv4(127, 0, 0, 2);
    const uint32_t udp_local = netns::ipv4(192, 0, 2, 1), udp_device = netns::ipv4(192, 0, 2, 2);
    auto shared = [](const char* side, std::string_view request) {
        return sim_request(side, request);
    };
    NetSides net, behind_veth;
    std::thread veth_thread;
    bool net_started = false, veth_started = false;

    auto net_fault = [&](NetSides& sides, std::string& name) {
        NetFaults f;
        unsigned pick = draw(std::size(net_fault_names) + 2);
        if (pick < std::size(net_fault_names)) {
            f.*net_fault_names[pick].count = 1 + draw(8); // past the attempts too
            name = net_fault_names[pick].option;
            sides.set_faults(f);
            return 1u;
        }
        sides.set_faults(f);
        if (pick == std::size(net_fault_names)) {
            // --net-reply: any text as the reply, the short and the odd too.
            std::string text(draw(60), ' ');
            for (char& c : text) c = char(0x20 + draw(0x5F));
            f.fixed_reply = text;
            sides.set_faults(f);
            name = "--net-reply";
            return 1u;
        }
        return draw_device_fault(name);
    };
    auto open_net = [&]() {
        if (net_started) return true;
        NetSidesConfig config;
        config.rmlx_devices = {device};
        config.tcp_address = device;
        config.foreign_address = netns::ipv4(127, 0, 0, 9);
        config.keep_wire = false;
        config.shared_device = shared;
        std::string error;
        if (!net.open(config, error)) {
            fprintf(stderr, "soak: %s\n", error.c_str());
            return false;
        }
        net.start();
        return net_started = true;
    };

    std::vector<Link> links;
    links.push_back({"serial", 1, serial_bound,
                     [&] {
                         SerialSideConfig config;
                         config.com = 1;
                         config.seed = rng_state;
                         if (!serial_sim_start(config)) return false;
                         headless::set_wait_hook(serial_wait);
                         return serial_open(1, 115200, 'N', 8, 1);
                     },
                     [&](std::string& name) {
                         SerialFaults f;
                         unsigned pick = draw(std::size(serial_fault_names) + 1);
                         if (pick == std::size(serial_fault_names)) {
                             serial_sim_set_faults(f);
                             return draw_device_fault(name);
                         }
                         const SerialFaultName& fault = serial_fault_names[pick];
                         f.*fault.count = 1 + draw(serial_fault_max[pick]);
                         // Another byte than ACK: a device that acknowledges and is not
                         // ready is no enquiry answered with another byte.
                         if (fault.count == &SerialFaults::enq_other) {
                             unsigned byte = draw(255);
                             f.enq_other_byte = uint8_t(byte >= 0x06 ? byte + 1 : byte);
                         }
                         serial_sim_set_faults(f);
                         name = fault.option;
                         return 1u;
                     },
                     [&] {
                         // The line quiet, then a device at rest: the transcript the
                         // simulator keeps would grow for ever.
                         for (size_t size = SIZE_MAX; size != serial_sim_received().size();
                              usleep(2000))
                             size = serial_sim_received().size();
                         serial_sim_reset();
                         silences_taken = 0;
                     },
                     nullptr});
    links.push_back({"rmlx", kind_rmlx, rmlx_bound,
                     [&] {
                         memset(&connection_link, 0, sizeof connection_link);
                         return open_net() && rmlx_open(connection_link, device,
                                                        RmlxOpening::query_first) == result_ok;
                     },
                     [&](std::string& name) { return net_fault(net, name); }, [] {}, nullptr});
    links.push_back({"tcp", kind_tcp, tcp_bound,
                     [&] {
                         memset(&connection_link, 0, sizeof connection_link);
                         return open_net() && tcp_open(connection_link, device) == result_ok;
                     },
                     [&](std::string& name) { return net_fault(net, name); }, [] {},
                     [&] {
                         // Disconnect and Connect, as the operator would.
                         tcp_close();
                         tcp_open(connection_link, device);
                     }});
    links.push_back(
        {"udp", kind_udp, udp_bound,
         [&] {
             NetSidesConfig config;
             config.udp_address = udp_device;
             config.foreign_address = netns::ipv4(192, 0, 2, 3);
             config.keep_wire = false;
             config.shared_device = shared;
             std::string error = serve_behind_veth(behind_veth, config, udp_local, veth_thread);
             veth_started = true;
             if (!error.empty()) {
                 fprintf(stderr, "soak: %s\n", error.c_str());
                 return false;
             }
             memset(&connection_link, 0, sizeof connection_link);
             return udp_open(connection_link, udp_device) == result_ok;
         },
         [&](std::string& name) { return net_fault(behind_veth, name); }, [] {}, nullptr});

    bool all_well = true;
    for (Link& link : links) {
        if (wanted.find(link.name) == std::string::npos) continue;
        auto started = Clock::now();
        fake_clock::install(1000, 20);
        connection_kind = link.kind;
        running_link = link.name;
        if (!link.open()) {
            fprintf(stderr, "soak: cannot open the %s link\n", link.name);
            return 1;
        }
        Tally t;
        for (int i = 0; i < 200; ++i) run_request(link, t, true); // the buffers in use
        log_clear();
        t.rss_before = resident_kb();
        for (long i = 0; i < requests; ++i) run_request(link, t, false);
        log_clear();
        t.rss_after = resident_kb();
        report(link, t);
        printf("  real time: %.0f s\n",
               std::chrono::duration<double>(Clock::now() - started).count());
        all_well =
            all_well && t.over_bound == 0 && t.unlogged == 0 && t.rss_after - t.rss_before <= 1024;
        if (link.kind == 1) {
            serial_close(1);
            serial_sim_stop();
        }
        fake_clock::uninstall();
    }
    printf("unexplained serial waits (no answer and no silence): %u\n", unexplained_waits);
    rmlx_close();
    tcp_close();
    udp_close();
    if (net_started) net.stop();
    if (veth_started) behind_veth.stop();
    if (veth_thread.joinable()) veth_thread.join();
    std::filesystem::remove_all(prefix);
    printf("soak: %s\n", all_well && unexplained_waits == 0 ? "all well" : "FAULTS FOUND");
    return all_well && unexplained_waits == 0 ? 0 : 1;
}
