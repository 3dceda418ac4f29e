// What each platform provides under the COM port table: one open serial
// device. serial_posix.cpp and serial_win32.cpp implement it.
#pragma once

#include "base/pump.h"

#include <cstdint>

// A file descriptor, or a HANDLE; -1 is both "no descriptor" and
// INVALID_HANDLE_VALUE.
using SerialHandle = intptr_t;
constexpr SerialHandle serial_no_device = -1;

// Opens COMn exclusively, or the device at path when one is given, and
// applies the line settings; serial_no_device on any failure (nothing is
// left open then). Settings that the platform cannot express fail before
// the device is touched.
SerialHandle serial_device_open(int port, const char* path, uint32_t baud, char parity,
                                uint32_t data_bits, uint32_t stop_bits);
void serial_device_close(SerialHandle device);

// Why the last serial_device_open failed, in words with what to do: what the
// port was taken to be ("COM1 is /dev/ttyUSB0 (the link ... points there)";
// empty when the name says it), and the reason ("no device at /dev/ttyUSB0:
// is the adapter plugged in?"). Both empty after a success.
struct SerialOpenFailure {
    char device[640];
    char reason[768];
};
const SerialOpenFailure& serial_device_failure();
uint32_t serial_device_bytes_waiting(SerialHandle device);
// false when no byte could be read.
bool serial_device_read(SerialHandle device, uint8_t& byte);
void serial_device_write(SerialHandle device, uint8_t byte);
void serial_device_purge(SerialHandle device);
// The path that COMn opens by now (on POSIX its COM link, or the serial port
// of its number without one; on Windows \\.\COMn): a lost port opens again
// by the same path, never by another device's. False when it cannot be named.
bool serial_device_com_path(int port, char* out, size_t cap);
// Whether the device has gone: unplugged, or the other end of the line
// closed (a hang-up or a device error on the descriptor).
bool serial_device_gone(SerialHandle device);
// What ui_wait can watch for input, or no_wait_handle.
WaitHandle serial_device_wait_handle(SerialHandle device);
