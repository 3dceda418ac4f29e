// Private network namespaces for tests that must not send anything off the
// machine (broadcasts, fixed ports). Network namespaces belong to threads:
// a namespace lives while a thread or socket is in it, so everything made
// here goes away with the test's threads and sockets, even after a crash.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace netns {

// Moves the calling thread into a fresh network namespace with lo up and,
// when asked, a default route on lo (so that a broadcast reaches local
// listeners). Returns "" or why no namespace can be had here. The first call
// must come while the process has one thread.
std::string enter_private(bool default_route);

// Puts the calling thread back where it was before enter_private.
void leave_private();

// For a thread that is already in a private namespace: another fresh one
// for the calling thread alone, lo up. Returns "" or why not.
std::string enter_nested();

// A file descriptor of the calling thread's network namespace (close it).
int current_namespace_fd();

// Creates a veth pair: end `name` in the calling thread's namespace and
// `peer` in the namespace of peer_ns_fd. Returns "" or why not.
std::string add_veth(const char* name, const char* peer, int peer_ns_fd);

// Gives an interface of the calling thread's namespace an IPv4 address with
// a /24 mask (a "name:n" alias adds a second one) and brings it up.
std::string set_address(const char* interface, uint32_t address);

// Waits until the link watcher has found an interface of the calling
// thread's namespace up: until then the system drops what is sent on it
// (IFF_RUNNING shows earlier). Returns "" or why not.
std::string wait_running(const char* interface);

// Starts thread in a fresh namespace of its own, joined to the calling
// thread's by a veth pair: "va" here with local_address, "vb" there with
// remote_address. There the thread runs open ("" or why not) once vb runs,
// then serve. Returns "" once both ends run, or why not; the caller joins
// the thread.
std::string start_behind_veth(std::thread& thread, uint32_t local_address, uint32_t remote_address,
                              std::function<std::string()> open, std::function<void()> serve);

// An IPv4 address a.b.c.d in network byte order.
uint32_t ipv4(unsigned a, unsigned b, unsigned c, unsigned d);

} // namespace netns
