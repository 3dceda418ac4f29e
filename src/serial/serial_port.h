// The serial COM port. Ports 1 to 4 exist; every operation treats any other
// number as a port that does not exist. Bytes travel raw, 8 bits, with no
// translation; reads never block and writes wait as long as the driver needs.
#pragma once

#include "base/pump.h"

#include <cstddef>
#include <cstdint>

constexpr int serial_port_first = 1;
constexpr int serial_port_last = 4;

// Opens and configures the port (no flow control, DTR and RTS raised).
// True when the port is open, also when it already was; false on failure,
// which leaves the port closed.
bool serial_open(int port, uint32_t baud, char parity, uint32_t data_bits, uint32_t stop_bits);

// Closes the port if it is open; does nothing for a port that is not open or
// a number outside the ports handled. A port lost is closed as well.
void serial_close(int port);

// Whether the port's device has gone since it was opened (see serial_reopen);
// looks at the device when it has not been seen gone yet.
bool serial_port_lost(int port);
// Opens a lost port again by the same path with the same settings: true, or
// false with the port still lost (serial_device_failure says why).
bool serial_reopen(int port);

// The device a port opens, for programs that are given a device path: from
// the next open on, port opens path instead of COMn (nullptr: COMn again).
// False, and nothing changed, for a port outside the ports handled or a path
// of serial_path_size characters or more.
inline constexpr size_t serial_path_size = 512;
bool serial_set_port_path(int port, const char* path);
// How the log names the port: its path when one was set, else "COMn". One
// buffer that the next call overwrites.
const char* serial_port_name(int port);

// Received bytes waiting; 0 for a closed port or a failed query.
uint32_t serial_bytes_waiting(int port);

// The next received byte; 0 when none is waiting or the read fails.
uint8_t serial_read_byte(int port);

// Failed writes are absorbed; the protocol's time-outs catch a dead line.
void serial_write_byte(int port, uint8_t byte);

// Discards both queues.
void serial_purge(int port);

// 1 as soon as a byte waits on the port numbered connection_kind, 0 when
// more than timeout_ms have passed, -1 at once when its device has gone.
// Window messages are dispatched meanwhile, and the processor is handed back
// while nothing is pending.
int serial_wait_input(uint32_t timeout_ms);

// What ui_wait watches for input on the port; no_wait_handle when the port
// is closed or the platform cannot wait on it.
WaitHandle serial_wait_handle(int port);
