#include "bench_util.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <linux/perf_event.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
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

long thread_sleeps() {
    rusage ru{};
    getrusage(RUSAGE_THREAD, &ru);
    return ru.ru_nvcsw;
}

long thread_syscalls() {
    // One counter a thread, opened at its first call.
    static thread_local int fd = -2;
    if (fd == -2) {
        fd = -1;
        FILE* f = fopen("/sys/kernel/tracing/events/raw_syscalls/sys_enter/id", "r");
        unsigned long long id = 0;
        if (f != nullptr && fscanf(f, "%llu", &id) == 1) {
            perf_event_attr attr{};
            attr.size = sizeof attr;
            attr.type = PERF_TYPE_TRACEPOINT;
            attr.config = id;
            fd = int(syscall(SYS_perf_event_open, &attr, 0, -1, -1, PERF_FLAG_FD_CLOEXEC));
        }
        if (f != nullptr) fclose(f);
    }
    uint64_t count = 0;
    if (fd < 0 || read(fd, &count, sizeof count) != sizeof count) return -1;
    return long(count);
}

double core_probe_us() {
    // A chase through one random cycle of cache lines, so that each step
    // waits for the one before.
    constexpr size_t lines = 512 * 1024 / 64;
    struct alignas(64) Line {
        uint32_t next;
    };
    static std::vector<Line> ring = [] {
        std::vector<uint32_t> order(lines);
        for (uint32_t i = 0; i < lines; ++i) order[i] = i;
        uint64_t seed = 0x2545F4914F6CDD1Dull;
        for (size_t i = lines - 1; i > 0; --i) {
            seed ^= seed << 13;
            seed ^= seed >> 7;
            seed ^= seed << 17;
            std::swap(order[i], order[seed % (i + 1)]);
        }
        std::vector<Line> r(lines);
        for (size_t i = 0; i < lines; ++i) r[order[i]].next = order[(i + 1) % lines];
        return r;
    }();
    double best = 1e300;
    for (int attempt = 0; attempt < 3; ++attempt) {
        uint64_t start = now_ns();
        uint32_t at = 0;
        for (size_t i = 0; i < lines; ++i) at = ring[at].next;
        for (int i = 0; i < 8; ++i) at += uint32_t(syscall(SYS_getppid)) & 1;
        best = std::min(best, double(now_ns() - start) / 1e3);
        asm volatile("" : : "r"(at)); // keeps the walk
    }
    return best;
}

namespace {
std::string beside_program(const char* name) {
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "";
    std::string path(self, size_t(n));
    return path.substr(0, path.rfind('/') + 1) + name;
}
} // namespace

std::vector<double> remembered(const char* name) {
    std::vector<double> values;
    FILE* f = fopen(beside_program(name).c_str(), "r");
    if (f == nullptr) return values;
    double v;
    while (fscanf(f, "%lf", &v) == 1)
        if (v > 0) values.push_back(v);
    fclose(f);
    return values;
}

bool remember(const char* name, double value, size_t last) {
    std::vector<double> values = remembered(name);
    values.push_back(value);
    if (values.size() > last) values.erase(values.begin(), values.end() - long(last));
    // Whole or not at all: a run stopped halfway leaves the old file.
    std::string path = beside_program(name), part = path + ".part";
    FILE* f = fopen(part.c_str(), "w");
    if (f == nullptr) return false;
    for (double v : values) fprintf(f, "%.3f\n", v);
    bool ok = fclose(f) == 0 && rename(part.c_str(), path.c_str()) == 0;
    if (!ok) remove(part.c_str());
    return ok;
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
