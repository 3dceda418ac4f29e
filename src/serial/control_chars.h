// The control characters of the serial protocol, shared by the console's
// links and the simulated device.
#pragma once

#include <cstdint>

enum : uint8_t {
    stx = 0x02, // starts a frame
    etx = 0x03, // ends a frame
    enq = 0x05, // is the device ready?
    ack = 0x06, // ready; frame accepted
    nak = 0x15, // frame rejected, send it again
    can = 0x18, // cancel; refused
};
