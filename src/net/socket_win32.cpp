// WinSock 1.1 behind the socket seam. Error codes are WinSock's own, passed
// on as WSAGetLastError gives them.
#include "net/socket.h"

#include "capture/wire_capture.h"
#include "net/socket_capture.h"

// winsock2.h before windows.h, which would bring in the old WinSock header.
#include <winsock2.h>

#include <windows.h>

#include "socket_bsd_private.h"

#include <array>
#include <cstring>

namespace {

static_assert(SocketHandle(INVALID_SOCKET) == no_socket);

// The code of the last failing socket call, kept at once: WSAGetLastError is
// the thread's last error, which any later failing window call replaces.
int last_error = 0;

template <typename T> T failed(T result) {
    last_error = WSAGetLastError();
    return result;
}

SOCKET as_socket(SocketHandle s) {
    return SOCKET(s);
}

struct WinSock {
    using Native = SOCKET;
    using Length = int;
    static Native native(SocketHandle s) { return as_socket(s); }
    static Native open_datagram() { return socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP); }
    static bool valid(Native s) { return s != INVALID_SOCKET; }
    static void close_native(Native s) { closesocket(s); }
};

// The event that a socket's arriving input sets, for the waits of the window
// loop. Each link holds one socket at a time.
struct Watch {
    SOCKET socket = INVALID_SOCKET;
    WSAEVENT event = WSA_INVALID_EVENT;
};
std::array<Watch, 8> watches;

Watch* watch_of(SOCKET s) {
    for (Watch& w : watches)
        if (w.socket == s) return &w;
    return nullptr;
}

} // namespace

int net_startup() {
    WSADATA data;
    return WSAStartup(0x0101, &data);
}

int net_last_error() {
    return last_error;
}

SocketHandle net_open(SocketKind kind) {
    SOCKET s = kind == SocketKind::datagram ? socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)
                                            : socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    return s == INVALID_SOCKET ? failed(no_socket) : SocketHandle(s);
}

bool net_bind(SocketHandle s, uint32_t address, uint16_t port) {
    sockaddr_in sa = make_address(address, port);
    return bind(as_socket(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 || failed(false);
}

void net_enable_broadcast(SocketHandle s) {
    BOOL on = TRUE;
    setsockopt(as_socket(s), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on),
               sizeof on);
}

bool net_connect(SocketHandle s, uint32_t address, uint16_t port) {
    sockaddr_in sa = make_address(address, port);
    if (connect(as_socket(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0)
        return failed(false);
    net_capture_connected(s, address, port);
    return true;
}

void net_close(SocketHandle s) {
    if (s == no_socket) return;
    if (Watch* w = watch_of(as_socket(s))) {
        WSACloseEvent(w->event);
        *w = Watch{};
    }
    net_capture_closed(s);
    closesocket(as_socket(s)); // also ends the event selection
}

long net_send_to(SocketHandle s, const void* data, size_t len, uint32_t address, uint16_t port) {
    sockaddr_in sa = make_address(address, port);
    int n = sendto(as_socket(s), static_cast<const char*>(data), int(len), 0,
                   reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    if (n == SOCKET_ERROR) return failed(-1L);
    net_capture_datagram(WireDirection::outbound, s, address, port, data, size_t(n), size_t(n));
    return long(n);
}

long net_send(SocketHandle s, const void* data, size_t len) {
    int n = send(as_socket(s), static_cast<const char*>(data), int(len), 0);
    if (n == SOCKET_ERROR) return failed(-1L);
    net_capture_stream(WireDirection::outbound, s, data, size_t(n));
    return long(n);
}

int net_input_ready(SocketHandle s) {
    u_long pending = 0;
    if (ioctlsocket(as_socket(s), FIONREAD, &pending) == SOCKET_ERROR) return failed(-1);
    if (pending > 0) return 1;
    // An empty datagram or the end of a stream counts nothing: select sees
    // them.
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(as_socket(s), &readable);
    timeval now{0, 0};
    int r = select(0, &readable, nullptr, nullptr, &now);
    if (r == SOCKET_ERROR) return failed(-1);
    return r > 0 ? 1 : 0;
}

long net_receive_from(SocketHandle s, void* buf, size_t cap, uint32_t* from) {
    sockaddr_in sa{};
    int sl = sizeof sa;
    int n = recvfrom(as_socket(s), static_cast<char*>(buf), int(cap), 0,
                     reinterpret_cast<sockaddr*>(&sa), &sl);
    if (n == SOCKET_ERROR) {
        // A longer datagram fills the buffer and loses its rest; WinSock does
        // not tell its size.
        if (WSAGetLastError() != WSAEMSGSIZE) return failed(-1L);
        n = int(cap) + 1;
    }
    *from = sa.sin_addr.s_addr;
    net_capture_datagram(WireDirection::inbound, s, *from, ntohs(sa.sin_port), buf,
                         size_t(n) < cap ? size_t(n) : cap, size_t(n));
    return long(n);
}

long net_receive(SocketHandle s, void* buf, size_t cap) {
    int n = recv(as_socket(s), static_cast<char*>(buf), int(cap), 0);
    if (n == SOCKET_ERROR) return failed(-1L);
    if (n > 0) net_capture_stream(WireDirection::inbound, s, buf, size_t(n));
    return long(n);
}

// A socket cannot be waited on itself: an event selected for its input can.
// The selection makes the socket non-blocking, which the links never notice:
// they read only what is ready, and connect before they first wait.
// The event is reset before each wait and set again when input is already
// there, since WinSock records input once until the next read.
WaitHandle net_wait_handle(SocketHandle s) {
    Watch* w = watch_of(as_socket(s));
    if (w == nullptr) {
        w = watch_of(INVALID_SOCKET);
        if (w == nullptr) return no_wait_handle;
        WSAEVENT event = WSACreateEvent();
        if (event == WSA_INVALID_EVENT) return no_wait_handle;
        if (WSAEventSelect(as_socket(s), event, FD_READ | FD_CLOSE) == SOCKET_ERROR) {
            WSACloseEvent(event);
            return no_wait_handle;
        }
        *w = Watch{as_socket(s), event};
    }
    WSAResetEvent(w->event);
    if (net_input_ready(s) != 0) WSASetEvent(w->event);
    return WaitHandle(w->event);
}

bool net_local_endpoint(SocketHandle s, uint32_t toward, uint32_t* address, uint16_t* port) {
    return local_endpoint<WinSock>(s, toward, address, port);
}

bool net_peer_endpoint(SocketHandle s, uint32_t* address, uint16_t* port) {
    return socket_endpoint<WinSock>(WinSock::native(s), true, address, port);
}
