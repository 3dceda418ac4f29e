// Process-wide program state shared by every subsystem.
#pragma once

#include <cstdint>

extern int32_t connection_kind; // 1..12 COM port, 13 RMLX, 14 TCP, 15 plain UDP
extern uint8_t connected_flag;
extern int32_t busy_flag;
extern uint8_t quit_flag;
// A close request that arrived while an operation was running; the close
// sequence runs as soon as the operation has ended.
extern uint8_t close_pending;
// Why the link last failed, in words with what to do ("nothing listens at
// 192.0.2.5 port 9101"); Connect empties it. For reports beside the log.
extern char link_failure_reason[768];

// The kinds of link, in the order of the connection kind list: COM1 to
// COM12, then 13 RMLX, 14 TCP and 15 plain UDP.
enum : int32_t { kind_first_com = 1, kind_last_com = 12, kind_rmlx, kind_tcp, kind_udp };
static_assert(kind_rmlx == 13 && kind_udp == 15);
