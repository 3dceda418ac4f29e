// The WinSock error names that the network links log.
#pragma once

#include <cstddef>
#include <cstdint>

// The short name of a WinSock error code, or "Unknown 0x%04X"; the text
// lives in one buffer that the next call overwrites.
const char* winsock_error_name(int code);
// A socket error in words, with the address and port it concerns (address
// 0: this machine's port): "nothing listens at 192.0.2.5 port 9101". False,
// with out empty, for an error that has no words beyond its name.
bool socket_error_words(int code, uint32_t address, uint16_t port, char* out, size_t cap);

// Logs "<message>: <name of the last socket error>", then, where it has
// words, "<prefix>: <words>" (prefix: message up to its first ':'), which
// also become link_failure_reason.
void report_socket_error(const char* message, uint32_t address, uint16_t port);
