#include "net/ms_timer.h"

#include "base/tick.h"

// A timer of no duration is expired whatever the clock says: it reads none
// (a request reads the clock often enough as it is).
void timer_start(MsTimer* timer, uint32_t duration_ms) {
    timer->start = duration_ms != 0 ? tick_ms() : 0;
    timer->duration = duration_ms;
}

bool timer_expired(MsTimer* timer) {
    if (timer->duration != 0 && uint32_t(tick_ms() - timer->start) < timer->duration) return false;
    timer->start = 0;
    timer->duration = 0;
    return true;
}

uint32_t timer_remaining(const MsTimer& timer) {
    if (timer.duration == 0) return 0;
    uint32_t elapsed = tick_ms() - timer.start;
    return elapsed < timer.duration ? timer.duration - elapsed : 0;
}
