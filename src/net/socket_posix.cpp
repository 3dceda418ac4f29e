// BSD sockets behind the socket seam. The error of a failing call is kept as
// the WinSock code of the same meaning, so the log names what the Windows
// build names.
#include "net/socket.h"

#include "capture/wire_capture.h"
#include "net/socket_capture.h"
#include "net/socket_errno.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "socket_bsd_private.h"

namespace {

int last_error = 0;

// The sockets net_open made, and which of them are streams. A test for input
// on one of them reads what it finds at once, where a poll and then the read
// would make two calls of every look; the next read takes it from there.
struct Opened {
    SocketHandle socket = no_socket;
    bool stream = false;
};
std::array<Opened, 8> opened;

struct ReadAhead {
    SocketHandle socket = no_socket; // whose input it holds; no_socket: none
    long length = 0;                 // the datagram's whole size, or stream bytes; -1: failed
    int error = 0;                   // the errno of a failed read
    sockaddr_in from{};
    size_t taken = 0; // stream bytes handed over
    uint8_t bytes[65536];
};
ReadAhead ahead;

Opened* opened_socket(SocketHandle s) {
    for (Opened& o : opened)
        if (o.socket == s) return &o;
    return nullptr;
}

// Stores the error of the call that just failed and passes its result on.
template <typename T> T failed(T result) {
    last_error = winsock_code_for_errno(errno);
    return result;
}

struct Bsd {
    using Native = int;
    using Length = socklen_t;
    static Native native(SocketHandle s) { return int(s); }
    // A child process must not keep the device's socket open.
    static Native open_datagram() {
        return socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    }
    static bool valid(Native s) { return s >= 0; }
    static void close_native(Native s) { close(s); }
};

} // namespace

int winsock_code_for_errno(int err) {
    struct Pair {
        int err;
        int code;
    };
    static constexpr Pair table[] = {
        {EINTR, 10004},           {EBADF, 10009},        {EACCES, 10013},
        {EPERM, 10013},           {EFAULT, 10014},       {EINVAL, 10022},
        {EMFILE, 10024},          {ENFILE, 10024},       {EWOULDBLOCK, 10035},
        {EAGAIN, 10035},          {EINPROGRESS, 10036},  {EALREADY, 10037},
        {ENOTSOCK, 10038},        {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},
        {EPROTOTYPE, 10041},      {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043},
        {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046},
        {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},
        {ENETDOWN, 10050},        {ENETUNREACH, 10051},  {ENETRESET, 10052},
        {ECONNABORTED, 10053},    {ECONNRESET, 10054},   {EPIPE, 10054},
        {ENOBUFS, 10055},         {ENOMEM, 10055},       {EISCONN, 10056},
        {ENOTCONN, 10057},        {ESHUTDOWN, 10058},    {ETOOMANYREFS, 10059},
        {ETIMEDOUT, 10060},       {ECONNREFUSED, 10061}, {ELOOP, 10062},
        {ENAMETOOLONG, 10063},    {EHOSTDOWN, 10064},    {EHOSTUNREACH, 10065},
        {ENOTEMPTY, 10066},       {EUSERS, 10068},       {EDQUOT, 10069},
        {ESTALE, 10070},          {EREMOTE, 10071},
    };
    for (const Pair& p : table)
        if (p.err == err) return p.code;
    return err; // shows as "Unknown 0x%04X" with the errno value
}

int net_startup() {
    return 0;
}

int net_last_error() {
    return last_error;
}

bool net_local_endpoint(SocketHandle s, uint32_t toward, uint32_t* address, uint16_t* port) {
    return local_endpoint<Bsd>(s, toward, address, port);
}

bool net_peer_endpoint(SocketHandle s, uint32_t* address, uint16_t* port) {
    return socket_endpoint<Bsd>(Bsd::native(s), true, address, port);
}

SocketHandle net_open(SocketKind kind) {
    // A child process must not keep the device's socket open.
    int fd = kind == SocketKind::datagram
                 ? socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP)
                 : socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) return failed(no_socket);
    if (Opened* free = opened_socket(no_socket)) *free = {fd, kind == SocketKind::stream};
    return fd;
}

bool net_bind(SocketHandle s, uint32_t address, uint16_t port) {
    sockaddr_in sa = make_address(address, port);
    if (bind(int(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return failed(false);
    return true;
}

void net_enable_broadcast(SocketHandle s) {
    int on = 1;
    setsockopt(int(s), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
}

bool net_connect(SocketHandle s, uint32_t address, uint16_t port) {
    sockaddr_in sa = make_address(address, port);
    int r;
    do {
        r = connect(int(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    } while (r != 0 && errno == EINTR);
    if (r != 0) return failed(false);
    net_capture_connected(s, address, port);
    return true;
}

void net_close(SocketHandle s) {
    if (s == no_socket) return;
    if (ahead.socket == s) ahead.socket = no_socket;
    if (Opened* o = opened_socket(s)) *o = Opened{};
    net_capture_closed(s);
    close(int(s));
}

long net_send_to(SocketHandle s, const void* data, size_t len, uint32_t address, uint16_t port) {
    sockaddr_in sa = make_address(address, port);
    ssize_t n =
        sendto(int(s), data, len, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    if (n < 0) return failed(-1L);
    net_capture_datagram(WireDirection::outbound, s, address, port, data, size_t(n), size_t(n));
    return long(n);
}

long net_send(SocketHandle s, const void* data, size_t len) {
    // A peer that has gone must give an error, not SIGPIPE.
    ssize_t n = send(int(s), data, len, MSG_NOSIGNAL);
    if (n < 0) return failed(-1L);
    net_capture_stream(WireDirection::outbound, s, data, size_t(n));
    return long(n);
}

int net_input_ready(SocketHandle s) {
    if (ahead.socket == s) return 1;
    if (const Opened* o = ahead.socket == no_socket ? opened_socket(s) : nullptr) {
        socklen_t sl = sizeof ahead.from;
        // MSG_TRUNC: the whole size of a datagram longer than the buffer.
        ssize_t n =
            o->stream ? recv(int(s), ahead.bytes, sizeof ahead.bytes, MSG_DONTWAIT)
                      : recvfrom(int(s), ahead.bytes, sizeof ahead.bytes, MSG_TRUNC | MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&ahead.from), &sl);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 0;
        if (n < 0 && errno == EBADF) return failed(-1);
        // Any other failure is the read's to report, as when a poll finds it.
        ahead.error = n < 0 ? errno : 0;
        ahead.socket = s;
        ahead.length = long(n);
        ahead.taken = 0;
        return 1;
    }
    // poll alone: the size of what is pending is what the read returns.
    pollfd p{int(s), POLLIN, 0};
    int r = poll(&p, 1, 0);
    if (r < 0) return failed(-1);
    if (p.revents & POLLNVAL) {
        last_error = winsock_code_for_errno(EBADF);
        return -1;
    }
    return r > 0 ? 1 : 0;
}

long net_receive_from(SocketHandle s, void* buf, size_t cap, uint32_t* from) {
    sockaddr_in sa{};
    ssize_t n;
    if (ahead.socket == s) {
        ahead.socket = no_socket;
        n = ahead.length;
        errno = ahead.error;
        sa = ahead.from;
        if (n > 0) memcpy(buf, ahead.bytes, std::min({size_t(n), cap, sizeof ahead.bytes}));
    } else {
        socklen_t sl = sizeof sa;
        // MSG_TRUNC: the whole size of a datagram longer than the buffer.
        n = recvfrom(int(s), buf, cap, MSG_TRUNC | MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&sa),
                     &sl);
    }
    if (n < 0) return failed(-1L);
    *from = sa.sin_addr.s_addr;
    net_capture_datagram(WireDirection::inbound, s, *from, ntohs(sa.sin_port), buf,
                         size_t(n) < cap ? size_t(n) : cap, size_t(n));
    return long(n);
}

long net_receive(SocketHandle s, void* buf, size_t cap) {
    ssize_t n;
    if (ahead.socket == s) {
        size_t left = ahead.length > 0 ? size_t(ahead.length) - ahead.taken : 0;
        n = ahead.length < 0 ? -1 : ssize_t(left < cap ? left : cap);
        errno = ahead.error;
        if (n > 0) memcpy(buf, ahead.bytes + ahead.taken, size_t(n));
        ahead.taken += n > 0 ? size_t(n) : 0;
        if (n <= 0 || ahead.taken == size_t(ahead.length)) ahead.socket = no_socket;
    } else {
        n = recv(int(s), buf, cap, MSG_DONTWAIT);
    }
    if (n < 0) return failed(-1L);
    if (n > 0) net_capture_stream(WireDirection::inbound, s, buf, size_t(n));
    return long(n);
}

WaitHandle net_wait_handle(SocketHandle s) {
    return WaitHandle(s);
}
