#include "sim/net_sides.h"

#include "codec/frame_checksum.h"
#include "net/rmlx.h"
#include "net/tcp.h"
#include "net/udp.h"
#include "sim/device_model.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr uint8_t enq_refused = 0x15; // what --net-enq-other answers

uint16_t checksum(const std::string& bytes, size_t from, size_t to) {
    return rmlx_checksum(reinterpret_cast<const uint8_t*>(bytes.data()) + from, to - from);
}

void put16(std::string& b, size_t at, uint16_t v) {
    b[at] = char(v & 0xFF);
    b[at + 1] = char(v >> 8);
}

uint16_t get16(const std::string& b, size_t at) {
    return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}

// An RMLX frame with both checksums; the length field is the data size plus
// length_extra (a flaw the faults put in).
std::string rmlx_frame(uint16_t id, uint16_t fsn, uint8_t op, std::string_view data,
                       int length_extra = 0) {
    std::string b(12, '\0');
    put16(b, 0, id);
    put16(b, 2, fsn);
    b[4] = char(op);
    put16(b, 6, uint16_t(data.size() + size_t(length_extra)));
    b.append(data);
    put16(b, 8, checksum(b, 12, b.size()));
    put16(b, 10, checksum(b, 0, 10));
    return b;
}

std::string text_frame(std::string_view text, bool bad_digits) {
    unsigned sum = frame_checksum(text.data(), text.size());
    if (bad_digits) sum = (sum + 1) % 100;
    char digits[3];
    snprintf(digits, sizeof digits, "%02u", sum);
    std::string b(1, char(udp_stx));
    b.append(text);
    b += '/';
    b.append(digits, 2);
    b += char(udp_etx);
    return b;
}

int open_udp(uint32_t address, uint16_t port, bool reuse, std::string& error) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int on = 1;
    if (fd >= 0 && reuse) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = address;
    sa.sin_port = htons(port);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        char text[96];
        snprintf(text, sizeof text, "cannot bind UDP %s:%u: %s", inet_ntoa(sa.sin_addr),
                 unsigned(port), strerror(errno));
        error = text;
        if (fd >= 0) close(fd);
        return -1;
    }
    return fd;
}

std::string dotted_text(uint32_t address) {
    in_addr a{};
    a.s_addr = address;
    return inet_ntoa(a);
}

} // namespace

const NetFaultName net_fault_names[18] = {
    {"--net-silent", &NetFaults::silent},
    {"--net-ignore-sync", &NetFaults::ignore_sync},
    {"--net-ignore-request", &NetFaults::ignore_request},
    {"--net-rst", &NetFaults::rst},
    {"--net-nak", &NetFaults::nak},
    {"--net-bad-data", &NetFaults::bad_data_sum},
    {"--net-late", &NetFaults::late},
    {"--net-foreign", &NetFaults::foreign},
    {"--net-bad-header", &NetFaults::bad_header_sum},
    {"--net-wrong-length", &NetFaults::wrong_length},
    {"--net-wrong-id", &NetFaults::wrong_id},
    {"--net-too-short", &NetFaults::too_short},
    {"--net-too-long", &NetFaults::too_long},
    {"--net-stray-ack", &NetFaults::stray_ack},
    {"--net-stray-byte", &NetFaults::stray_byte},
    {"--net-enq-other", &NetFaults::enq_other},
    {"--net-pieces", &NetFaults::pieces},
    {"--net-hang-up", &NetFaults::hang_up},
};

struct NetSides::State {
    struct RmlxDevice {
        uint32_t address = 0;
        int fd = -1;
        bool synced = false;
        uint16_t expected = 0; // fsn of the next new request
        bool answered = false; // last_fsn and last_reply are set
        uint16_t last_fsn = 0;
        std::string last_reply;
        std::string previous_reply; // the reply before last_reply
    };
    struct TcpConnection {
        int fd = -1;
        std::string held; // a late reply, sent when the next request comes
    };

    NetSidesConfig config;
    std::vector<std::unique_ptr<DeviceModel>> models;
    std::vector<RmlxDevice> devices;
    int broadcast_fd = -1;
    int foreign_fd = -1;
    int tcp_listen_fd = -1;
    std::vector<TcpConnection> tcp;
    int udp_fd = -1;
    bool udp_synced = false;
    std::string udp_last_reply; // frame resent on NAK
    int wake[2] = {-1, -1};

    std::mutex mutex; // guards faults, records and settling against the test thread
    NetFaults faults;
    std::vector<WireRecord> records;
    std::condition_variable settled;
    unsigned settle_asked = 0;
    unsigned settle_done = 0;

    ~State() {
        for (auto& d : devices) close(d.fd);
        for (auto& c : tcp) close(c.fd);
        for (int fd : {broadcast_fd, foreign_fd, tcp_listen_fd, udp_fd, wake[0], wake[1]})
            if (fd >= 0) close(fd);
    }

    void record(char side, bool inbound, uint32_t peer, uint32_t local, std::string bytes) {
        if (inbound && config.received)
            config.received(side == 'r' ? "rmlx" : side == 't' ? "tcp" : "udp", bytes);
        if (!config.keep_wire) return;
        std::lock_guard<std::mutex> lock(mutex);
        records.push_back({side, inbound, peer, local, std::move(bytes)});
    }

    // Takes one strike of a fault, under the lock, and says so in the log.
    bool strike(const char* side, unsigned NetFaults::*fault) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (faults.*fault == 0) return false;
            --(faults.*fault);
        }
        for (const NetFaultName& f : net_fault_names)
            if (f.count == fault) note(side, std::string("injected ") + f.option);
        return true;
    }

    void note(const char* side, const std::string& text) {
        if (config.note) config.note(side, text);
    }

    std::string answer(const char* side, size_t device, std::string_view request) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (faults.fixed_reply) return *faults.fixed_reply;
        }
        if (device == 0 && config.shared_device) return config.shared_device(side, request);
        return models[device]->handle(request);
    }

    void send_udp(int fd, char side, uint32_t local, uint32_t to, uint16_t port,
                  const std::string& bytes) {
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = to;
        sa.sin_port = htons(port);
        sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        record(side, false, to, local, bytes);
    }

    // RMLX ------------------------------------------------------------------

    void rmlx_datagram(RmlxDevice& d, const std::string& b, uint32_t from, uint16_t port) {
        auto send = [&](const std::string& frame) {
            send_udp(d.fd, 'r', d.address, from, port, frame);
        };
        if (b.size() < 12 || b.size() > 512 || get16(b, 10) != checksum(b, 0, 10) ||
            get16(b, 6) != b.size() - 12 || get16(b, 0) != frame_id_console) {
            note("rmlx", "dropped a malformed frame");
            return;
        }
        if (strike("rmlx", &NetFaults::silent)) return;
        uint16_t fsn = get16(b, 2);
        uint8_t op = uint8_t(b[4]);
        switch (op) {
        case op_qry:
            send(rmlx_frame(frame_id_device, fsn, op_act, {}));
            return;
        case op_syn:
            if (strike("rmlx", &NetFaults::ignore_sync)) return;
            d.synced = true;
            d.expected = uint16_t(fsn + 1);
            d.answered = false;
            send(rmlx_frame(frame_id_device, fsn, op_ack, {}));
            return;
        case op_nak:
            return; // the console's receipt of a reply
        case op_req:
            break;
        default:
            note("rmlx", "ignored an unknown opcode");
            return;
        }

        if (strike("rmlx", &NetFaults::ignore_request)) return;
        bool repeat = d.answered && fsn == d.last_fsn;
        if (!d.synced || (fsn != d.expected && !repeat)) {
            send(rmlx_frame(frame_id_device, fsn, op_rst, {}));
            return;
        }
        if (strike("rmlx", &NetFaults::rst)) {
            d.synced = false;
            send(rmlx_frame(frame_id_device, fsn, op_rst, {}));
            return;
        }
        if (strike("rmlx", &NetFaults::nak)) {
            send(rmlx_frame(frame_id_device, fsn, op_nak, {}));
            return;
        }
        if (!repeat) {
            d.previous_reply = d.last_reply;
            d.last_reply = answer("rmlx", size_t(&d - devices.data()), b.substr(12));
            d.last_fsn = fsn;
            d.answered = true;
            d.expected = uint16_t(fsn + 1);
        }
        const std::string& reply = d.last_reply;
        if (strike("rmlx", &NetFaults::late))
            send(rmlx_frame(frame_id_device, uint16_t(fsn - 1), op_rep, d.previous_reply));
        if (strike("rmlx", &NetFaults::foreign) && foreign_fd >= 0)
            send_udp(foreign_fd, 'r', config.foreign_address, from, port,
                     rmlx_frame(frame_id_device, fsn, op_rep, reply));
        if (strike("rmlx", &NetFaults::bad_header_sum)) {
            std::string f = rmlx_frame(frame_id_device, fsn, op_rep, reply);
            put16(f, 10, uint16_t(get16(f, 10) + 1));
            send(f);
        }
        if (strike("rmlx", &NetFaults::wrong_length))
            send(rmlx_frame(frame_id_device, fsn, op_rep, reply, 2));
        if (strike("rmlx", &NetFaults::wrong_id))
            send(rmlx_frame(frame_id_console, fsn, op_rep, reply));
        if (strike("rmlx", &NetFaults::too_short))
            send(rmlx_frame(frame_id_device, fsn, op_rep, reply).substr(0, 11));
        if (strike("rmlx", &NetFaults::too_long)) {
            std::string f = rmlx_frame(frame_id_device, fsn, op_rep, std::string(501, 'L'));
            send(f);
        }
        std::string rep = rmlx_frame(frame_id_device, fsn, op_rep, reply);
        if (strike("rmlx", &NetFaults::bad_data_sum)) {
            put16(rep, 8, uint16_t(get16(rep, 8) + 1));
            put16(rep, 10, checksum(rep, 0, 10));
        }
        send(rep);
    }

    // A QRY sent to the broadcast address: every device answers from its own
    // address, in order.
    void broadcast_datagram() {
        char buf[600];
        char control[64];
        iovec iov{buf, sizeof buf};
        sockaddr_in from{};
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        ssize_t n = recvmsg(broadcast_fd, &msg, 0);
        if (n < 0) return;
        uint32_t destination = 0;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c))
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO)
                destination = reinterpret_cast<in_pktinfo*>(CMSG_DATA(c))->ipi_addr.s_addr;
        std::string b(buf, size_t(n));
        record('r', true, from.sin_addr.s_addr, destination, b);
        if (destination != INADDR_BROADCAST) return;
        if (b.size() != 12 || uint8_t(b[4]) != op_qry || get16(b, 0) != frame_id_console ||
            get16(b, 10) != checksum(b, 0, 10))
            return;
        if (strike("rmlx", &NetFaults::silent)) return;
        for (auto& d : devices)
            send_udp(d.fd, 'r', d.address, from.sin_addr.s_addr, ntohs(from.sin_port),
                     rmlx_frame(frame_id_device, get16(b, 2), op_act, {}));
    }

    // TCP -------------------------------------------------------------------

    void tcp_accept() {
        int fd = accept4(tcp_listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) tcp.push_back({fd, {}});
    }

    void tcp_send(int fd, const std::string& bytes) {
        send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        record('t', false, 0, config.tcp_address, bytes);
    }

    // Returns false when the connection is to be closed.
    bool tcp_readable(TcpConnection& c) {
        char buf[4096];
        ssize_t n = recv(c.fd, buf, sizeof buf, 0);
        if (n <= 0) return false;
        std::string request(buf, size_t(n));
        record('t', true, 0, config.tcp_address, request);
        if (strike("tcp", &NetFaults::silent) || strike("tcp", &NetFaults::ignore_request))
            return true;
        if (strike("tcp", &NetFaults::hang_up)) {
            note("tcp", "hung up instead of replying");
            return false;
        }
        std::string reply = answer("tcp", 0, request);
        if (!c.held.empty()) {
            tcp_send(c.fd, c.held);
            c.held.clear();
        }
        if (strike("tcp", &NetFaults::late)) {
            c.held = reply;
        } else if (strike("tcp", &NetFaults::pieces) && reply.size() > 4) {
            tcp_send(c.fd, reply.substr(0, 4));
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            tcp_send(c.fd, reply.substr(4));
        } else {
            tcp_send(c.fd, reply);
        }
        return true;
    }

    // Plain UDP -------------------------------------------------------------

    void udp_datagram(const std::string& b, uint32_t from, uint16_t port) {
        auto send = [&](const std::string& bytes) {
            send_udp(udp_fd, 'u', config.udp_address, from, port, bytes);
        };
        if (strike("udp", &NetFaults::silent)) return;
        if (b.size() == 1) {
            switch (uint8_t(b[0])) {
            case udp_enq:
                if (strike("udp", &NetFaults::ignore_sync)) return;
                if (strike("udp", &NetFaults::enq_other)) {
                    send(std::string(1, char(enq_refused)));
                    return;
                }
                udp_synced = true;
                send(std::string(1, char(udp_ack)));
                return;
            case udp_ack:
                udp_last_reply.clear();
                return;
            case udp_nak:
                if (!udp_last_reply.empty()) send(udp_last_reply);
                return;
            default:
                note("udp", "ignored a control byte");
                return;
            }
        }
        std::string_view text(b);
        if (b.size() < 5 || uint8_t(b.front()) != udp_stx || uint8_t(b.back()) != udp_etx ||
            text_frame(text.substr(1, b.size() - 5), false) != b) {
            send(std::string(1, char(udp_nak)));
            return;
        }
        if (strike("udp", &NetFaults::ignore_request)) return;
        if (!udp_synced || strike("udp", &NetFaults::rst)) {
            udp_synced = false;
            send(std::string(1, char(udp_resync)));
            return;
        }
        if (strike("udp", &NetFaults::nak)) {
            send(std::string(1, char(udp_nak)));
            return;
        }
        udp_synced = false; // every request begins with its own ENQ
        std::string reply = answer("udp", 0, text.substr(1, b.size() - 5));
        std::string frame = text_frame(reply, false);
        if (strike("udp", &NetFaults::stray_ack)) send(std::string(1, char(udp_ack)));
        if (strike("udp", &NetFaults::stray_byte)) send("A");
        if (strike("udp", &NetFaults::foreign) && foreign_fd >= 0)
            send_udp(foreign_fd, 'u', config.foreign_address, from, port, frame);
        if (strike("udp", &NetFaults::too_short)) {
            send(std::string(1, char(udp_text)));
            send(std::string("\x02/1\x03", 4));
        }
        if (strike("udp", &NetFaults::too_long)) send(text_frame(std::string(595, 'L'), false));
        udp_last_reply = frame;
        send(strike("udp", &NetFaults::bad_data_sum) ? text_frame(reply, true) : frame);
    }

    // The loop --------------------------------------------------------------

    // Polls the wake pipe and every socket; handles what is readable.
    // Returns the number of readable descriptors, -1 on failure.
    int serve_once(int timeout_ms, char* wake_byte) {
        std::vector<pollfd> fds;
        fds.push_back({wake[0], POLLIN, 0});
        for (auto& d : devices) fds.push_back({d.fd, POLLIN, 0});
        for (int fd : {broadcast_fd, tcp_listen_fd, udp_fd})
            if (fd >= 0) fds.push_back({fd, POLLIN, 0});
        for (auto& c : tcp) fds.push_back({c.fd, POLLIN, 0});
        int n = poll(fds.data(), fds.size(), timeout_ms);
        if (n < 0) return errno == EINTR ? 0 : -1;
        if (fds[0].revents != 0 && read(wake[0], wake_byte, 1) != 1) return -1;
        for (size_t i = 1; i < fds.size(); ++i)
            if (fds[i].revents != 0) readable(fds[i].fd);
        return n;
    }

    void serve() {
        for (;;) {
            char wake_byte = 0;
            if (serve_once(-1, &wake_byte) < 0 || wake_byte == 'q') return;
            if (wake_byte != 's') continue;
            // Settling: what is in flight on a veth pair may take a moment.
            while (serve_once(10, &wake_byte) > 0)
                if (wake_byte == 'q') return;
            std::lock_guard<std::mutex> lock(mutex);
            settle_done = settle_asked;
            settled.notify_all();
        }
    }

    void readable(int fd) {
        if (fd == broadcast_fd) return broadcast_datagram();
        if (fd == tcp_listen_fd) return tcp_accept();
        for (size_t i = 0; i < tcp.size(); ++i) {
            if (tcp[i].fd != fd) continue;
            if (!tcp_readable(tcp[i])) {
                close(fd);
                tcp.erase(tcp.begin() + ptrdiff_t(i));
            }
            return;
        }
        char buf[2048];
        sockaddr_in from{};
        socklen_t fl = sizeof from;
        ssize_t n = recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fl);
        if (n < 0) return;
        std::string b(buf, size_t(n));
        if (fd == udp_fd) {
            record('u', true, from.sin_addr.s_addr, config.udp_address, b);
            return udp_datagram(b, from.sin_addr.s_addr, ntohs(from.sin_port));
        }
        for (auto& d : devices) {
            if (d.fd != fd) continue;
            record('r', true, from.sin_addr.s_addr, d.address, b);
            return rmlx_datagram(d, b, from.sin_addr.s_addr, ntohs(from.sin_port));
        }
    }
};

NetSides::~NetSides() {
    stop();
    delete state_;
}

bool NetSides::open(const NetSidesConfig& config, std::string& error) {
    delete state_;
    state_ = new State;
    State& s = *state_;
    s.config = config;
    if (pipe2(s.wake, O_CLOEXEC) != 0) {
        error = "cannot make a pipe";
        return false;
    }
    size_t model_count = config.rmlx_devices.empty() ? 1 : config.rmlx_devices.size();
    for (size_t i = 0; i < model_count; ++i)
        s.models.push_back(std::make_unique<DeviceModel>(uint32_t(i + 1)));
    // Devices share the port with the wildcard listener, so both set
    // SO_REUSEADDR; a unicast datagram still goes to its own device.
    for (uint32_t address : config.rmlx_devices) {
        State::RmlxDevice d;
        d.address = address;
        d.fd = open_udp(address, rmlx_port, true, error);
        if (d.fd < 0) return false;
        s.devices.push_back(d);
    }
    if (config.rmlx_broadcast) {
        s.broadcast_fd = open_udp(INADDR_ANY, rmlx_port, true, error);
        if (s.broadcast_fd < 0) return false;
        int on = 1;
        setsockopt(s.broadcast_fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    }
    if (config.foreign_address != 0) {
        s.foreign_fd = open_udp(config.foreign_address, 0, false, error);
        if (s.foreign_fd < 0) return false;
    }
    if (config.udp_address != 0) {
        s.udp_fd = open_udp(config.udp_address, udp_port, false, error);
        if (s.udp_fd < 0) return false;
    }
    if (config.tcp_address != 0) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int on = 1;
        if (fd >= 0) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = config.tcp_address;
        sa.sin_port = htons(udp_port);
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
            listen(fd, 4) != 0) {
            error = "cannot listen on TCP " + dotted_text(config.tcp_address) +
                    ":9101: " + strerror(errno);
            if (fd >= 0) close(fd);
            return false;
        }
        s.tcp_listen_fd = fd;
    }
    return true;
}

void NetSides::serve() {
    if (state_ != nullptr) state_->serve();
}

void NetSides::start() {
    thread_ = std::thread([this] { serve(); });
}

void NetSides::stop() {
    if (state_ != nullptr && state_->wake[1] >= 0) {
        char c = 'q';
        ssize_t r = write(state_->wake[1], &c, 1);
        (void)r;
    }
    if (thread_.joinable()) thread_.join();
}

void NetSides::settle() {
    std::unique_lock<std::mutex> lock(state_->mutex);
    unsigned ticket = ++state_->settle_asked;
    char c = 's';
    if (write(state_->wake[1], &c, 1) != 1) return;
    state_->settled.wait_for(lock, std::chrono::seconds(10),
                             [&] { return state_->settle_done >= ticket; });
}

void NetSides::set_faults(const NetFaults& faults) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->faults = faults;
}

NetFaults NetSides::faults() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->faults;
}

std::vector<WireRecord> NetSides::wire() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->records;
}

void NetSides::clear_wire() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->records.clear();
}
