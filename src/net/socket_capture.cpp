#include "net/socket_capture.h"

#include "capture/wire_capture.h"

#include <array>

namespace {

// Where each socket's traffic goes between. A datagram socket has an entry
// per peer address (the peer's port comes with each datagram), a stream one.
struct Endpoint {
    SocketHandle socket = no_socket;
    bool stream = false;
    WireEndpoints ends;
};
std::array<Endpoint, 8> endpoints;
size_t next_endpoint = 0;

Endpoint* find_endpoint(SocketHandle s, bool stream, uint32_t peer) {
    for (Endpoint& e : endpoints)
        if (e.socket == s && e.stream == stream && (stream || e.ends.peer_address == peer))
            return &e;
    return nullptr;
}

Endpoint& new_endpoint(SocketHandle s, bool stream, uint32_t peer, uint16_t peer_port) {
    Endpoint& e = endpoints[next_endpoint];
    next_endpoint = (next_endpoint + 1) % endpoints.size();
    e = Endpoint{s, stream, WireEndpoints{0, peer, 0, peer_port}};
    net_local_endpoint(s, peer, &e.ends.local_address, &e.ends.local_port);
    return e;
}

} // namespace

void net_capture_datagram(WireDirection direction, SocketHandle s, uint32_t peer,
                          uint16_t peer_port, const void* data, size_t stored, size_t length) {
    if (!wire_capture_enabled()) return;
    Endpoint* e = find_endpoint(s, false, peer);
    if (e == nullptr) e = &new_endpoint(s, false, peer, peer_port);
    WireEndpoints ends = e->ends;
    ends.peer_port = peer_port;
    wire_datagram(direction, ends, data, stored, length);
}

void net_capture_connected(SocketHandle s, uint32_t peer, uint16_t peer_port) {
    if (Endpoint* e = find_endpoint(s, true, 0)) e->socket = no_socket;
    if (!wire_capture_enabled()) return;
    wire_stream_connected(new_endpoint(s, true, peer, peer_port).ends);
}

void net_capture_stream(WireDirection direction, SocketHandle s, const void* data, size_t length) {
    if (!wire_capture_enabled()) return;
    Endpoint* e = find_endpoint(s, true, 0);
    if (e == nullptr) {
        uint32_t peer = 0;
        uint16_t port = 0;
        net_peer_endpoint(s, &peer, &port);
        e = &new_endpoint(s, true, peer, port);
    }
    wire_stream(direction, e->ends, data, length);
}

void net_capture_closed(SocketHandle s) {
    for (Endpoint& e : endpoints)
        if (e.socket == s) e.socket = no_socket;
}
