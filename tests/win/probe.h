// What the programs run under Wine share: one line per check, and the count
// of failed checks as the exit code.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>

inline int probe_failures = 0;

inline void check(bool ok, const char* what) {
    printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    fflush(stdout);
    if (!ok) ++probe_failures;
}

// Processor time of this process so far, user and kernel, in milliseconds.
inline uint64_t processor_ms() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto ticks = [](const FILETIME& t) {
        return uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime;
    };
    return (ticks(kernel) + ticks(user)) / 10000; // 100 ns units
}

inline int probe_result() {
    printf("%d failed\n", probe_failures);
    return probe_failures;
}
