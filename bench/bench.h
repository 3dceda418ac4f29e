// The benchmark's groups of rows, run in order by bench_main.cpp.
#pragma once

#include <string>

struct BenchOptions {
    const char* program = nullptr; // the console program, for its start
    int log_lines = 100000;
    size_t document_kb = 64;
    double slice_seconds = 0.02; // one slice of alternating measurements
    int slices = 120;            // of each kind, per row
    int latency_requests = 1000;
    bool slow_serial = true; // the 9600-baud signing (about three minutes)
};

// The window (bench_window.cpp). The program's starts hide the bench's own
// window, which bears the same title, while they run.
void window_start_rows(const char* program);
bool bench_window_open(); // the bench's own window, shown and painted
void log_rows(int lines);

// The serial line against the simulator's paced pseudo-terminal
// (bench_serial.cpp).
void serial_rows(const BenchOptions& options);

// The network links against the bench's own device sides
// (bench_net.cpp). no_namespace: why no private network namespace could be
// had, or "".
void net_rows(const BenchOptions& options, const std::string& no_namespace);
// What a request of the console does beyond its bare exchange, piece by
// piece (the group "costs").
void net_cost_rows(const BenchOptions& options, const std::string& no_namespace);
