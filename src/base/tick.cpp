#include "base/tick.h"

namespace {
TickSource tick_source = nullptr;
}

uint32_t tick_ms() {
    return tick_source ? tick_source() : platform_tick_ms();
}

uint64_t tick_us() {
    return tick_source ? uint64_t(tick_source()) * 1000u : platform_tick_us();
}

void set_tick_source(TickSource source) {
    tick_source = source;
}
