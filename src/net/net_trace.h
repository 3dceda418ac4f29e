// The lines that trace the network links' requests and RMLX frames, written
// only while `details` is set.
#pragma once

#include "net/rmlx_frame.h"

#include <cstdint>

// The trace line of an RMLX frame being sent (received false, address the
// target) or accepted (address its source).
void trace_frame(const RmlxFrame& frame, bool received, uint32_t address);

// "Sending '%s'" with the request's first 40 characters.
void log_request_line(const char* request);
