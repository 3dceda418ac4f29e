#include "net/ms_timer.h"

#include "base/tick.h"

void timer_start(MsTimer* timer, uint32_t duration_ms) {
    timer->start = tick_ms();
    timer->duration = duration_ms;
}

bool timer_expired(MsTimer* timer) {
    if (uint32_t(tick_ms() - timer->start) < timer->duration) return false;
    timer->start = 0;
    timer->duration = 0;
    return true;
}

uint32_t timer_remaining(const MsTimer& timer) {
    uint32_t elapsed = tick_ms() - timer.start;
    return elapsed < timer.duration ? timer.duration - elapsed : 0;
}
