// Clocks, statistics and the process's memory, for the benchmark's rows.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

uint64_t now_ns();        // CLOCK_MONOTONIC
uint64_t thread_cpu_ns(); // processor time of the calling thread
// The times the calling thread has slept: given up its core to wait.
long thread_sleeps();
// The system calls the calling thread has made, as the kernel's tracepoint
// counts them; -1 where it cannot be had (no tracefs, no permission).
long thread_syscalls();

// The time of a fixed piece of work much like a request's: a walk through
// memory the size of a core's second-level cache, and some system calls.
// A core shared with load the machine does not count as steal (a busy
// sibling thread on the host) takes longer over it; the least of three
// tries, in microseconds.
double core_probe_us();

// Values a run leaves for the runs after it, in the file name beside the
// bench's program (so kept as long as its build): the last `last` of them,
// the newest at the end; remember adds one, false where it cannot be kept.
std::vector<double> remembered(const char* name);
bool remember(const char* name, double value, size_t last);

// The value below which the fraction p (0..1) of the samples lie; 0 for none.
double percentile(std::vector<double> samples, double p);
inline double median(const std::vector<double>& samples) {
    return percentile(samples, 0.5);
}

// Keeps the calling thread, and the threads it starts from then on, on one
// core; false where the machine has fewer cores or refuses. With no core
// given, on every core again.
bool pin_to_core(int core);
void unpin();
// Where the machine has two cores or more: the measured side's core and the
// core of the device side it talks to.
inline constexpr int measured_core = 0, device_core = 1;

// Resident memory of a process (0: this one) in kilobytes, from VmRSS.
long resident_kb(pid_t pid = 0);

// printf into a std::string.
std::string text(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Counts, wall time and the calling thread's processor time of one kind of
// exchange, run in slices that alternate with another kind's.
struct Tally {
    long count = 0, slept = 0, syscalls = 0;
    double seconds = 0, cpu_us = 0;
    // Runs exchange (which returns false on failure) for at least slice
    // seconds; false when an exchange failed.
    template <typename Exchange> bool run(double slice, Exchange exchange) {
        long sleeps = thread_sleeps(), calls = thread_syscalls();
        uint64_t start = now_ns(), cpu = thread_cpu_ns();
        bool ok = true;
        do {
            for (int i = 0; i < 20 && ok; ++i, ++count) ok = exchange();
        } while (ok && double(now_ns() - start) < slice * 1e9);
        seconds += double(now_ns() - start) / 1e9;
        cpu_us += double(thread_cpu_ns() - cpu) / 1e3;
        syscalls += thread_syscalls() - calls;
        slept += thread_sleeps() - sleeps;
        return ok;
    }
    void add(const Tally& other) {
        count += other.count;
        seconds += other.seconds;
        cpu_us += other.cpu_us;
        slept += other.slept;
        syscalls += other.syscalls;
    }
    double rate() const { return seconds > 0 ? double(count) / seconds : 0; }
    double cpu_per_exchange() const { return count > 0 ? cpu_us / double(count) : 0; }
    double sleeps_per_exchange() const { return count > 0 ? double(slept) / double(count) : 0; }
    double syscalls_per_exchange() const {
        return count > 0 ? double(syscalls) / double(count) : 0;
    }
};
