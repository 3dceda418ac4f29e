#include "bench_util.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sched.h>
#include <unistd.h>

namespace {
uint64_t clock_ns(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec);
}
} // namespace

uint64_t now_ns() {
    return clock_ns(CLOCK_MONOTONIC);
}

uint64_t thread_cpu_ns() {
    return clock_ns(CLOCK_THREAD_CPUTIME_ID);
}

double percentile(std::vector<double> samples, double p) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    size_t i = size_t(p * double(samples.size() - 1) + 0.5);
    return samples[std::min(i, samples.size() - 1)];
}

bool pin_to_core(int core) {
    if (sysconf(_SC_NPROCESSORS_ONLN) < 2) return false;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(core, &set);
    return sched_setaffinity(0, sizeof set, &set) == 0;
}

void unpin() {
    cpu_set_t set;
    CPU_ZERO(&set);
    for (long i = 0; i < sysconf(_SC_NPROCESSORS_ONLN) && i < CPU_SETSIZE; ++i) CPU_SET(i, &set);
    sched_setaffinity(0, sizeof set, &set);
}

long resident_kb(pid_t pid) {
    char path[64];
    snprintf(path, sizeof path, pid == 0 ? "/proc/self/status" : "/proc/%d/status", int(pid));
    FILE* f = fopen(path, "r");
    if (f == nullptr) return 0;
    char line[256];
    long kb = 0;
    while (fgets(line, sizeof line, f) != nullptr)
        if (strncmp(line, "VmRSS:", 6) == 0) kb = atol(line + 6);
    fclose(f);
    return kb;
}

std::string text(const char* format, ...) {
    char buf[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    return buf;
}
