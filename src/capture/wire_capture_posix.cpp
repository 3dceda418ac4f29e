// The wire recorder's clock over POSIX.
#include "capture/wire_capture.h"

#include <time.h>

uint64_t wire_clock_us() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return uint64_t(ts.tv_sec) * 1000000u + uint64_t(ts.tv_nsec) / 1000u;
}
