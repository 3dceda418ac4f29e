// Benchmark of the serial link against the simulator's serial side over a
// real pseudo-terminal:
//  - the processor time the console spends in a 5-second wait on a silent
//    device (goal: under 2% of one core);
//  - the time from the device's last reply byte to the return of the
//    transaction, with the device sending at the line's real speed
//    (goal: under 1 ms).
// Usage: serial_bench [transactions] [--no-pace] [--no-capture]
//  transactions: how many to time (default 200); --no-pace: the device sends
//  as fast as the pseudo-terminal takes it; --no-capture: the wire recorder
//  off, to see what recording costs.
#include "app/dialog.h"
#include "app/state.h"
#include "capture/wire_capture.h"
#include "serial/serial_port.h"
#include "serial/serial_transaction.h"
#include "sim/serial_side.h"
#include "sim/sim_device.h"
#include "support/headless.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace {

uint64_t clock_ns(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec);
}

} // namespace

int main(int argc, char** argv) {
    int count = 200;
    bool pace = true;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--no-pace") == 0)
            pace = false;
        else if (strcmp(argv[i], "--no-capture") == 0)
            wire_capture_enable(false);
        else if (atoi(argv[i]) > 0)
            count = atoi(argv[i]);
        else {
            fprintf(stderr, "usage: serial_bench [transactions] [--no-pace] [--no-capture]\n");
            return 2;
        }
    }

    char prefix[] = "/tmp/varnoke-bench-XXXXXX";
    if (mkdtemp(prefix) == nullptr) return 1;
    setenv("VARNOKE_PREFIX", prefix, 1);

    SerialSideConfig config;
    config.com = 1;
    config.pace = pace;
    config.baud = 115200;
    if (!serial_sim_start(config)) return 1;
    sim_device_reset(1);
    headless::create(dialog_proc);
    connection_kind = 1;
    if (serial_open(1, config.baud, 'N', 8, 1) != 1) {
        fprintf(stderr, "cannot open COM1 at %s\n", serial_sim_slave_path());
        return 1;
    }

    // A silent device: nothing arrives for the whole wait.
    uint64_t wall0 = clock_ns(CLOCK_MONOTONIC), cpu0 = clock_ns(CLOCK_THREAD_CPUTIME_ID);
    int got = serial_wait_input(5000);
    uint64_t wall = clock_ns(CLOCK_MONOTONIC) - wall0;
    uint64_t cpu = clock_ns(CLOCK_THREAD_CPUTIME_ID) - cpu0;
    printf("silent wait: %s after %.3f s, console used %.3f ms of processor time (%.3f%% of "
           "one core; goal < 2%%)\n",
           got ? "input" : "time-out", double(wall) / 1e9, double(cpu) / 1e6,
           100.0 * double(cpu) / double(wall));

    // Transactions at the line's speed: the console waits for every byte.
    std::vector<double> latency_us;
    char reply[1000];
    for (int i = 0; i < count; ++i) {
        int result = serial_transaction("v", reply, sizeof reply, 0);
        uint64_t returned = clock_ns(CLOCK_MONOTONIC);
        if (result != 0) {
            fprintf(stderr, "transaction %d failed with %d\n", i, result);
            return 1;
        }
        latency_us.push_back(double(returned - serial_sim_last_write_ns()) / 1e3);
    }
    std::sort(latency_us.begin(), latency_us.end());
    auto over = latency_us.end() - std::upper_bound(latency_us.begin(), latency_us.end(), 1000.0);
    printf("last reply byte to return (%d transactions of \"v\", %s, wire capture %s): min %.1f "
           "us, median %.1f us, 99th percentile %.1f us, max %.1f us; %d over the goal of 1000 "
           "us\n",
           count, pace ? "paced at 115200 baud" : "unpaced", wire_capture_enabled() ? "on" : "off",
           latency_us.front(), latency_us[latency_us.size() / 2],
           latency_us[latency_us.size() * 99 / 100], latency_us.back(), int(over));

    serial_close(1);
    serial_sim_stop();
    std::filesystem::remove_all(prefix);
    return 0;
}
