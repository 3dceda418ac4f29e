// The serial line's rows, against the simulator's serial side on a real
// pseudo-terminal, paced at the line's rate in both directions: the silent
// wait, the time from a reply's last byte to the transaction's return, and a
// 64 KB document signed at 9600, 115200 and 126000 baud against the wire
// bound (every byte that crossed, at ten bit times a byte).
#include "bench.h"

#include "base/dialog_template.h"
#include "base/state.h"
#include "base/window.h"
#include "bench_util.h"
#include "capture/wire_capture.h"
#include "report.h"
#include "serial/serial_port.h"
#include "serial/serial_transaction.h"
#include "signing/sign_file.h"
#include "sim/serial_side.h"
#include "sim/sim_device.h"
#include "support/sha1_text.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <unistd.h>

uint32_t terminal_speed(int fd); // line_speed_linux.cpp
bool terminal_custom_speed(int fd);

namespace {

// Opens COM1 on a fresh simulator side paced at baud, the simulator's thread
// on sim_core; false (reported) when either cannot be had.
bool open_line(uint32_t baud, int sim_core) {
    SerialSideConfig config;
    config.com = 1;
    config.pace = true;
    config.baud = baud;
    // The simulator's thread takes the core this thread has as it starts.
    pin_to_core(sim_core);
    bool started = serial_sim_start(config);
    pin_to_core(measured_core);
    if (!started) return false;
    sim_device_reset(1);
    connection_kind = 1;
    if (!serial_open(1, baud, 'N', 8, 1)) {
        serial_sim_stop();
        return false;
    }
    return true;
}

void close_line() {
    serial_close(1);
    serial_sim_stop();
}

// A descriptor of this process on the simulator's terminal (the console's
// own or the simulator's): each shows the settings the console made.
int terminal_fd() {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return -1;
    int found = -1;
    while (dirent* e = readdir(dir)) {
        char link[PATH_MAX], path[PATH_MAX];
        snprintf(link, sizeof link, "/proc/self/fd/%s", e->d_name);
        ssize_t n = readlink(link, path, sizeof path - 1);
        if (n <= 0) continue;
        path[n] = '\0';
        if (std::string(path) == serial_sim_slave_path()) found = atoi(e->d_name);
    }
    closedir(dir);
    return found;
}

// The line as the console's wire capture saw it: its pace, from the start of
// each long request frame the console wrote to the device's ACK, which comes
// once the frame's last byte has crossed, over the bytes of both; and the
// console's turnaround, from reading the ACK of its enquiry to writing the
// first byte of its frame.
struct LineSeen {
    double byte_us = 0;
    std::vector<double> turnaround_us;
};

LineSeen line_seen() {
    struct Run {
        uint64_t time_us;
        bool out;
        uint32_t length;
    };
    std::vector<Run> runs;
    wire_capture_visit(
        [](const WireCaptureRecord& r, void* context) {
            if (r.kind == WireKind::serial)
                static_cast<std::vector<Run>*>(context)->push_back(
                    {r.time_us, r.direction == WireDirection::outbound, r.length});
        },
        &runs);
    LineSeen seen;
    std::vector<double> per_byte;
    for (size_t i = 0; i + 1 < runs.size(); ++i) {
        double gap = double(runs[i + 1].time_us - runs[i].time_us);
        if (runs[i].out && runs[i].length >= 500 && !runs[i + 1].out)
            per_byte.push_back(gap / (runs[i].length + 1));
        if (!runs[i].out && runs[i].length == 1 && runs[i + 1].out && runs[i + 1].length >= 500)
            seen.turnaround_us.push_back(gap);
    }
    seen.byte_us = median(per_byte);
    return seen;
}

void silent_wait_row() {
    uint64_t wall = now_ns(), cpu = thread_cpu_ns();
    int got = serial_wait_input(5000);
    wall = now_ns() - wall;
    cpu = thread_cpu_ns() - cpu;
    double share = 100.0 * double(cpu) / double(wall);
    report_row({"serial: a 5-second wait for a byte that does not come",
                text("%s after %.2f s, %.1f ms of processor time", got ? "input" : "time-out",
                     double(wall) / 1e9, double(cpu) / 1e6),
                "one core",
                "",
                {Goal::below, 2, "%"},
                single(share),
                3});
}

// The reply-to-return times, each with the core probe about its request.
struct Turnarounds {
    std::vector<double> us, probes;
    bool failed = false;
};

// count requests "v" on a line of their own, the simulator on the console's
// core (the section's intro says why).
void turnaround_block(Turnarounds& t, int count) {
    if (t.failed || !open_line(115200, measured_core)) {
        t.failed = true;
        return;
    }
    ui_check(idc_details, false);
    // The probe waits for the simulator, on this core, to have taken the
    // console's ACK (one byte time).
    auto probe = [] {
        usleep(300);
        return core_probe_us();
    };
    char reply[1000];
    double before = probe();
    for (int i = 0; i < count && !t.failed; ++i) {
        t.failed = serial_transaction("v", reply, sizeof reply, 0) != result_ok;
        t.us.push_back(double(now_ns() - serial_sim_last_write_ns()) / 1e3);
        double after = probe();
        t.probes.push_back(std::max(before, after));
        before = after;
    }
    close_line();
}

// The probe's usual time in each earlier run, kept beside the bench: a time
// in microseconds holds only at a known speed of the core, and a run spent
// wholly on a slow one cannot tell that from its own probes.
constexpr const char* probe_file = "turnaround-probes";
constexpr size_t probe_runs = 8;

std::vector<bool> usual(const Turnarounds& t, double earlier_best) {
    return at_usual_speed(t.probes, t.probes, 1.25, earlier_best);
}

// The samples taken while the core ran at its usual speed.
void turnaround_row(const Turnarounds& t, double earlier_best) {
    const char* what =
        "serial at 115200, requests \"v\": the reply's last byte to the transaction's return";
    if (t.failed) {
        report_skip(what, "a transaction failed");
        return;
    }
    std::vector<bool> counts = usual(t, earlier_best);
    std::vector<double> kept;
    for (size_t i = 0; i < t.us.size(); ++i)
        if (counts[i]) kept.push_back(t.us[i]);
    std::string probe = text("the core's probe %.0f us", usual_best(t.probes));
    if (earlier_best > 0) probe += text(", %.0f us at best in earlier runs", earlier_best);
    if (kept.size() < 20) {
        report_skip(what, "the core ran slow throughout (" + probe + ")");
        return;
    }
    // The count is in the measured text: the row keeps its name across
    // runs that took more blocks.
    report_row(
        {what,
         text("%zu requests%s; 99th percentile %.0f us; %s", t.us.size(),
              kept.size() == t.us.size()
                  ? ""
                  : text(", %zu set aside (the core ran slow)", t.us.size() - kept.size()).c_str(),
              percentile(kept, 0.99), probe.c_str()),
         "",
         "",
         {Goal::none, 0, " us"},
         estimate(kept),
         0});
}

struct Signing {
    double seconds = 0, cpu_seconds = 0;
    size_t in = 0, out = 0; // bytes to the device and back
    // Each request's share of the wire bound, in percent: the bytes both
    // ways from its first byte to the next request's, over that time.
    std::vector<double> shares;
};

// The requests of the capture, each from its CAN CAN CAN ENQ, which the
// console writes right behind its ACK of the previous reply, in one run.
std::vector<double> request_shares(uint32_t baud) {
    struct Start {
        uint64_t time_us;
        size_t bytes_before; // every byte of the capture before it
    };
    struct Visit {
        std::vector<Start> starts;
        size_t bytes = 0;
    } visit;
    wire_capture_visit(
        [](const WireCaptureRecord& r, void* context) {
            auto& v = *static_cast<Visit*>(context);
            if (r.kind != WireKind::serial) return;
            static constexpr uint8_t enquiry[] = {0x18, 0x18, 0x18, 0x05};
            if (r.direction == WireDirection::outbound)
                for (uint32_t at = 0; at + sizeof enquiry <= r.stored && at < 2; ++at)
                    if (memcmp(r.data + at, enquiry, sizeof enquiry) == 0)
                        v.starts.push_back({r.time_us, v.bytes + at});
            v.bytes += r.length;
        },
        &visit);
    std::vector<double> shares;
    for (size_t i = 0; i + 1 < visit.starts.size(); ++i) {
        double bound_us = double(visit.starts[i + 1].bytes_before - visit.starts[i].bytes_before) *
                          1e7 / double(baud);
        double took_us = double(visit.starts[i + 1].time_us - visit.starts[i].time_us);
        if (took_us > 0) shares.push_back(100.0 * bound_us / took_us);
    }
    return shares;
}

// Signs content at baud; false (reported) when the device did not sign it.
bool sign_once(const char* kind, const std::string& content, const std::string& path, uint32_t baud,
               Signing& run) {
    std::ofstream(path, std::ios::binary) << content;
    sim_device_reset(1);
    serial_sim_reset();
    wire_capture_reset();
    ui_set_text(idc_sign_path, path.c_str());
    uint64_t start = now_ns(), cpu = thread_cpu_ns();
    sign_file();
    run.seconds = double(now_ns() - start) / 1e9;
    run.cpu_seconds = double(thread_cpu_ns() - cpu) / 1e9;
    // The closing ACK of the last reply is still on its way.
    for (int i = 0; i < 100; ++i) {
        std::string r = serial_sim_received();
        if (!r.empty() && r.back() == 0x06) break;
        usleep(1000);
    }
    char reply[1000];
    ui_get_text(idc_reply, reply, sizeof reply);
    std::string shown = reply;
    if (shown.size() < 9 || shown.substr(9) != sha1_of(content)) {
        report_skip(text("signing %s at %u baud", kind, unsigned(baud)),
                    "the device did not sign the document (reply \"" + shown + "\")");
        return false;
    }
    run.in = serial_sim_received().size();
    run.out = serial_sim_sent().size();
    run.shares = request_shares(baud);
    return true;
}

// Signs content at baud and holds its requests against the wire bound.
bool sign_row(const char* kind, const std::string& content, const std::string& path,
              uint32_t baud) {
    Signing run;
    if (!sign_once(kind, content, path, baud, run)) return false;
    double bound = double(run.in + run.out) * 10.0 / baud;
    // "{/0", the blocks of 750 bytes and "}".
    size_t requests = (content.size() + 749) / 750 + 2;
    report_row(
        {text("signing %zu KB as %s at %u baud", content.size() / 1024, kind, unsigned(baud)),
         text("%.2f s (%.0f document bytes/s, %.2f s of processor time; %.2f ms a request above "
              "the bound; the whole document %.1f%% of the bound)",
              run.seconds, double(content.size()) / run.seconds, run.cpu_seconds,
              (run.seconds - bound) * 1e3 / double(requests), 100.0 * bound / run.seconds),
         text("wire bound %.2f s (%zu bytes out, %zu back), %zu requests", bound, run.in, run.out,
              run.shares.size() + 1),
         "",
         {Goal::at_least, 97, "%"},
         estimate(run.shares),
         1});
    return true;
}

} // namespace

void serial_rows(const BenchOptions& options) {
    report_section("Serial line: waiting",
                   "COM1 is the simulator's serial side on a pseudo-terminal, carrying bytes both "
                   "ways at 10 bit times a byte (`--pace`).");
    if (!open_line(115200, device_core)) {
        report_skip("serial line", "no pseudo-terminal or COM1 link could be made");
        return;
    }
    ui_check(idc_details, false);
    silent_wait_row();
    close_line();
    // The turnarounds come in blocks spread over the group: one now, one
    // after each rate's signing.
    std::vector<uint32_t> rates = {115200, 126000};
    if (options.slow_serial) rates.insert(rates.begin(), 9600);
    int block = options.latency_requests / 5 / int(rates.size() + 1);
    Turnarounds turnarounds;
    turnaround_block(turnarounds, block);

    report_section(
        "Serial line: signing",
        text("A %zu KB document signed with \"Sign File\" (\"Details\" off), once as text (TEXT "
             "blocks) and once as binary (BASE64 blocks), against the wire bound: every byte that "
             "crossed the line in either direction, counted by the simulator, at the line's rate "
             "of 10 bit times a byte. The line's pace is checked from the console's wire "
             "capture: the time from the start of each request frame the console wrote to the "
             "device's ACK, over the frame's bytes and the ACK; the same capture times the "
             "console's own turnaround, and gives each request's share of the bound (its bytes "
             "both ways over the time from its first byte to the next request's), whose median "
             "and 95%% interval are held against the goal. The simulator runs on a core of its "
             "own where there are two.",
             options.document_kb));
    std::string textual, binary;
    uint64_t state = 7;
    for (size_t i = 0; i < options.document_kb * 1024; ++i) {
        textual += char(i % 64 == 63 ? ' ' : 'a' + i % 26);
        binary += char(sim_random(state));
    }
    std::string path = std::string(getenv("VARNOKE_PREFIX")) + "/document";
    for (uint32_t baud : rates) {
        if (!open_line(baud, device_core)) {
            report_skip(text("signing at %u baud", unsigned(baud)), "the line could not be opened");
            continue;
        }
        int fd = terminal_fd();
        uint32_t set = fd >= 0 ? terminal_speed(fd) : 0;
        bool custom = fd >= 0 && terminal_custom_speed(fd);
        bool ok = sign_row("TEXT", textual, path, baud);
        LineSeen seen = line_seen();
        ok = ok && sign_row("BASE64", binary, path, baud);
        double nominal = 1e7 / baud;
        report_row({text("the line at %u baud", unsigned(baud)),
                    text("the terminal set to %u baud%s; %.2f us a byte as the console saw it; "
                         "the console's turnaround from the enquiry's ACK to its frame: median "
                         "%.0f us, 99th percentile %.0f us",
                         unsigned(set), custom ? " (a custom rate, BOTHER)" : "", seen.byte_us,
                         median(seen.turnaround_us), percentile(seen.turnaround_us, 0.99)),
                    text("%.2f us a byte", nominal),
                    text("%.1f%%", 100.0 * seen.byte_us / nominal),
                    {},
                    {},
                    1});
        close_line();
        if (!ok) break;
        turnaround_block(turnarounds, block);
    }
    report_note(
        "The serial protocol stops and waits: each request is CAN CAN CAN ENQ, the device's "
        "ACK, the frame, its ACK, the reply frame and the console's ACK, so the line turns round "
        "four times a request, and the wire bound counts its bytes only. The time a request "
        "spends above the bound is those turnarounds: the console's own is in the rows of the "
        "line (tens of microseconds, twice a request), the rest is the pseudo-terminal handing "
        "the bytes over and the simulator waking to pace them. The protocol's other waits (the "
        "3000, 2000 and 500 ms time-outs) only ever end early here.");

    // While fewer than half the requests planned count, more blocks, a
    // while apart: the core may come back to its usual speed.
    std::vector<double> earlier = remembered(probe_file);
    double earlier_best = earlier.empty() ? 0 : *std::min_element(earlier.begin(), earlier.end());
    int planned = block * int(rates.size() + 1), extra = 0;
    auto counted = [&] {
        std::vector<bool> counts = usual(turnarounds, earlier_best);
        return int(std::count(counts.begin(), counts.end(), true));
    };
    for (; !turnarounds.failed && counted() < planned / 2 && extra < 40; ++extra) {
        sleep(2);
        turnaround_block(turnarounds, block);
    }
    if (!turnarounds.failed) remember(probe_file, usual_best(turnarounds.probes), probe_runs);

    report_section(
        "Serial line: the console's turnaround",
        text("From the simulator's handing the reply's last byte to the terminal to the return of "
             "the console's transaction (`serial_transaction`, which reads the byte, checks the "
             "frame and writes its ACK), at 115200 baud, in blocks of %d requests \"v\", one "
             "before the signing and one after each rate's. The simulator runs on the console's "
             "core here: woken from the other core, this machine's halted cores come back at two "
             "speeds some ten microseconds apart, whose mix moved the median from run to run; on "
             "one core the time is the console's work and one local wake-up. A request counts "
             "where the core ran at its usual speed, as the network rows' probe, timed about it, "
             "tells: within 25%% of the best of the group's, or of the best that the last %zu "
             "runs of this bench found, whichever is less. A time in microseconds, unlike the "
             "network rows' ratios, holds only at a known speed, and this machine's host at "
             "times slows its cores for minutes, longer than a run. While fewer than half the "
             "requests count, more blocks follow, two seconds apart, up to 40 (%d here); where "
             "fewer than 20 count even then, the row says so rather than give a time.",
             block, probe_runs, extra));
    turnaround_row(turnarounds, earlier_best);
    unpin();
}
