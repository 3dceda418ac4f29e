#include "app/tick.h"

#include <windows.h>

uint32_t platform_tick_ms() {
    return GetTickCount();
}
