// The network links over WinSock, run under Wine (or on Windows) against the
// device simulator on loopback: a TCP side at 127.0.0.9, an RMLX device at
// 127.0.0.8 and no listener at 127.0.0.10. Prints one line per check; the
// exit code is the number of failed checks.
//
// usage: net_probe.exe
#include "base/state.h"
#include "net/net_trace.h"
#include "net/rmlx.h"
#include "net/socket.h"
#include "net/tcp.h"
#include "probe.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t ipv4(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    return uint32_t(a) | uint32_t(b) << 8 | uint32_t(c) << 16 | uint32_t(d) << 24;
}

constexpr int wsa_connection_refused = 10061; // WSAECONNREFUSED

bool is_reply_to_v(const char* reply) {
    return strncmp(reply, "00/00/00/ESD-SIM/", 17) == 0;
}

void tcp() {
    NetLink link{};
    char reply[1000] = "";
    check(tcp_open(link, ipv4(127, 0, 0, 9)) == result_ok, "TCP connects to the simulator");
    // The simulator leaves the first request unanswered: the reply wait runs
    // its five seconds out while the processor is handed back.
    uint64_t before = processor_ms();
    check(tcp_request(link, "?", reply, sizeof reply) == net_protocol_failure,
          "TCP: an unanswered request fails after the reply wait");
    uint64_t used = processor_ms() - before;
    printf("processor time of the 5 s reply wait: %llu ms\n", (unsigned long long)used);
    check(used < 1000, "the reply wait takes under a second of processor time");

    check(tcp_request(link, "v", reply, sizeof reply) == result_ok && is_reply_to_v(reply),
          "TCP: \"v\" is answered");
    printf("TCP reply \"%s\"\n", reply);
    tcp_close();

    check(tcp_open(link, ipv4(127, 0, 0, 10)) == net_socket_failure,
          "TCP: a port without a listener refuses");
    printf("WinSock error %d\n", net_last_error());
    check(net_last_error() == wsa_connection_refused, "the WinSock code comes through as it is");
    tcp_close();
}

void rmlx() {
    NetLink link{};
    char reply[1000] = "";
    check(rmlx_init() == result_ok, "RMLX: the socket is bound");
    check(rmlx_open(link, ipv4(127, 0, 0, 8), RmlxOpening::query_first) == result_ok,
          "RMLX: the device answers the query");
    check(rmlx_request(link, "v", reply, sizeof reply) == result_ok && is_reply_to_v(reply),
          "RMLX: \"v\" is answered");
    printf("RMLX reply \"%s\"\n", reply);
    rmlx_close();
}

} // namespace

int main() {
    set_net_details(false);
    tcp();
    rmlx();
    return probe_result();
}
