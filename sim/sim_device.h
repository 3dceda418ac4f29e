// The one device that every side of the simulator serves, and the
// simulator's request log. Sides run on threads of their own; everything
// here may be called from any of them.
#pragma once

#include "sim/device_model.h"

#include <mutex>
#include <string>
#include <string_view>

std::mutex& sim_device_mutex();
DeviceModel& sim_device_unlocked();

// Runs f(DeviceModel&) with the device locked.
template <class F> auto sim_with_device(F&& f) {
    std::lock_guard<std::mutex> lock(sim_device_mutex());
    return f(sim_device_unlocked());
}

// A fresh device made from the seed.
void sim_device_reset(uint32_t seed);

// Answers one request on behalf of a side and logs it, after the device's
// reply delay.
std::string sim_request(const char* side, std::string_view request);

// Opens the request log ("-": standard output); false after printing why.
bool sim_log_open(const char* path);
void sim_log_close();
// One log line from a side, for what is not a request (injected faults).
void sim_log_note(const char* side, const char* text);
// With sim_log_bytes_on set, one log line of the bytes that a side received
// in one read, in hexadecimal after "< ", so that a test can see the exact
// frames that arrived.
extern bool sim_log_bytes_on;
void sim_log_bytes(const char* side, const void* data, size_t len);
