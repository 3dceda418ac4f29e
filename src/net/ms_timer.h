// The millisecond timers that every network wait uses, on the system tick.
#pragma once

#include <cstdint>

// Both values 0 means expired.
struct MsTimer {
    uint32_t start;
    uint32_t duration;
};

void timer_start(MsTimer* timer, uint32_t duration_ms);
// True once duration has passed since start (wrap-safe); then the timer is
// cleared so that it stays expired until started again.
bool timer_expired(MsTimer* timer);
// Milliseconds left before expiry; 0 when expired. Does not clear the timer.
uint32_t timer_remaining(const MsTimer& timer);
