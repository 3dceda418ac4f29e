#include "base/state.h"

int32_t connection_kind = 1;
uint8_t connected_flag = 0;
int32_t busy_flag = 0;
uint8_t quit_flag = 0;
uint8_t close_pending = 0;
char link_failure_reason[768] = "";
