// The device's error codes in words: name, description, suggested action.
#pragma once

#include <array>

struct DeviceError {
    const char* name;
    const char* description;
    const char* action;
};

// Rows 0x00..0x25 are indexed by the code; the last row is code 0x80.
extern const std::array<DeviceError, 39> device_error_table;

// The row for an error code, or nullptr for a code without one.
const DeviceError* device_error_row(int code);
