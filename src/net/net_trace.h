// The lines that trace the network links' requests and RMLX frames, written
// only while the Details flag is set.
#pragma once

#include "net/rmlx_frame.h"

#include <cstddef>
#include <cstdint>

// The Details flag of the request in progress, which link_transaction hands
// over for every link. It stays until the next request, so that Connect's
// query and the discovery trace as the last request did.
void set_net_details(bool on);
bool net_details();

// The trace line of an RMLX frame being sent (received false, address the
// target) or accepted (address its source).
void trace_frame(const RmlxFrame& frame, bool received, uint32_t address);

// "<prefix>: dropped N late byte(s)", and while the flag is set their text as
// the frame lines show it (bytes holds the first dropped_bytes_kept of them).
inline constexpr size_t dropped_bytes_kept = 121;
void log_dropped_bytes(const char* prefix, const char* bytes, size_t count);

// "Sending '%s'" with the request's first 40 characters.
void log_request_line(const char* request);
