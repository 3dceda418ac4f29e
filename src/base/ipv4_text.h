// IPv4 addresses as dotted text and back, as inet_addr and inet_ntoa do.
#pragma once

#include <cstdint>

inline constexpr uint32_t ipv4_none = 0xFFFFFFFFu;

// Parts in decimal, octal (leading 0) or hexadecimal (0x); "a.b.c.d",
// "a.b.c" (last part 16 bits), "a.b" (24 bits) or "a" (32 bits). Returns the
// address in network byte order, or ipv4_none for text that is not one.
uint32_t parse_ipv4(const char* text);

// A device's address as the operator writes it: four decimal parts of 0 to
// 255, nothing before or after. False for anything else and for 0.0.0.0 and
// 255.255.255.255, which name no one device (a request to the broadcast
// address would reach every device, and replies would come from any).
// address receives it in network byte order.
bool parse_device_address(const char* text, uint32_t& address);

// An address (network order) in dotted decimal, as inet_ntoa gives it: one
// buffer that the next call overwrites.
const char* dotted(uint32_t address);
