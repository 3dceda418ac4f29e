// The COM ports as one kind of link: its row of the link table.
#pragma once

#include "base/results.h"

#include <cstddef>
#include <cstdint>

// The rates of the baud rate list, in list order.
inline constexpr uint32_t baud_rates[] = {9600, 19200, 38400, 57600, 115200, 126000};
inline constexpr int baud_default_index = 4;

// The index in baud_rates of a rate written in decimal ("115200"), or -1.
int baud_index_of(const char* text);

// Fills the address/rate box with the baud rates and selects "115200": what
// choosing a COM port does, and how the window starts.
void refill_baud_list();

// Connect: opens the port numbered connection_kind at the chosen rate, 8
// data bits, no parity, 1 stop bit; false after saying why it could not.
bool serial_connect();
// Logs what the port was taken to be and why its last open failed, with
// what to do (nothing when that is not known).
void log_open_failure();
// serial_transaction, the request shown in the window first.
Result serial_link_transaction(const char* request, char* reply, size_t reply_size, bool details);
// Closes the port numbered connection_kind.
void serial_link_close();
