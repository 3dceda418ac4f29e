#include "base/tick.h"

#include <windows.h>

uint32_t platform_tick_ms() {
    return GetTickCount();
}

uint64_t platform_tick_us() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    // Seconds and the rest apart, so that the product cannot overflow.
    uint64_t ticks = uint64_t(now.QuadPart), per_second = uint64_t(frequency.QuadPart);
    return ticks / per_second * 1000000u + ticks % per_second * 1000000u / per_second;
}
