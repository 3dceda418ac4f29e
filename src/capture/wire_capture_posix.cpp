// The wire recorder's clock and the capture file's replacement over POSIX.
#include "capture/capture_file.h"
#include "capture/wire_capture.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

uint64_t wire_clock_us() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return uint64_t(ts.tv_sec) * 1000000u + uint64_t(ts.tv_nsec) / 1000u;
}

bool wire_replace_file(const char* from, const char* to, char* why, size_t why_size) {
    int fd = open(from, O_RDONLY | O_CLOEXEC);
    bool synced = fd >= 0 && fsync(fd) == 0;
    if (fd >= 0) close(fd);
    if (synced && rename(from, to) == 0) return true;
    snprintf(why, why_size, "%s", strerror(errno));
    return false;
}
