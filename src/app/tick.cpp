#include "app/tick.h"

namespace {
TickSource tick_source = nullptr;
}

uint32_t tick_ms() {
    return tick_source ? tick_source() : platform_tick_ms();
}

void set_tick_source(TickSource source) {
    tick_source = source;
}
