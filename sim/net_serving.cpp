#include "sim/net_sides.h"

#include "sim/net_serving.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

bool read_datagram(int fd, std::string& bytes, sockaddr_in& from) {
    char buf[2048];
    socklen_t fl = sizeof from;
    ssize_t n = recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fl);
    if (n < 0) return false;
    bytes.assign(buf, size_t(n));
    return true;
}

const NetFaultName net_fault_names[20] = {
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
    {"--net-resend-differs", &NetFaults::resend_differs},
    {"--net-act-fsn", &NetFaults::act_fsn},
};

NetCore::~NetCore() {
    if (foreign_fd >= 0) close(foreign_fd);
}

void NetCore::record(char side, bool inbound, uint32_t peer, uint32_t local, std::string bytes) {
    if (inbound && config.received)
        config.received(side == 'r' ? "rmlx" : side == 't' ? "tcp" : "udp", bytes);
    if (!config.keep_wire) return;
    std::lock_guard<std::mutex> lock(mutex);
    records.push_back({side, inbound, peer, local, std::move(bytes)});
}

bool NetCore::strike(const char* side, unsigned NetFaults::*fault) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (faults.*fault == 0) return false;
        --(faults.*fault);
    }
    for (const NetFaultName& f : net_fault_names)
        if (f.count == fault) note(side, std::string("injected ") + f.option);
    return true;
}

void NetCore::note(const char* side, const std::string& text) {
    if (config.note) config.note(side, text);
}

std::string NetCore::answer(const char* side, size_t device, std::string_view request) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (faults.fixed_reply) return *faults.fixed_reply;
    }
    if (device == 0 && config.shared_device) return config.shared_device(side, request);
    return models[device]->handle(request);
}

void NetCore::send_udp(int fd, char side, uint32_t local, uint32_t to, uint16_t port,
                       const std::string& bytes) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = to;
    sa.sin_port = htons(port);
    sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    record(side, false, to, local, bytes);
}

// The sides, what they share, and the pipe that wakes the serving thread.
struct NetSides::State {
    NetCore core;
    RmlxSide rmlx;
    TcpSide tcp;
    UdpSide udp;
    int wake[2] = {-1, -1};
    std::condition_variable settled;
    unsigned settle_asked = 0;
    unsigned settle_done = 0;

    ~State() {
        for (int fd : wake)
            if (fd >= 0) close(fd);
    }

    // Polls the wake pipe and every socket; handles what is readable.
    // Returns the number of readable descriptors, -1 on failure.
    int serve_once(int timeout_ms, char* wake_byte) {
        std::vector<pollfd> fds;
        fds.push_back({wake[0], POLLIN, 0});
        rmlx.watch(fds);
        tcp.watch(fds);
        udp.watch(fds);
        int n = poll(fds.data(), fds.size(), timeout_ms);
        if (n < 0) return errno == EINTR ? 0 : -1;
        if (fds[0].revents != 0 && read(wake[0], wake_byte, 1) != 1) return -1;
        for (size_t i = 1; i < fds.size(); ++i) {
            int fd = fds[i].fd;
            if (fds[i].revents != 0 && !rmlx.readable(core, fd) && !tcp.readable(core, fd))
                udp.readable(core, fd);
        }
        return n;
    }

    void serve() {
        for (;;) {
            char wake_byte = 0;
            int served = serve_once(tcp.next_due_ms(), &wake_byte);
            tcp.send_due(core);
            if (served < 0 || wake_byte == 'q') return;
            if (wake_byte != 's') continue;
            // Settling: what is in flight on a veth pair may take a moment.
            while (serve_once(10, &wake_byte) > 0)
                if (wake_byte == 'q') return;
            std::lock_guard<std::mutex> lock(core.mutex);
            settle_done = settle_asked;
            settled.notify_all();
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
    NetCore& core = s.core;
    core.config = config;
    if (pipe2(s.wake, O_CLOEXEC) != 0) {
        error = "cannot make a pipe";
        return false;
    }
    size_t model_count = config.rmlx_devices.empty() ? 1 : config.rmlx_devices.size();
    for (size_t i = 0; i < model_count; ++i)
        core.models.push_back(std::make_unique<DeviceModel>(uint32_t(i + 1)));
    if (!s.rmlx.open(core, error)) return false;
    if (config.foreign_address != 0) {
        core.foreign_fd = open_udp(config.foreign_address, 0, false, error);
        if (core.foreign_fd < 0) return false;
    }
    return s.udp.open(core, error) && s.tcp.open(core, error);
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
    std::unique_lock<std::mutex> lock(state_->core.mutex);
    unsigned ticket = ++state_->settle_asked;
    char c = 's';
    if (write(state_->wake[1], &c, 1) != 1) return;
    state_->settled.wait_for(lock, std::chrono::seconds(10),
                             [&] { return state_->settle_done >= ticket; });
}

void NetSides::set_faults(const NetFaults& faults) {
    std::lock_guard<std::mutex> lock(state_->core.mutex);
    state_->core.faults = faults;
}

NetFaults NetSides::faults() {
    std::lock_guard<std::mutex> lock(state_->core.mutex);
    return state_->core.faults;
}

std::vector<WireRecord> NetSides::wire() {
    std::lock_guard<std::mutex> lock(state_->core.mutex);
    return state_->core.records;
}

void NetSides::clear_wire() {
    std::lock_guard<std::mutex> lock(state_->core.mutex);
    state_->core.records.clear();
}
