// Benchmark of file signing over the serial line: a 64 KB document signed
// against the simulator's serial side at 115200 baud, the line paced in both
// directions, once as text (TEXT blocks) and once as binary (BASE64 blocks).
// Each run is set against the wire bound: every byte that crossed the line
// in either direction, counted at the simulator, at 11,520 bytes per second.
// Goal: at least 97% of the bound.
// Usage: sign_bench [kilobytes]
#include "app/dialog.h"
#include "app/dialog_template.h"
#include "app/state.h"
#include "serial/serial_port.h"
#include "signing/sign_file.h"
#include "sim/serial_side.h"
#include "sim/sim_device.h"
#include "support/headless.h"
#include "support/sha1_text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

constexpr uint32_t baud = 115200;
constexpr double line_bytes_per_second = baud / 10.0; // start, 8 data, stop bits

double clock_s(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Signs content and prints the run against the wire bound; false on failure.
bool run(const char* name, const std::string& content, const std::string& path) {
    std::ofstream(path, std::ios::binary) << content;
    sim_device_reset(1);
    serial_sim_reset();
    ui_set_text(idc_sign_path, path.c_str());
    double start = clock_s(CLOCK_MONOTONIC), cpu = clock_s(CLOCK_THREAD_CPUTIME_ID);
    sign_file();
    double elapsed = clock_s(CLOCK_MONOTONIC) - start;
    cpu = clock_s(CLOCK_THREAD_CPUTIME_ID) - cpu;
    // The closing ACK of the last reply is on its way.
    auto acked = [] {
        std::string r = serial_sim_received();
        return !r.empty() && r.back() == 0x06;
    };
    for (int i = 0; i < 100 && !acked(); ++i) usleep(1000);

    std::string reply = headless::control(idc_reply).text;
    if (reply.size() < 9 || reply.substr(9) != sha1_of(content)) {
        fprintf(stderr, "%s: the device did not sign the document (reply \"%s\")\n", name,
                reply.c_str());
        return false;
    }
    size_t in = serial_sim_received().size(), out = serial_sim_sent().size();
    double bound = double(in + out) / line_bytes_per_second;
    std::string rate;
    for (auto& line : headless::log_lines())
        if (line.rfind("Transfer rate: ", 0) == 0) rate = line;
    printf("%-6s %zu bytes in %.3f s: %zu bytes to the device, %zu back, wire bound %.3f s: "
           "%.1f%% of the bound (goal >= 97%%); %.0f document bytes/s; console's processor "
           "time %.3f s; console: \"%s\"\n",
           name, content.size(), elapsed, in, out, bound, 100.0 * bound / elapsed,
           double(content.size()) / elapsed, cpu, rate.c_str());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    size_t kilobytes = argc > 1 ? size_t(atoi(argv[1])) : 64;
    if (kilobytes == 0) {
        fprintf(stderr, "usage: sign_bench [kilobytes]\n");
        return 2;
    }
    char prefix[] = "/tmp/varnoke-bench-XXXXXX";
    if (mkdtemp(prefix) == nullptr) return 1;
    setenv("VARNOKE_PREFIX", prefix, 1);

    SerialSideConfig config;
    config.com = 1;
    config.pace = true;
    config.baud = baud;
    if (!serial_sim_start(config)) return 1;
    headless::create(dialog_proc);
    headless::control(idc_details).checked = false;
    connection_kind = 1;
    if (serial_open(1, baud, 'N', 8, 1) != 1) {
        fprintf(stderr, "cannot open COM1 at %s\n", serial_sim_slave_path());
        return 1;
    }

    std::string text, binary;
    uint64_t state = 7;
    for (size_t i = 0; i < kilobytes * 1024; ++i) {
        text += char(i % 64 == 63 ? ' ' : 'a' + i % 26);
        binary += char(sim_random(state));
    }
    std::string path = std::string(prefix) + "/document";
    bool ok = run("TEXT", text, path) && run("BASE64", binary, path);

    serial_close(1);
    serial_sim_stop();
    std::filesystem::remove_all(prefix);
    return ok ? 0 : 1;
}
