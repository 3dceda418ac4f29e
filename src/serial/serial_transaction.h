// The serial request/reply protocol: one device command over the open COM
// port numbered connection_kind.
#pragma once

#include "base/results.h"

#include <cstddef>
#include <cstdint>

constexpr size_t serial_reply_size = 2048;
// Body of the reply being received; after a verified frame, the reply text.
extern char serial_reply_buffer[serial_reply_size];

// Sends the request and brings back the verified reply text into reply
// (reply_size bytes, a longer reply is cut to fit). Holds busy_flag while it
// runs. Returns result_ok or one of the serial codes of base/results.h.
Result serial_transaction(const char* request, char* reply, size_t reply_size,
                          int32_t details_flag);
