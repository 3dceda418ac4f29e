// The one operation through which every device request passes, and the
// reply status it decodes.
#pragma once

#include "base/results.h"

#include <cstddef>
#include <cstdint>

inline constexpr size_t reply_buffer_size = 1000;
extern char reply_buffer[reply_buffer_size];
extern int32_t error_code;
extern int32_t device_status;
extern int32_t function_status;

// Sends request over the link that connection_kind selects, repeats it while
// the device is busy, decodes the status bytes, updates the panel and the
// Reply field and logs device errors. data receives the reply's data part,
// cut to data_capacity - 1 characters; it is untouched on failure. Returns 0
// when a reply was decoded (whatever its error code), else the link's code.
Result execute_command(const char* request, char* data, size_t data_capacity, int details_flag);

// Told of every request execute_command ran, as it returns: the request, its
// result and the time it took in milliseconds and in microseconds, repeats
// included. After result_ok the
// reply state (reply_buffer, the status bytes) holds its reply. For programs
// that report requests otherwise than in the log; nullptr: nobody is told.
using CommandWatcher = void (*)(const char* request, int result, uint32_t elapsed_ms,
                                uint64_t elapsed_us);
void set_command_watcher(CommandWatcher watcher);

// A device request is in progress (a serial transaction holds busy_flag; a
// network one only runs inside execute_command). Handlers that start device
// work, the kind selection and the close sequence wait while it is.
bool operation_running();

// 0..255 for two hexadecimal digits (either case), -1 otherwise.
int decode_hex_byte(const char* two);

// The three status bytes of a reply text of len characters, each 0xFF when
// its digits are not hexadecimal or lie past the reply's end.
struct ReplyStatus {
    int32_t error_code, device_status, function_status;
};
ReplyStatus decode_reply_status(const char* reply, size_t len);

// Copies the data part of a reply text of len characters (from character 9;
// none when the reply is 9 characters or shorter) into data, terminated and
// cut to capacity - 1 characters. Returns its length.
size_t copy_reply_data(const char* reply, size_t len, char* data, size_t capacity);

void update_status_panel();

// The link transaction that connection_kind selects; writes the reply text
// into reply_buffer and returns 0, or the link's failure code. details: the
// request's "Details" flag, which execute_command passes on.
Result link_transaction(const char* request, bool details);
