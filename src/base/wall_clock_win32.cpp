#include "base/wall_clock.h"

#include <windows.h>

int64_t platform_clock_local_ms() {
    // The local time as a FILETIME counts the local calendar's 100 ns steps
    // since 1601-01-01, which lies 11644473600 s before 1970-01-01.
    SYSTEMTIME local;
    GetLocalTime(&local);
    FILETIME ft{};
    SystemTimeToFileTime(&local, &ft);
    ULARGE_INTEGER t{};
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    return int64_t(t.QuadPart / 10000) - 11644473600000LL;
}
