// Dotted IPv4 text to an address, as inet_addr reads it.
#pragma once

#include <cstdint>

inline constexpr uint32_t ipv4_none = 0xFFFFFFFFu;

// Parts in decimal, octal (leading 0) or hexadecimal (0x); "a.b.c.d",
// "a.b.c" (last part 16 bits), "a.b" (24 bits) or "a" (32 bits). Returns the
// address in network byte order, or ipv4_none for text that is not one.
uint32_t parse_ipv4(const char* text);
