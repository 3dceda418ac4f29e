// The socket calls the network links make: WinSock 1.1 on Windows, BSD
// sockets elsewhere. The links' logic stays the same on both; only these
// calls change their home. Addresses are IPv4 in network byte order, ports in
// host order.
#pragma once

#include "base/pump.h"

#include <cstddef>
#include <cstdint>

using SocketHandle = intptr_t;
constexpr SocketHandle no_socket = -1;

enum class SocketKind { datagram, stream };

// WSAStartup for version 1.1: 0, or the WinSock code it returned.
int net_startup();

// socket(); no_socket on failure.
SocketHandle net_open(SocketKind kind);
bool net_bind(SocketHandle s, uint32_t address, uint16_t port);
void net_enable_broadcast(SocketHandle s); // SO_BROADCAST = 1, result not examined
bool net_connect(SocketHandle s, uint32_t address, uint16_t port);
void net_close(SocketHandle s);

// Bytes sent, or -1.
long net_send_to(SocketHandle s, const void* data, size_t len, uint32_t address, uint16_t port);
long net_send(SocketHandle s, const void* data, size_t len);

// Tests for input without blocking (ioctlsocket FIONREAD on Windows, which
// needs select as well to see an empty datagram or a closed stream). Returns
// -1 when the test fails, 0 when nothing can be read, 1 when a read would not
// block: a datagram (perhaps empty) or stream bytes or the stream's end.
int net_input_ready(SocketHandle s);

// Reads one datagram, storing at most cap bytes. Returns the datagram's whole
// size (a longer datagram is cut to cap and its rest dropped; where the
// system does not tell the size, it shows as cap + 1), or -1. *from receives
// the source address.
long net_receive_from(SocketHandle s, void* buf, size_t cap, uint32_t* from);

// Reads up to cap bytes of a stream: the count, 0 when the peer has closed
// the connection, or -1.
long net_receive(SocketHandle s, void* buf, size_t cap);

// WSAGetLastError: the WinSock code of the last failing call above.
int net_last_error();

// Where a socket sends from toward address: its bound address and port, and
// for a socket bound to every local address the address the system would
// choose for that destination. False (0 where unknown) when the system
// cannot tell.
bool net_local_endpoint(SocketHandle s, uint32_t toward, uint32_t* address, uint16_t* port);
// The other end of a connected stream.
bool net_peer_endpoint(SocketHandle s, uint32_t* address, uint16_t* port);

// What ui_wait watches for the socket's input: the socket itself, or on
// Windows an event that its input sets. no_wait_handle when there is none;
// the caller then looks again after a short wait.
WaitHandle net_wait_handle(SocketHandle s);
