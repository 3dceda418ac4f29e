// Inside the device check: each link's opening, checks and closing, and
// what they share. Not for use outside src/check.
#pragma once

#include "check/device_check.h"

#include <cstddef>
#include <cstdint>

// Time spent in waits that ran to their end with nothing in (time-outs and
// quiet windows), added up over the running check.
extern uint64_t check_waited_us;

// Each returns false with why filled when the link cannot be opened.
bool serial_check_open(const CheckTarget& target, char* why, size_t cap);
void serial_check_one(const CheckInfo& info, CheckOutcome& out);
void serial_check_close();

bool net_check_open(const CheckTarget& target, char* why, size_t cap);
void net_check_one(const CheckInfo& info, CheckOutcome& out);
void net_check_close();

// Helpers for the verdicts: evidence by printf, a pass or failure with it.
// (MinGW's C++ library formats as C99 does, %zu included: gnu_printf.)
void check_say(CheckOutcome& out, const char* format, ...)
#if defined(__MINGW32__)
    __attribute__((format(gnu_printf, 2, 3)))
#elif defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
void check_pass(CheckOutcome& out, uint32_t measured_ms, uint32_t limit_ms);
// Whether a reply text lacks the status layout; if so, says so as the
// evidence.
bool status_layout_missing(CheckOutcome& out, const char* text, size_t len);
// The *.reply.status check on a good reply: passes with its status bytes.
void check_reply_status(CheckOutcome& out, const char* text, size_t len);
