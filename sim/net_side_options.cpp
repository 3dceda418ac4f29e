// The simulator's network sides as command-line options: RMLX devices, the
// TCP side and the plain UDP side, with their faults.
#include "net/rmlx.h"
#include "net/tcp.h"
#include "net/udp.h"
#include "sim/net_sides.h"
#include "sim/sim_device.h"
#include "sim/sim_side.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>

namespace {

NetSides sides;
NetSidesConfig cli_config;
NetFaults cli_faults;
bool started = false;

// "name ADDRESS": a dotted IPv4 address into out; the contract of take_option.
int take_address(int argc, char** argv, int i, const char* name, uint32_t& out) {
    const char* text = nullptr;
    int used = sim_take_text(argc, argv, i, name, text);
    if (used <= 0) return used;
    in_addr a{};
    if (inet_pton(AF_INET, text, &a) != 1 || a.s_addr == 0 || a.s_addr == INADDR_BROADCAST) {
        fprintf(stderr, "varnoke-sim: %s wants an IPv4 address such as 127.0.0.2, not '%s'\n", name,
                text);
        return -1;
    }
    out = a.s_addr;
    return used;
}

int take_option(int argc, char** argv, int i) {
    if (strcmp(argv[i], "--discovery") == 0) {
        cli_config.rmlx_broadcast = true;
        return 1;
    }
    uint32_t address = 0;
    int used = take_address(argc, argv, i, "--rmlx", address);
    if (used > 0) cli_config.rmlx_devices.push_back(address);
    if (used == 0) used = take_address(argc, argv, i, "--tcp", cli_config.tcp_address);
    if (used == 0) used = take_address(argc, argv, i, "--udp", cli_config.udp_address);
    if (used == 0) used = take_address(argc, argv, i, "--foreign", cli_config.foreign_address);
    const char* text = nullptr;
    if (used == 0 && (used = sim_take_text(argc, argv, i, "--net-reply", text)) > 0)
        cli_faults.fixed_reply = text;
    unsigned long value = 0;
    for (const NetFaultName& o : net_fault_names) {
        if (used != 0) break;
        used = sim_take_number(argc, argv, i, o.option, 100000, value);
        if (used > 0) cli_faults.*o.count = unsigned(value);
    }
    return used;
}

bool requested() {
    return !cli_config.rmlx_devices.empty() || cli_config.tcp_address != 0 ||
           cli_config.udp_address != 0;
}

bool start() {
    if (cli_config.rmlx_broadcast && cli_config.rmlx_devices.empty()) {
        fprintf(stderr, "varnoke-sim: --discovery needs at least one --rmlx device\n");
        return false;
    }
    cli_config.shared_device = [](const char* side, std::string_view request) {
        return sim_request(side, request);
    };
    cli_config.note = [](const char* side, const std::string& text) {
        sim_log_note(side, text.c_str());
    };
    cli_config.received = [](const char* side, const std::string& bytes) {
        sim_log_bytes(side, bytes.data(), bytes.size());
    };
    std::string error;
    if (!sides.open(cli_config, error)) {
        fprintf(stderr, "varnoke-sim: %s\n", error.c_str());
        return false;
    }
    sides.set_faults(cli_faults);
    sides.start();
    started = true;
    for (uint32_t a : cli_config.rmlx_devices)
        printf("rmlx: %s:%u\n", inet_ntoa(in_addr{a}), unsigned(rmlx_port));
    if (cli_config.rmlx_broadcast)
        printf("rmlx: answering discovery on 0.0.0.0:%u\n", unsigned(rmlx_port));
    if (cli_config.tcp_address != 0)
        printf("tcp: %s:%u\n", inet_ntoa(in_addr{cli_config.tcp_address}), unsigned(tcp_port));
    if (cli_config.udp_address != 0)
        printf("udp: %s:%u\n", inet_ntoa(in_addr{cli_config.udp_address}), unsigned(udp_port));
    fflush(stdout);
    return true;
}

void stop() {
    if (started) sides.stop();
    started = false;
}

} // namespace

extern const SimSide net_side = {
    "network",
    "Network sides (every address may be any of 127.0.0.0/8 for a demonstration on\n"
    "one machine):\n"
    "  --rmlx ADDRESS        an RMLX device on UDP port 24222 at ADDRESS; repeat the\n"
    "                        option for several devices. The first one, --tcp and\n"
    "                        --udp serve the same device as the serial side\n"
    "  --discovery           answer a broadcast QRY from every RMLX device (listens\n"
    "                        on the wildcard address of port 24222)\n"
    "  --tcp ADDRESS         the TCP side on port 9101 at ADDRESS\n"
    "  --udp ADDRESS         the plain UDP side on port 9101 at ADDRESS (the console\n"
    "                        binds port 9101 on every address of its own machine, so\n"
    "                        this side must run in another network namespace)\n"
    "  --foreign ADDRESS     where the datagrams of --net-foreign come from\n"
    "Network faults (N: for the next N occasions):\n"
    "  --net-silent N        leave any datagram or TCP request unanswered\n"
    "  --net-ignore-sync N   leave SYN (RMLX) or ENQ (plain UDP) unanswered\n"
    "  --net-ignore-request N  leave a request unanswered\n"
    "  --net-rst N           answer a request with RST (RMLX) or 0x10 (plain UDP)\n"
    "  --net-nak N           answer a request with NAK\n"
    "  --net-bad-data N      send a reply with a wrong data checksum\n"
    "  --net-late N          RMLX: send the previous reply with its fsn first;\n"
    "                        TCP: send the reply 5.5 s late, after the console's\n"
    "                        time-out (or before the next reply, if that comes first)\n"
    "  --net-foreign N       send the reply from the --foreign address first\n"
    "  --net-bad-header N    RMLX: send a frame with a wrong header checksum first\n"
    "  --net-wrong-length N  RMLX: send a frame whose length field is 2 too big first\n"
    "  --net-wrong-id N      RMLX: send a frame with the console's id first\n"
    "  --net-too-short N     send an 11-byte datagram (RMLX), or a lone 0x22 and a\n"
    "                        4-byte text (plain UDP), first\n"
    "  --net-too-long N      send a 513-byte (RMLX) or 600-byte (plain UDP) datagram first\n"
    "  --net-stray-ack N     plain UDP: send a lone 0x06 first\n"
    "  --net-stray-byte N    plain UDP: send a lone 0x41 first\n"
    "  --net-enq-other N     plain UDP: answer ENQ with 0x15\n"
    "  --net-pieces N        TCP: send the reply in two pieces 30 ms apart\n"
    "  --net-hang-up N       TCP: close the connection instead of replying\n"
    "  --net-resend-differs N  RMLX: answer a repeated REQ, plain UDP: a NAK of the\n"
    "                        reply, with another reply text\n"
    "  --net-act-fsn N       RMLX: answer QRY with an ACT that carries another fsn\n"
    "  --net-reply TEXT      answer every network request with TEXT\n",
    take_option,
    requested,
    start,
    stop,
};
