// The wire recorder's clock over Win32.
#include "capture/wire_capture.h"

#include <windows.h>

uint64_t wire_clock_us() {
    // The system time moves in steps of the timer tick; the performance
    // counter, counted from the first call, gives the microseconds between.
    static uint64_t base_us = 0;
    static LARGE_INTEGER base_count{}, frequency{};
    if (base_us == 0) {
        FILETIME ft;
        GetSystemTimeAsFileTime(&ft);
        uint64_t since_1601 = (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
        base_us = since_1601 / 10u - 11644473600000000ull;
        if (!QueryPerformanceFrequency(&frequency) || !QueryPerformanceCounter(&base_count))
            frequency.QuadPart = 0;
    }
    LARGE_INTEGER now{};
    if (frequency.QuadPart == 0 || !QueryPerformanceCounter(&now)) return base_us;
    uint64_t ticks = uint64_t(now.QuadPart - base_count.QuadPart);
    uint64_t hz = uint64_t(frequency.QuadPart);
    return base_us + ticks / hz * 1000000u + ticks % hz * 1000000u / hz;
}
