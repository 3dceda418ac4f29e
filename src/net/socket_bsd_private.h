// What BSD sockets and WinSock do alike, written once for both sides of the
// socket seam: socket_posix.cpp and socket_win32.cpp include it after their
// system headers, with a description of their platform:
//   struct Platform {
//       using Native = ...;  // the system's socket
//       using Length = ...;  // the length type of an address
//       static Native native(SocketHandle s);
//       static Native open_datagram();  // a UDP socket, not yet bound
//       static bool valid(Native s);
//       static void close_native(Native s);
//   };
#pragma once

#include "net/socket.h"

#include <cstdint>

inline sockaddr_in make_address(uint32_t address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = address;
    sa.sin_port = htons(port);
    return sa;
}

// The address and port of a socket's own end, or of its peer.
template <typename Platform>
bool socket_endpoint(typename Platform::Native s, bool peer, uint32_t* address, uint16_t* port) {
    sockaddr_in sa{};
    typename Platform::Length sl = sizeof sa;
    auto* named = reinterpret_cast<sockaddr*>(&sa);
    if ((peer ? getpeername(s, named, &sl) : getsockname(s, named, &sl)) != 0) return false;
    *address = sa.sin_addr.s_addr;
    *port = ntohs(sa.sin_port);
    return true;
}

// The local end of a socket; for one bound to every address, the address
// the system sends from toward the given one.
template <typename Platform>
bool local_endpoint(SocketHandle s, uint32_t toward, uint32_t* address, uint16_t* port) {
    if (!socket_endpoint<Platform>(Platform::native(s), false, address, port)) return false;
    if (*address != INADDR_ANY) return true;
    // Connecting a datagram socket sends nothing: it asks the routing table.
    typename Platform::Native probe = Platform::open_datagram();
    if (!Platform::valid(probe)) return false;
    int on = 1; // a BOOL on Windows
    setsockopt(probe, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on);
    sockaddr_in to = make_address(toward, 9);
    uint16_t probe_port = 0;
    bool ok = connect(probe, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
              socket_endpoint<Platform>(probe, false, address, &probe_port);
    Platform::close_native(probe);
    return ok;
}
