// The network sides' serving thread, inside: what the three sides share, and
// each side with the state of its own. One file per side: rmlx_side.cpp,
// tcp_side.cpp, udp_side.cpp; net_serving.cpp serves them all from one loop.
#pragma once

#include "sim/device_model.h"
#include "sim/net_sides.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <vector>

// What every side uses: the configuration, the devices, the faults in force
// and the record of the wire.
struct NetCore {
    NetSidesConfig config;
    std::vector<std::unique_ptr<DeviceModel>> models;
    int foreign_fd = -1; // where the foreign fault's datagrams come from

    std::mutex mutex; // guards faults, records and settling against the test thread
    NetFaults faults;
    std::vector<WireRecord> records;

    NetCore() = default;
    NetCore(const NetCore&) = delete;
    NetCore& operator=(const NetCore&) = delete;
    ~NetCore();

    void record(char side, bool inbound, uint32_t peer, uint32_t local, std::string bytes);
    // Takes one strike of a fault, under the lock, and says so in the log.
    bool strike(const char* side, unsigned NetFaults::*fault);
    void note(const char* side, const std::string& text);
    // The reply of device number device (0: the shared one) to request.
    std::string answer(const char* side, size_t device, std::string_view request);
    void send_udp(int fd, char side, uint32_t local, uint32_t to, uint16_t port,
                  const std::string& bytes);
};

// A non-blocking UDP socket bound to address:port; -1 with the reason in
// error.
int open_udp(uint32_t address, uint16_t port, bool reuse, std::string& error);
// Reads one datagram of fd into bytes; false when none could be read.
bool read_datagram(int fd, std::string& bytes, sockaddr_in& from);

// Each side opens its sockets, adds them to the poll set, and handles one
// that is readable: readable() is false for a descriptor not its own.

struct RmlxSide {
    struct Device {
        uint32_t address = 0;
        int fd = -1;
        bool synced = false;
        uint16_t expected = 0; // fsn of the next new request
        bool answered = false; // last_fsn and last_reply are set
        uint16_t last_fsn = 0;
        std::string last_reply;
        std::string previous_reply; // the reply before last_reply
    };
    std::vector<Device> devices;
    int broadcast_fd = -1;

    ~RmlxSide();
    bool open(NetCore& core, std::string& error);
    void watch(std::vector<pollfd>& fds) const;
    bool readable(NetCore& core, int fd);

  private:
    void datagram(NetCore& core, Device& d, const std::string& b, uint32_t from, uint16_t port);
    void broadcast_datagram(NetCore& core);
};

struct TcpSide {
    struct Connection {
        int fd = -1;
        std::string held; // a late reply: sent when due, or before the next reply
        std::chrono::steady_clock::time_point due;
    };
    int listen_fd = -1;
    std::vector<Connection> connections;

    ~TcpSide();
    bool open(NetCore& core, std::string& error);
    void watch(std::vector<pollfd>& fds) const;
    bool readable(NetCore& core, int fd);
    // Milliseconds until the next late reply is due; -1: none is held.
    int next_due_ms() const;
    // Sends the late replies that are due.
    void send_due(NetCore& core);

  private:
    void send_reply(NetCore& core, int fd, const std::string& bytes);
    // False when the connection is to be closed.
    bool request(NetCore& core, Connection& c);
};

struct UdpSide {
    int fd = -1;
    bool synced = false;
    std::string last_reply; // frame resent on NAK
    std::string last_text;  // its text, for a resend that differs

    ~UdpSide();
    bool open(NetCore& core, std::string& error);
    void watch(std::vector<pollfd>& fds) const;
    bool readable(NetCore& core, int fd);

  private:
    void datagram(NetCore& core, const std::string& b, uint32_t from, uint16_t port);
};
