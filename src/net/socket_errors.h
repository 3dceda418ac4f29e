// The WinSock error names that the network links log.
#pragma once

// The short name of a WinSock error code, or "Unknown 0x%04X"; the text
// lives in one buffer that the next call overwrites.
const char* winsock_error_name(int code);
// Logs "<message>: <name of the last socket error>".
void report_socket_error(const char* message);
