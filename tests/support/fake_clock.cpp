#include "support/fake_clock.h"

#include "base/tick.h"
#include "base/wall_clock.h"
#include "support/headless.h"

#include <poll.h>

namespace fake_clock {
namespace {
uint32_t tick = 0;
uint32_t slice = 200;
unsigned jump_count = 0;
int64_t wall = 0;

int64_t read_wall() {
    return wall;
}

uint32_t read_tick() {
    return tick;
}

void wait(WaitHandle handle, uint32_t timeout_ms) {
    if (handle != no_wait_handle) {
        pollfd p{int(handle), POLLIN, 0};
        int ms = int(timeout_ms < slice ? timeout_ms : slice);
        if (poll(&p, 1, ms) > 0) return;
    }
    // Nothing came: let the whole wait pass at once (at least one tick, so
    // that a zero-length wait still ends).
    tick += timeout_ms == 0 ? 1 : (timeout_ms == wait_forever ? 60000 : timeout_ms);
    ++jump_count;
}
} // namespace

void install(uint32_t start_tick, uint32_t real_slice_ms) {
    tick = start_tick;
    slice = real_slice_ms;
    jump_count = 0;
    set_tick_source(read_tick);
    headless::set_wait_hook(wait);
}

void uninstall() {
    set_tick_source(nullptr);
    headless::set_wait_hook(nullptr);
}

uint32_t now() {
    return tick;
}
void advance(uint32_t ms) {
    tick += ms;
}
unsigned jumps() {
    return jump_count;
}

void install_wall(int64_t local_ms) {
    wall = local_ms;
    set_clock_source(read_wall);
}
void set_wall(int64_t local_ms) {
    wall = local_ms;
}
void uninstall_wall() {
    set_clock_source(nullptr);
}

} // namespace fake_clock
