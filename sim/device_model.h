// The simulated signature device: what it answers to each request text,
// shared by the simulator's serial and network sides.
#pragma once

#include <string>
#include <string_view>

struct DeviceModel {
    // Answers one request text with the reply text: the status bytes
    // "EE/DD/FF" in hexadecimal, then "/" and the data.
    std::string handle(std::string_view request);
};
