#include "base/wall_clock.h"

#include <time.h>

int64_t platform_clock_local_ms() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    return (int64_t(ts.tv_sec) + local.tm_gmtoff) * 1000 + ts.tv_nsec / 1000000;
}
