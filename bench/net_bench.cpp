// Benchmark of the RMLX link against the simulator's RMLX side over
// loopback, side by side with a bare UDP ping-pong of the same datagram
// sizes measured in the same run (goal: at least 80% of the ping-pong):
//  - requests per second with the request "v";
//  - signing-size requests: a 450-byte text block ("@/" and 448 characters)
//    per request, as file signing sends them, in requests and bytes per second.
// Runs inside a private network namespace where one can be made, else on the
// loopback addresses 127.0.0.x of this machine.
// Usage: net_bench [seconds per measurement, default 2] [--no-capture]
//  --no-capture: the wire recorder off, to see what recording costs.
#include "app/dialog.h"
#include "app/state.h"
#include "capture/wire_capture.h"
#include "net/rmlx.h"
#include "net/socket_capture.h"
#include "net/tcp.h"
#include "net/udp.h"
#include "netns.h"
#include "sim/net_sides.h"
#include "support/headless.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Processor time of the calling thread, in microseconds.
double thread_cpu_us() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

// Counts, wall time and this thread's processor time of one kind of exchange.
struct Tally {
    long count = 0;
    double seconds = 0, cpu_us = 0;
    template <typename Exchange> void run(double slice, Exchange exchange) {
        auto start = Clock::now();
        double cpu = thread_cpu_us();
        do {
            for (int i = 0; i < 50; ++i, ++count) exchange();
        } while (seconds_since(start) < slice);
        seconds += seconds_since(start);
        cpu_us += thread_cpu_us() - cpu;
    }
    double rate() const { return double(count) / seconds; }
    double cpu_per_exchange() const { return cpu_us / double(count); }
};

int udp_socket(uint32_t address) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        perror("ping-pong socket");
        exit(1);
    }
    return fd;
}

// A bare UDP ping-pong between this thread and a thread of its own:
// datagrams of out_size bytes answered with datagrams of back_size bytes.
class PingPong {
  public:
    PingPong(uint32_t address, size_t out_size, size_t back_size)
        : server_(udp_socket(address)), client_(udp_socket(address)), out_(out_size, 'a') {
        socklen_t len = sizeof server_address_;
        getsockname(server_, reinterpret_cast<sockaddr*>(&server_address_), &len);
        echo_ = std::thread([this, back = std::string(back_size, 'b')] {
            char buf[2048];
            for (;;) {
                sockaddr_in from{};
                socklen_t fl = sizeof from;
                ssize_t n =
                    recvfrom(server_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fl);
                if (n <= 0) return; // the empty datagram that ends the run
                sendto(server_, back.data(), back.size(), 0, reinterpret_cast<sockaddr*>(&from),
                       fl);
            }
        });
    }
    ~PingPong() {
        send(0);
        echo_.join();
        close(server_);
        close(client_);
    }
    // One round trip, waiting as the console does: a poll, then the read.
    void exchange() {
        send(out_.size());
        pollfd p{client_, POLLIN, 0};
        poll(&p, 1, 1000);
        char buf[2048];
        recv(client_, buf, sizeof buf, 0);
    }

  private:
    void send(size_t size) {
        sendto(client_, out_.data(), size, 0, reinterpret_cast<sockaddr*>(&server_address_),
               sizeof server_address_);
    }
    int server_, client_;
    std::string out_;
    sockaddr_in server_address_{};
    std::thread echo_;
};

// RMLX requests of one text and the ping-pong of the same datagram sizes,
// in alternating slices so that the machine's other load falls on both
// alike. Prints both rates.
void compare(const char* what, NetLink& link, uint32_t device, const std::string& request,
             double seconds) {
    char reply[1000];
    auto rmlx = [&] {
        if (rmlx_request(link, request.c_str(), reply, sizeof reply) != result_ok) {
            fprintf(stderr, "an RMLX request failed\n");
            exit(1);
        }
    };
    rmlx();
    size_t reply_size = strlen(reply);
    PingPong ping(device, frame_header_size + request.size(), frame_header_size + reply_size);
    constexpr double slice = 0.1;
    Tally rmlx_tally, bare_tally;
    for (int i = 0; i < int(seconds / slice / 2) + 1; ++i) {
        rmlx_tally.run(slice, rmlx);
        bare_tally.run(slice, [&] { ping.exchange(); });
    }
    double rate = rmlx_tally.rate(), bare = bare_tally.rate();
    printf("%s: RMLX %.0f requests/s (%.1f KB/s of request text); bare UDP ping-pong of %zu and "
           "%zu bytes %.0f round trips/s; %.1f%% of the ping-pong (goal >= 80%%)\n",
           what, rate, rate * double(request.size()) / 1000.0, frame_header_size + request.size(),
           frame_header_size + reply_size, bare, 100.0 * rate / bare);
    printf("%s: console processor time %.1f us per request (three datagrams), ping-pong client "
           "%.1f us per round trip (two)\n",
           what, rmlx_tally.cpu_per_exchange(), bare_tally.cpu_per_exchange());
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 2.0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--no-capture") == 0)
            wire_capture_enable(false);
        else if (atof(argv[i]) > 0)
            seconds = atof(argv[i]);
        else {
            fprintf(stderr, "usage: net_bench [seconds per measurement] [--no-capture]\n");
            return 2;
        }
    }
    std::string why = netns::enter_private(false);
    uint32_t device = netns::ipv4(127, 0, 0, 2);
    printf("network: %s; wire capture %s\n",
           why.empty() ? "a private namespace" : ("this machine's loopback (" + why + ")").c_str(),
           wire_capture_enabled() ? "on" : "off");

    NetSides sim;
    NetSidesConfig config;
    config.rmlx_devices = {device};
    config.keep_wire = false;
    std::string error;
    if (!sim.open(config, error)) {
        fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    sim.start();
    headless::create(dialog_proc);
    details = 0;
    NetLink link{};
    char reply[1000];
    if (rmlx_open(link, device, 1) != result_ok ||
        rmlx_request(link, "{/0", reply, sizeof reply) != result_ok) {
        fprintf(stderr, "the simulated device does not answer\n");
        return 1;
    }

    compare("\"v\"", link, device, "v", seconds);
    compare("450-byte block", link, device, "@/" + std::string(448, 'A'), seconds);

    if (wire_capture_enabled()) {
        // The recorder alone with the socket seam's lookup of the ends, on the
        // datagrams of a request for "v" (the ring full, so that each record
        // also drops the oldest).
        constexpr long rounds = 1000000;
        double cpu = thread_cpu_us();
        for (long i = 0; i < rounds; ++i) {
            net_capture_datagram(WireDirection::outbound, no_socket, device, rmlx_port, reply, 13,
                                 13);
            net_capture_datagram(WireDirection::inbound, no_socket, device, rmlx_port, reply, 44,
                                 44);
            net_capture_datagram(WireDirection::outbound, no_socket, device, rmlx_port, reply, 12,
                                 12);
        }
        printf("wire recorder: %.0f ns of processor time per request's three datagrams\n",
               (thread_cpu_us() - cpu) * 1000.0 / rounds);
    }

    rmlx_close();
    sim.stop();
    return 0;
}
