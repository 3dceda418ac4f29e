// The network links' rows. Each link talks to a device side of the bench's
// own: a thread that answers every request at once with the reply the
// simulated device gives to it. The same thread answers the bench's bare
// exchange of the same datagrams or stream writes, made with the same socket
// calls, so that the two differ only in the client: the console's code or
// the least a client can do. Measured in alternating slices, so that the
// machine's other load falls on both alike.
#include "bench.h"

#include "base/state.h"
#include "base/window.h"
#include "bench_util.h"
#include "capture/wire_capture.h"
#include "codec/frame_checksum.h"
#include "command/command.h"
#include "net/net_trace.h"
#include "net/rmlx.h"
#include "net/socket_capture.h"
#include "net/tcp.h"
#include "net/udp.h"
#include "netns.h"
#include "report.h"
#include "sim/device_model.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <net/if.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

enum class Side { rmlx, tcp, udp };

const char* side_name(Side s) {
    return s == Side::rmlx ? "RMLX" : s == Side::tcp ? "TCP" : "plain UDP";
}

std::string block_request(size_t bytes) {
    std::string r = "@/";
    for (size_t i = 0; i < bytes; ++i) r += char('A' + i % 26);
    return r;
}

// The simulated device's replies, by the request's first character.
struct Replies {
    std::string v, open, block;
    Replies() {
        DeviceModel device(1);
        v = device.handle("v");
        open = device.handle("{/0");
        block = device.handle(block_request(750));
    }
    const std::string& to(char first) const {
        return first == '@' ? block : first == '{' ? open : v;
    }
};

void put16(std::string& b, size_t at, uint16_t v) {
    b[at] = char(v & 0xFF);
    b[at + 1] = char(v >> 8);
}

std::string rmlx_frame(uint16_t id, uint16_t fsn, uint8_t op, const std::string& data) {
    std::string b(frame_header_size, '\0');
    put16(b, 0, id);
    put16(b, 2, fsn);
    b[4] = char(op);
    put16(b, 6, uint16_t(data.size()));
    b += data;
    auto* bytes = reinterpret_cast<const uint8_t*>(b.data());
    put16(b, 8, rmlx_checksum(bytes + frame_header_size, data.size()));
    put16(b, 10, rmlx_checksum(bytes, 10));
    return b;
}

std::string text_datagram(const std::string& text) {
    char digits[3];
    snprintf(digits, sizeof digits, "%02u", frame_checksum(text.data(), text.size()));
    return char(udp_stx) + text + '/' + digits + char(udp_etx);
}

sockaddr_in socket_address(uint32_t address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = address;
    sa.sin_port = htons(port);
    return sa;
}

int bound_socket(int type, uint32_t address, uint16_t port) {
    int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in sa = socket_address(address, port);
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool readable(int fd, int timeout_ms) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, timeout_ms) == 1;
}

// A device side: one thread answering one link's requests at once.
class Responder {
  public:
    Responder(Side side, const Replies& replies) : side_(side), replies_(replies) {}
    Side side() const { return side_; }
    ~Responder() { stop(); }

    // Opens the socket in the calling thread's network namespace; false
    // when the address or port cannot be had.
    bool open(uint32_t address) {
        uint16_t port = side_ == Side::rmlx ? rmlx_port : side_ == Side::tcp ? tcp_port : udp_port;
        fd_ = bound_socket(side_ == Side::tcp ? SOCK_STREAM : SOCK_DGRAM, address, port);
        if (fd_ >= 0 && side_ == Side::tcp && listen(fd_, 4) != 0) {
            close(fd_);
            fd_ = -1;
        }
        return fd_ >= 0 && pipe2(stop_pipe_, O_CLOEXEC) == 0;
    }
    void start() {
        thread_ = std::thread([this] { serve(); });
    }
    // Serves on the calling thread until stop().
    void serve() {
        std::vector<pollfd> fds;
        for (;;) {
            fds.assign({{stop_pipe_[0], POLLIN, 0}, {fd_, POLLIN, 0}});
            for (const Stream& s : streams_) fds.push_back({s.fd, POLLIN, 0});
            if (poll(fds.data(), fds.size(), -1) < 0) continue;
            if (fds[0].revents != 0) return;
            if (fds[1].revents != 0) side_ == Side::tcp ? accept_stream() : datagram();
            // From the last: a stream that ends leaves the list, moving the
            // ones after it.
            for (size_t i = fds.size(); i-- > 2;)
                if (fds[i].revents != 0) stream_input(i - 2);
        }
    }
    // Ends serve() wherever it runs.
    void halt() {
        if (stop_pipe_[1] >= 0 && write(stop_pipe_[1], "q", 1) != 1) perror("stop");
    }
    void stop() {
        halt();
        if (thread_.joinable()) thread_.join();
        for (Stream& s : streams_) close(s.fd);
        streams_.clear();
        for (int* fd : {&fd_, &stop_pipe_[0], &stop_pipe_[1]}) {
            if (*fd >= 0) close(*fd);
            *fd = -1;
        }
    }

    // The size of each request on the TCP stream, which has no frames.
    std::atomic<size_t> stream_request_size{1};
    // Requests go unanswered: RMLX answers SYN and QRY only, TCP nothing,
    // plain UDP one more ENQ only.
    std::atomic<bool> silent{false};
    // CLOCK_MONOTONIC nanoseconds after the last reply left.
    std::atomic<uint64_t> replied_ns{0};
    const Replies& replies() const { return replies_; }

  private:
    struct Stream {
        int fd;
        size_t pending;
        char first;
    };

    void reply(int fd, const std::string& bytes, const sockaddr_in* to) {
        if (to != nullptr)
            sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(to),
                   sizeof *to);
        else
            send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        replied_ns = now_ns();
    }

    void datagram() {
        char buf[2048];
        sockaddr_in from{};
        socklen_t fl = sizeof from;
        ssize_t n = recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fl);
        if (n <= 0) return;
        if (side_ == Side::rmlx) {
            if (n < ssize_t(frame_header_size)) return;
            uint16_t fsn = uint16_t(uint8_t(buf[2]) | uint8_t(buf[3]) << 8);
            uint8_t op = uint8_t(buf[4]);
            if (op == op_qry) reply(fd_, rmlx_frame(frame_id_device, fsn, op_act, {}), &from);
            if (op == op_syn) reply(fd_, rmlx_frame(frame_id_device, fsn, op_ack, {}), &from);
            if (op == op_req && !silent) {
                char first = n > ssize_t(frame_header_size) ? buf[frame_header_size] : 'v';
                reply(fd_, rmlx_frame(frame_id_device, fsn, op_rep, replies_.to(first)), &from);
            }
        } else if (n == 1 && uint8_t(buf[0]) == udp_enq) {
            if (!silent || !enq_answered_) reply(fd_, std::string(1, char(udp_ack)), &from);
            enq_answered_ = silent;
        } else if (n > 1 && !silent) {
            reply(fd_, text_datagram(replies_.to(buf[1])), &from);
        }
    }

    void accept_stream() {
        int fd = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) streams_.push_back({fd, 0, 'v'});
    }

    void stream_input(size_t index) {
        Stream& s = streams_[index];
        char buf[4096];
        ssize_t n = recv(s.fd, buf, sizeof buf, 0);
        if (n <= 0) {
            close(s.fd);
            streams_.erase(streams_.begin() + ptrdiff_t(index));
            return;
        }
        if (s.pending == 0) s.first = buf[0];
        s.pending += size_t(n);
        for (size_t size = stream_request_size; s.pending >= size; s.pending -= size)
            if (!silent) reply(s.fd, replies_.to(s.first), nullptr);
    }

    Side side_;
    const Replies& replies_;
    int fd_ = -1;
    int stop_pipe_[2] = {-1, -1};
    std::vector<Stream> streams_;
    bool enq_answered_ = false;
    std::thread thread_;
};

// The bench's bare client of one link: the same datagrams or stream writes
// as the console's, and waits as plain as they come: a poll, then the read.
class BareClient {
  public:
    BareClient(Side side, uint32_t device, const std::string& request) : side_(side) {
        device_ = socket_address(device, side == Side::rmlx ? rmlx_port : tcp_port);
        if (side == Side::rmlx) {
            out_ = rmlx_frame(frame_id_console, 0x1234, op_req, request);
            closing_ = rmlx_frame(frame_id_console, 0x1234, op_nak, {});
        } else if (side == Side::tcp) {
            out_ = request;
        } else {
            out_ = text_datagram(request);
        }
    }
    ~BareClient() { close_socket(); }

    // One of the console's doings at a time, for the rows of its costs: the
    // wait through the window (ui_wait on the socket, then
    // pump_one_message), and on TCP one more read after the reply, as the
    // console's look for the rest of a reply.
    bool window_wait = false, look_again = false;

    bool open() {
        if (side_ == Side::tcp) {
            fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (connect(fd_, reinterpret_cast<sockaddr*>(&device_), sizeof device_) != 0)
                close_socket();
        } else {
            // Plain UDP: port 9101 at both ends, as the console's.
            fd_ = bound_socket(SOCK_DGRAM, 0, side_ == Side::udp ? udp_port : 0);
        }
        return fd_ >= 0;
    }
    void close_socket() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

    // One request and its reply; false when the reply did not come.
    bool exchange(size_t reply_size) {
        char buf[2048];
        switch (side_) {
        case Side::rmlx:
            return send_datagram(out_) && receive(buf, sizeof buf) && send_datagram(closing_);
        case Side::tcp: {
            if (send(fd_, out_.data(), out_.size(), MSG_NOSIGNAL) != ssize_t(out_.size()))
                return false;
            for (size_t got = 0; got < reply_size;) {
                long n = read(buf, sizeof buf);
                if (n <= 0) return false;
                got += size_t(n);
            }
            return !look_again || recv(fd_, buf, sizeof buf, MSG_DONTWAIT) < 0;
        }
        case Side::udp:
            return send_datagram(std::string(1, char(udp_enq))) && receive(buf, sizeof buf) &&
                   send_datagram(out_) && receive(buf, sizeof buf) &&
                   send_datagram(std::string(1, char(udp_ack)));
        }
        return false;
    }

  private:
    bool send_datagram(const std::string& bytes) {
        return sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&device_),
                      sizeof device_) == ssize_t(bytes.size());
    }
    bool receive(char* buf, size_t cap) { return read(buf, cap) > 0; }
    // The wait and the read: a poll, then the read; or, as the console's, the
    // wait through the window, then a read that does not block, again until
    // it finds something.
    long read(char* buf, size_t cap) {
        if (!window_wait) return readable(fd_, 1000) ? recv(fd_, buf, cap, 0) : -1;
        for (int i = 0; i < 1000; ++i) {
            ui_wait(fd_, 1000);
            pump_one_message();
            long n = recv(fd_, buf, cap, MSG_DONTWAIT);
            if (n >= 0 || errno != EAGAIN) return n;
        }
        return -1;
    }

    Side side_;
    sockaddr_in device_{};
    std::string out_, closing_;
    int fd_ = -1;
};

// The console's side of one link: the connection's link record, opened as
// Connect opens it, and requests through execute_command, the one path of
// every request (the link's transaction, the status panel, the Reply field).
struct ConsoleLink {
    Side side;
    uint32_t device;
    char data[reply_buffer_size] = {};

    bool open() {
        connection_link = NetLink{};
        connection_kind = side == Side::rmlx ? kind_rmlx : side == Side::tcp ? kind_tcp : kind_udp;
        switch (side) {
        case Side::rmlx:
            return rmlx_open(connection_link, device, RmlxOpening::query_first) == result_ok;
        case Side::tcp:
            return tcp_open(connection_link, device) == result_ok;
        case Side::udp:
            return udp_open(connection_link, device) == result_ok;
        }
        return false;
    }
    void close() {
        side == Side::rmlx ? rmlx_close() : side == Side::tcp ? tcp_close() : udp_close();
    }
    int request(const char* text) { return execute_command(text, data, sizeof data, 0); }
    // The link's transaction alone.
    int transaction(const char* text) { return link_transaction(text, false); }
};

const char* datagrams_of(Side side) {
    switch (side) {
    case Side::rmlx:
        return "request, reply, the console's closing NAK";
    case Side::tcp:
        return "one write each way";
    case Side::udp:
        return "ENQ, ACK, text, reply, the closing ACK";
    }
    return "";
}

// Two kinds of exchange in short slices of each, the two of a pair in
// random order, gathered over the group's passes.
struct Pair {
    Tally measured, reference;
    double probe; // the slower of core_probe_us before and after the pair
};
struct Pairs {
    std::vector<Pair> pairs;
    std::string failed; // why a pass could not be measured
    bool goal = false;  // held against a goal
};

// The pairs a row is judged on, and how many were set aside.
struct Clean {
    Tally measured, reference; // over the pairs kept
    std::vector<double> shares, cpu_ratios;
    size_t set_aside = 0;
};

// A group's rows run in passes, each with its share of every row's pairs,
// so that a row's pairs are spread over the whole group: a spell of other
// load of some seconds falls on a few pairs of many rows instead of on
// every pair of one. A last pass reports.
struct GroupPasses {
    // Planned; then more while a row with a goal has fewer than half its
    // pairs clean, up to the most.
    static constexpr int planned = 8, most = 24;
    // How much slower than its best the core may run for a pair to count.
    static constexpr double slack = 1.25;
    int index = 0;
    bool reporting = false;
    std::map<std::string, Pairs> rows;
    std::set<std::string> skipped;
    std::vector<double> probes; // the group's

    int pairs(const BenchOptions& options) const {
        int i = index % planned;
        return options.slices * (i + 1) / planned - options.slices * i / planned;
    }
    // A pair counts where the core ran at its full speed throughout: the
    // probes about it near the group's best, and the bare exchange's
    // processor time near the row's. A machine whose host lends the
    // core's caches to other work slows the console's requests more than
    // the bare exchange's, which touch less memory, so that such pairs
    // tell of the host, not of the console.
    Clean clean(const Pairs& p) const {
        std::vector<double> row_probes, bare_cpu;
        for (const Pair& pair : p.pairs) {
            row_probes.push_back(pair.probe);
            bare_cpu.push_back(pair.reference.cpu_per_exchange());
        }
        std::vector<bool> steady_core = at_usual_speed(probes, row_probes, slack),
                          steady_bare = at_usual_speed(bare_cpu, bare_cpu, slack);
        Clean c;
        for (size_t i = 0; i < p.pairs.size(); ++i) {
            const Pair& pair = p.pairs[i];
            if (!steady_core[i] || !steady_bare[i]) {
                ++c.set_aside;
                continue;
            }
            c.shares.push_back(100.0 * pair.measured.rate() / pair.reference.rate());
            c.cpu_ratios.push_back(pair.measured.cpu_per_exchange() /
                                   pair.reference.cpu_per_exchange());
            c.measured.add(pair.measured);
            c.reference.add(pair.reference);
        }
        return c;
    }
    bool more(const BenchOptions& options) const {
        if (index < planned) return true;
        if (index >= most) return false;
        for (const auto& [label, p] : rows)
            if (p.goal && p.failed.empty() && clean(p).shares.size() < size_t(options.slices) / 2)
                return true;
        return false;
    }
    // Says once why what could not be measured.
    void skip(const std::string& what, const std::string& why) {
        if (skipped.insert(what).second) report_skip(what, why);
    }
    // The row's clean pairs, or none after saying why it has none.
    std::optional<Clean> judged(const std::string& label) {
        const Pairs& p = rows[label];
        if (!p.failed.empty()) {
            skip(label, p.failed);
            return std::nullopt;
        }
        Clean c = clean(p);
        if (!c.shares.empty()) return c;
        skip(label, "the core ran slow for every pair (other load on the host)");
        return std::nullopt;
    }
};

// "; 14 of 120 pairs set aside (the core ran slow)", or "".
std::string set_aside_text(const Clean& c) {
    if (c.set_aside == 0) return "";
    return text("; %zu of %zu pairs set aside (the core ran slow)", c.set_aside,
                c.set_aside + c.shares.size());
}

// Adds this pass's pairs of the row label. A slice returns false when an
// exchange failed.
template <typename Measured, typename Reference>
void paired(const BenchOptions& options, GroupPasses& passes, const std::string& label, bool goal,
            Measured measured_slice, Reference reference_slice) {
    Pairs& p = passes.rows[label];
    p.goal = goal;
    // The order of a pair from a fixed seed: random against the machine's
    // other load, the same from one run to the next.
    uint64_t order = 0x9E3779B97F4A7C15ull + uint64_t(passes.index);
    // The first pair of a pass warms both up and is not counted.
    for (int i = -1, n = passes.pairs(options); i < n && p.failed.empty(); ++i) {
        order ^= order << 13;
        order ^= order >> 7;
        order ^= order << 17;
        Pair pair{};
        double before = core_probe_us();
        bool ok = (order & 1) ? measured_slice(pair.measured) && reference_slice(pair.reference)
                              : reference_slice(pair.reference) && measured_slice(pair.measured);
        if (!ok) p.failed = "a request went unanswered";
        if (i < 0 || !ok) continue;
        pair.probe = std::max(before, core_probe_us());
        passes.probes.push_back(pair.probe);
        p.pairs.push_back(pair);
    }
}

// "20.1 us, 4.11 system calls, 1.00 sleeps": a request's processor time and
// what it went on (the calls where the kernel counts them).
std::string per_request(const Tally& t) {
    std::string calls =
        t.syscalls > 0 ? text(", %.2f system calls", t.syscalls_per_exchange()) : "";
    return text("%.1f us%s, %.2f sleeps", t.cpu_per_exchange(), calls.c_str(),
                t.sleeps_per_exchange());
}

// Reports a comparison of the console with its bare exchange.
void report_comparison(const std::string& label, Side side, GroupPasses& passes, bool goal) {
    std::optional<Clean> c = passes.judged(label);
    if (!c) return;
    // What the console does beyond the bare exchange lies on the round trip:
    // the device side waits meanwhile.
    double extra_us = c->measured.cpu_per_exchange() - c->reference.cpu_per_exchange();
    report_row(
        {text("%s: requests per second", label.c_str()),
         text("%.0f/s (%.1f us a request, %.1f us of it the console's own work)%s",
              c->measured.rate(), 1e6 / c->measured.rate(), extra_us, set_aside_text(*c).c_str()),
         text("bare exchange (%s) %.0f/s (%.1f us)", datagrams_of(side), c->reference.rate(),
              1e6 / c->reference.rate()),
         "", goal ? Goal{Goal::at_least, 95, "%"} : Goal{Goal::none, 0, "%"}, estimate(c->shares),
         1});
    report_row({text("%s: processor time per request", label.c_str()), per_request(c->measured),
                "bare exchange " + per_request(c->reference), "",
                goal ? Goal{Goal::at_most, 1.2, "x"} : Goal{Goal::none, 0, "x"},
                estimate(c->cpu_ratios), 2});
}

// Requests per second and processor time of the console against its bare
// exchange. goal: the figures are held against the goals (not so for a
// comparison that only shows where time goes).
void compare(ConsoleLink& console, Responder& device, const char* what, const std::string& request,
             const BenchOptions& options, GroupPasses& passes, bool goal = true) {
    std::string label = text("%s %s", side_name(console.side), what);
    if (passes.reporting) {
        report_comparison(label, console.side, passes, goal);
        return;
    }
    device.stream_request_size = request.size();
    // The stream's reply is the text alone, with nothing around it.
    size_t stream_reply = device.replies().to(request[0]).size();
    BareClient bare(console.side, console.device, request);
    // Plain UDP: both clients use port 9101, so each slice has it alone.
    bool swap_port = console.side == Side::udp;
    if (!swap_port && !bare.open()) {
        passes.rows[label].failed = "the bare client could not connect";
        return;
    }
    if (swap_port) console.close();
    paired(
        options, passes, label, goal,
        [&](Tally& t) {
            bool fine = (!swap_port || console.open()) && t.run(options.slice_seconds, [&] {
                return console.request(request.c_str()) == result_ok;
            });
            if (swap_port) console.close();
            return fine;
        },
        [&](Tally& t) {
            bool fine = (!swap_port || bare.open()) &&
                        t.run(options.slice_seconds, [&] { return bare.exchange(stream_reply); });
            if (swap_port) bare.close_socket();
            return fine;
        });
    if (swap_port) console.open();
}

// A slice of one client's exchanges. Plain UDP: both clients use port 9101,
// so each has it alone for its slice (own_port), opened before and closed
// after.
template <typename Open, typename Close, typename Exchange>
bool client_slice(Tally& t, const BenchOptions& options, bool own_port, Open open, Close close,
                  Exchange exchange) {
    bool fine = (!own_port || open()) && t.run(options.slice_seconds, exchange);
    if (own_port) close();
    return fine;
}

// One doing of the console's, for "v", set against the bare exchange: the
// share of its rate and the processor time it adds to a request. open and
// close take the measured side's port for its slice (plain UDP).
template <typename Measured, typename Open, typename Close>
void cost_row(const char* what, Side side, const BenchOptions& options, GroupPasses& passes,
              BareClient& bare, size_t reply, Measured measured, Open open, Close close) {
    std::string label = text("%s \"v\": %s", side_name(side), what);
    if (!passes.reporting) {
        bool own_port = side == Side::udp;
        paired(
            options, passes, label, false,
            [&](Tally& t) { return client_slice(t, options, own_port, open, close, measured); },
            [&](Tally& t) {
                return client_slice(
                    t, options, own_port, [&] { return bare.open(); }, [&] { bare.close_socket(); },
                    [&] { return bare.exchange(reply); });
            });
        return;
    }
    std::optional<Clean> c = passes.judged(label);
    if (!c) return;
    report_row({label,
                text("%.1f us a request, %+.2f us of processor time%s", 1e6 / c->measured.rate(),
                     c->measured.cpu_per_exchange() - c->reference.cpu_per_exchange(),
                     set_aside_text(*c).c_str()),
                text("bare exchange %.1f us", 1e6 / c->reference.rate()),
                "",
                {Goal::none, 0, "%"},
                estimate(c->shares),
                1});
}

// What a request of the console does beyond its bare exchange, each piece
// measured as the requests per second it leaves: the console without one
// piece, or the bare exchange with one piece added.
void cost_rows(ConsoleLink& console, Responder& device, const BenchOptions& options,
               GroupPasses& passes) {
    device.stream_request_size = 1;
    size_t reply = device.replies().v.size();
    BareClient bare(console.side, console.device, "v"), waiting(console.side, console.device, "v");
    waiting.window_wait = true;
    bool own_port = console.side == Side::udp;
    if (own_port) {
        console.close();
    } else if (!bare.open() || !waiting.open()) {
        passes.skip(side_name(console.side), "the bare client could not connect");
        return;
    }
    auto console_open = [&] { return console.open(); };
    auto console_close = [&] { console.close(); };
    cost_row(
        "the console", console.side, options, passes, bare, reply,
        [&] { return console.request("v") == result_ok; }, console_open, console_close);
    if (wire_capture_enabled())
        cost_row(
            "the console, the wire recorder off", console.side, options, passes, bare, reply,
            [&] {
                wire_capture_enable(false);
                bool ok = console.request("v") == result_ok;
                wire_capture_enable(true);
                return ok;
            },
            console_open, console_close);
    cost_row(
        "the console's transaction alone (no status panel, no Reply field)", console.side, options,
        passes, bare, reply, [&] { return console.transaction("v") == result_ok; }, console_open,
        console_close);
    cost_row(
        "the bare exchange waiting through the window", console.side, options, passes, bare, reply,
        [&] { return waiting.exchange(reply); }, [&] { return waiting.open(); },
        [&] { waiting.close_socket(); });
    if (console.side == Side::tcp) {
        BareClient looking(console.side, console.device, "v");
        looking.look_again = true;
        if (looking.open())
            cost_row(
                "the bare exchange with one more read after the reply", console.side, options,
                passes, bare, reply, [&] { return looking.exchange(reply); }, [] { return true; },
                [] {});
    }
    if (own_port) console.open();
}

// From the moment the device side's reply has left to the return of the
// console's transaction, and of the bare exchange (after its closing
// datagram, as the console's).
void latency_row(ConsoleLink& console, Responder& device, int count) {
    device.stream_request_size = 1;
    auto since_reply = [&] { return double(now_ns() - device.replied_ns) / 1e3; };
    std::vector<double> ours, bare_us;
    for (int i = 0; i < count; ++i) {
        if (console.transaction("v") != result_ok) {
            report_skip(text("%s: reply to return", side_name(console.side)),
                        "a request went unanswered");
            return;
        }
        ours.push_back(since_reply());
    }
    bool swap_port = console.side == Side::udp;
    if (swap_port) console.close();
    BareClient bare(console.side, console.device, "v");
    bool ok = bare.open();
    for (int i = 0; i < count && ok; ++i) {
        ok = bare.exchange(device.replies().v.size());
        bare_us.push_back(since_reply());
    }
    bare.close_socket();
    if (swap_port) console.open();
    report_row({text("%s: the reply's arrival to the transaction's return (%d requests \"v\")",
                     side_name(console.side), count),
                text("99th percentile %.1f us", percentile(ours, 0.99)),
                text("bare exchange: median %.1f us, 99th percentile %.1f us", median(bare_us),
                     percentile(bare_us, 0.99)),
                "",
                {Goal::none, 0, " us"},
                estimate(ours),
                1});
}

void silent_row(ConsoleLink& console, Responder& device) {
    const char* what = console.side == Side::rmlx ? "six reply waits of 1 s"
                       : console.side == Side::tcp
                           ? "the reply wait of 5 s"
                           : "a reply wait of 5 s, then 8 ENQ waits of 0.4 s";
    device.silent = true;
    uint64_t wall = now_ns(), cpu = thread_cpu_ns();
    int r = console.transaction("v");
    wall = now_ns() - wall;
    cpu = thread_cpu_ns() - cpu;
    device.silent = false;
    double share = 100.0 * double(cpu) / double(wall);
    report_row({text("%s: a request to a silent device (%s)", side_name(console.side), what),
                text("%s after %.2f s, %.1f ms of processor time",
                     r == net_protocol_failure ? "failed" : "answered", double(wall) / 1e9,
                     double(cpu) / 1e6),
                "one core",
                "",
                {Goal::below, 2, "%"},
                single(share),
                3});
}

// Opens a device side at device and starts it on its own core; false after
// saying why its rows are skipped. The measured thread stays on its core.
bool start_device_side(Responder& responder, uint32_t device) {
    if (!responder.open(device)) {
        report_skip(side_name(responder.side()), "no socket for its device side");
        return false;
    }
    pin_to_core(device_core);
    responder.start();
    pin_to_core(measured_core);
    return true;
}

// One pass of a link's rows; the reply-to-return times and the silent
// device come once, in the last.
void link_rows(ConsoleLink& console, Responder& device, const BenchOptions& options,
               GroupPasses& passes) {
    compare(console, device, "\"v\"", "v", options, passes);
    if (console.side == Side::rmlx && wire_capture_enabled()) {
        // What the recorder, on in the program, costs in a request.
        wire_capture_enable(false);
        compare(console, device, "\"v\" with the wire recorder off", "v", options, passes, false);
        wire_capture_enable(true);
    }
    size_t block = console.side == Side::rmlx ? 450 : 750;
    compare(console, device, text("%zu-byte block", block).c_str(), block_request(block), options,
            passes);
    if (!passes.reporting) return;
    latency_row(console, device, options.latency_requests);
    silent_row(console, device);
}

// The wire recorder alone, on the three datagrams of an RMLX request for
// "v", with its ring full so that each record also drops the oldest.
void recorder_row(uint32_t device) {
    if (!wire_capture_enabled()) {
        report_skip("the wire recorder", "it is off (--no-capture)");
        return;
    }
    char bytes[64] = {};
    constexpr long rounds = 1000000;
    uint64_t cpu = thread_cpu_ns();
    for (long i = 0; i < rounds; ++i) {
        net_capture_datagram(WireDirection::outbound, no_socket, device, rmlx_port, bytes, 13, 13);
        net_capture_datagram(WireDirection::inbound, no_socket, device, rmlx_port, bytes, 44, 44);
        net_capture_datagram(WireDirection::outbound, no_socket, device, rmlx_port, bytes, 12, 12);
    }
    report_row({"the wire recorder: the three datagrams of an RMLX request",
                text("%.0f ns of processor time", double(thread_cpu_ns() - cpu) / rounds),
                "",
                "",
                {},
                {},
                1});
    wire_capture_reset();
}

// Runs rows with the plain UDP device side behind a veth pair in a network
// namespace of its own (each end has port 9101, so the two cannot share an
// address) and the console's side of it; returns why it could not be had,
// or "".
template <typename Rows> std::string udp_behind_veth(const Replies& replies, Rows rows) {
    Responder responder(Side::udp, replies);
    uint32_t address = netns::ipv4(192, 0, 2, 2);
    std::thread veth;
    pin_to_core(device_core);
    std::string error = netns::start_behind_veth(
        veth, netns::ipv4(192, 0, 2, 1), address,
        [&]() -> std::string { return responder.open(address) ? "" : "no UDP port 9101 there"; },
        [&] { responder.serve(); });
    pin_to_core(measured_core);
    if (error.empty()) rows(responder, address);
    responder.halt();
    if (veth.joinable()) veth.join();
    // The pair goes with the namespace behind it, a moment after its last
    // thread and socket: a next group or run makes it anew.
    responder.stop();
    for (int i = 0; i < 300 && if_nametoindex("va") != 0; ++i) usleep(10000);
    return error;
}

// Where the RMLX and TCP device sides listen: loopback in the bench's
// private namespace, or an address of its own on this machine's.
uint32_t device_address(const std::string& no_namespace) {
    return no_namespace.empty() ? netns::ipv4(127, 0, 0, 2)
                                : netns::ipv4(127, 1 + (getpid() >> 8) % 254, getpid() & 0xFF, 2);
}

// Runs rows(console, device side, passes) for each link, pass after pass,
// with the console's link opened for it: RMLX and TCP over loopback, plain
// UDP behind its veth pair where the bench has a private namespace.
template <typename Rows>
void over_links(const BenchOptions& options, const std::string& no_namespace, Rows rows) {
    Replies replies;
    uint32_t device = device_address(no_namespace);
    // The device sides' threads take the core the calling thread has when
    // they start.
    pin_to_core(measured_core);
    Responder rmlx(Side::rmlx, replies), tcp(Side::tcp, replies);
    std::vector<std::pair<Responder*, uint32_t>> sides;
    for (Responder* side : {&rmlx, &tcp})
        if (start_device_side(*side, device)) sides.emplace_back(side, device);
    auto run = [&] {
        GroupPasses passes;
        auto one_pass = [&] {
            for (auto [side, address] : sides) {
                ConsoleLink console{side->side(), address};
                if (!console.open()) {
                    passes.skip(side_name(side->side()), "the console could not open the link");
                    continue;
                }
                rows(console, *side, passes);
                console.close();
            }
        };
        for (; passes.more(options); ++passes.index) one_pass();
        passes.reporting = true;
        one_pass();
    };
    std::string no_udp = no_namespace.empty()
                             ? std::string()
                             : "its veth pair needs a private network namespace: " + no_namespace;
    if (no_udp.empty())
        no_udp = udp_behind_veth(replies, [&](Responder& udp, uint32_t address) {
            sides.emplace_back(&udp, address);
            run();
            sides.pop_back();
        });
    // Without plain UDP the other two still run.
    if (!no_udp.empty()) {
        run();
        report_skip("plain UDP", no_udp);
    }
    unpin();
}

} // namespace

void net_rows(const BenchOptions& options, const std::string& no_namespace) {
    set_net_details(false);
    std::string where = no_namespace.empty()
                            ? "in a private network namespace"
                            : "on this machine (no private namespace: " + no_namespace + ")";

    report_section(
        "Network links",
        text("RMLX and TCP over loopback %s, plain UDP across a veth pair into a namespace of its "
             "own (port 9101 at both ends). The device side is a thread of the bench that answers "
             "each request at once with the simulated device's reply; the bare exchange is the "
             "bench's own client sending the same datagrams or stream writes through the same "
             "socket calls (`sendto`, `poll`, `recvfrom`; `send`, `recv` on TCP) to the same "
             "device side, in %d pairs of slices of %.2f s, the console's and the bare "
             "exchange's in random order. A row's pairs are spread over the whole group, %d "
             "passes through all its rows, so that a spell of load lasting seconds spoils a few "
             "pairs of each row rather than a row whole. A pair counts where the measured core "
             "ran at its full speed throughout: a fixed walk through memory with some system "
             "calls, timed before and after the pair, within %.0f%% of the group's best (its "
             "tenth percentile), and the bare exchange's processor time within as much of the "
             "row's best. A host that "
             "lends the core's caches to other work (which no steal time shows) slows the "
             "console's requests more than the bare ones, which touch less memory; such pairs are "
             "set aside and counted in the row, and passes go on, up to %d, while a row with a "
             "goal has fewer than half its pairs left. The rates are totals and the ratios "
             "medians, with their 95%% intervals, over the pairs kept; sleeps are the times a "
             "request gave up its core to wait, and system calls are the measured thread's own, as "
             "the "
             "kernel counts them. The device side runs on a core of its own where "
             "there are two, the console and the bare client on the other. The console's "
             "requests go through `execute_command`, the path of every request (the link's "
             "transaction, then the status panel and the Reply field), with the real FLTK window "
             "pumped as in the program; the reply-to-return times and the silent waits are the "
             "link's transaction alone (`link_transaction`).",
             where.c_str(), options.slices, options.slice_seconds, GroupPasses::planned,
             (GroupPasses::slack - 1) * 100, GroupPasses::most));

    recorder_row(device_address(no_namespace));
    over_links(options, no_namespace,
               [&](ConsoleLink& console, Responder& device, GroupPasses& passes) {
                   link_rows(console, device, options, passes);
               });
    report_note("The bare exchanges carry what the protocols prescribe: on RMLX the NAK frame the "
                "console sends after every reply, on plain UDP the ENQ/ACK synchronisation that "
                "begins every request (it ends with each accepted reply) and the ACK after the "
                "reply. No link waits on a timer while its device answers, so none of these "
                "figures holds a wait the protocol prescribes; the silent rows are those waits "
                "themselves. What a request of the console takes beyond its bare exchange is its "
                "own work, shown in each rate row, all of it on the round trip while the device "
                "side waits: the frame built and its checksums computed and checked, the reply "
                "parsed, the timers read, the wire recorder (its rows above: the recorder alone, "
                "and the requests with it off), the status panel and the Reply field; the bare "
                "client sends datagrams made in advance and does not look into the reply.");
}

void net_cost_rows(const BenchOptions& options, const std::string& no_namespace) {
    set_net_details(false);
    report_section(
        "Network links: where the console's time goes",
        text("What a request \"v\" of the console does beyond its bare exchange, on RMLX, "
             "TCP and plain UDP, set piece by piece against the bare exchange in %d pairs of "
             "slices as above: "
             "the console whole; without the wire recorder; its transaction alone, without the "
             "status panel and the Reply field; the bare exchange waiting as the console waits, "
             "through the window (`ui_wait` on the socket and the X connection, then "
             "`pump_one_message`); on TCP the bare exchange with the console's one more read "
             "after the reply, which finds the rest of a reply that came in pieces. Each ratio "
             "is the measured side's requests per second against the bare exchange's.",
             options.slices));
    over_links(options, no_namespace,
               [&](ConsoleLink& console, Responder& device, GroupPasses& passes) {
                   cost_rows(console, device, options, passes);
               });
    report_note(
        "A piece's cost is the gap between its row's ratio and 100%, or between the console's "
        "row and the row without the piece. With the device side on a core of its own a request "
        "takes some 30 us, so that a microsecond of the console's is three points of the rate. "
        "The frame, its checksums and the reply's parsing cost well under a microsecond (the "
        "transaction alone, without the recorder, against the wait through the window); the "
        "status panel and the Reply field, which are set to what they show already, about "
        "nothing; the wire recorder a point or two; the wait through the window, which keeps "
        "the window answering during a request, a point or two. The one more read after a TCP "
        "reply cost three to four points, and the console no longer makes it where the read "
        "before took less than its room, that is, all that was pending. A plain UDP request "
        "makes two round trips, the enquiry's and the text's, so its wait through the window "
        "comes twice and its rate row holds two such costs.");
}
