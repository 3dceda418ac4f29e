// The TCP side: a listener on port 9101 whose connections carry bare
// request texts, each answered with the reply text.
#include "net/tcp.h"
#include "sim/net_serving.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

TcpSide::~TcpSide() {
    for (auto& c : connections) close(c.fd);
    if (listen_fd >= 0) close(listen_fd);
}

bool TcpSide::open(NetCore& core, std::string& error) {
    uint32_t address = core.config.tcp_address;
    if (address == 0) return true;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    if (fd >= 0) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = address;
    sa.sin_port = htons(tcp_port);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        listen(fd, 4) != 0) {
        char text[96];
        snprintf(text, sizeof text, "cannot listen on TCP %s:%u: %s", inet_ntoa(sa.sin_addr),
                 unsigned(tcp_port), strerror(errno));
        error = text;
        if (fd >= 0) close(fd);
        return false;
    }
    listen_fd = fd;
    return true;
}

void TcpSide::watch(std::vector<pollfd>& fds) const {
    if (listen_fd >= 0) fds.push_back({listen_fd, POLLIN, 0});
    for (auto& c : connections) fds.push_back({c.fd, POLLIN, 0});
}

bool TcpSide::readable(NetCore& core, int fd) {
    if (fd == listen_fd) {
        int accepted = accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (accepted >= 0) connections.push_back({accepted, {}, {}});
        return true;
    }
    for (size_t i = 0; i < connections.size(); ++i) {
        if (connections[i].fd != fd) continue;
        if (!request(core, connections[i])) {
            close(fd);
            connections.erase(connections.begin() + ptrdiff_t(i));
        }
        return true;
    }
    return false;
}

int TcpSide::next_due_ms() const {
    int wait = -1;
    auto now = std::chrono::steady_clock::now();
    for (auto& c : connections) {
        if (c.held.empty()) continue;
        auto ms = std::chrono::ceil<std::chrono::milliseconds>(c.due - now).count();
        int left = ms < 0 ? 0 : int(ms);
        if (wait < 0 || left < wait) wait = left;
    }
    return wait;
}

void TcpSide::send_due(NetCore& core) {
    auto now = std::chrono::steady_clock::now();
    for (auto& c : connections) {
        if (c.held.empty() || c.due > now) continue;
        send_reply(core, c.fd, c.held);
        c.held.clear();
    }
}

void TcpSide::send_reply(NetCore& core, int fd, const std::string& bytes) {
    send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    core.record('t', false, 0, core.config.tcp_address, bytes);
}

bool TcpSide::request(NetCore& core, Connection& c) {
    char buf[4096];
    ssize_t n = recv(c.fd, buf, sizeof buf, 0);
    if (n <= 0) return false;
    std::string text(buf, size_t(n));
    core.record('t', true, 0, core.config.tcp_address, text);
    if (core.strike("tcp", &NetFaults::silent) || core.strike("tcp", &NetFaults::ignore_request))
        return true;
    if (core.strike("tcp", &NetFaults::hang_up)) {
        core.note("tcp", "hung up instead of replying");
        return false;
    }
    std::string reply = core.answer("tcp", 0, text);
    if (!c.held.empty()) {
        send_reply(core, c.fd, c.held);
        c.held.clear();
    }
    if (core.strike("tcp", &NetFaults::late)) {
        c.held = reply;
        c.due =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(core.config.tcp_late_ms);
    } else if (core.strike("tcp", &NetFaults::pieces) && reply.size() > 4) {
        send_reply(core, c.fd, reply.substr(0, 4));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        send_reply(core, c.fd, reply.substr(4));
    } else {
        send_reply(core, c.fd, reply);
    }
    return true;
}
