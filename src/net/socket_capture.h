// The socket seams' side of the wire recorder (capture/wire_capture.h). Each
// call finds both ends of the socket's traffic, asking the system once per
// socket and peer rather than for every datagram, and hands the bytes to the
// recorder with them. Nothing is asked while recording is off.
#pragma once

#include "net/socket.h"

#include <cstddef>
#include <cstdint>

// Defined by capture/wire_capture.h, which the seam files include: the net
// headers stay free of the recorder's.
enum class WireDirection : uint8_t;

// A datagram of length bytes to or from peer, of which stored are at data.
void net_capture_datagram(WireDirection direction, SocketHandle s, uint32_t peer,
                          uint16_t peer_port, const void* data, size_t stored, size_t length);
void net_capture_connected(SocketHandle s, uint32_t peer, uint16_t peer_port);
void net_capture_stream(WireDirection direction, SocketHandle s, const void* data, size_t length);
// The socket's number may come back for another socket.
void net_capture_closed(SocketHandle s);
