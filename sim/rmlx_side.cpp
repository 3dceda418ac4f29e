// The RMLX side: devices on UDP port 24222 that answer QRY, SYN and REQ
// frames, and a wildcard listener that lets them all answer a broadcast QRY.
#include "net/rmlx.h"
#include "net/rmlx_frame.h"
#include "sim/net_serving.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

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

} // namespace

RmlxSide::~RmlxSide() {
    for (auto& d : devices) close(d.fd);
    if (broadcast_fd >= 0) close(broadcast_fd);
}

bool RmlxSide::open(NetCore& core, std::string& error) {
    // Devices share the port with the wildcard listener, so both set
    // SO_REUSEADDR; a unicast datagram still goes to its own device.
    for (uint32_t address : core.config.rmlx_devices) {
        Device d;
        d.address = address;
        d.fd = open_udp(address, rmlx_port, true, error);
        if (d.fd < 0) return false;
        devices.push_back(d);
    }
    if (core.config.rmlx_broadcast) {
        broadcast_fd = open_udp(INADDR_ANY, rmlx_port, true, error);
        if (broadcast_fd < 0) return false;
        int on = 1;
        setsockopt(broadcast_fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    }
    return true;
}

void RmlxSide::watch(std::vector<pollfd>& fds) const {
    for (auto& d : devices) fds.push_back({d.fd, POLLIN, 0});
    if (broadcast_fd >= 0) fds.push_back({broadcast_fd, POLLIN, 0});
}

bool RmlxSide::readable(NetCore& core, int fd) {
    if (fd == broadcast_fd) {
        broadcast_datagram(core);
        return true;
    }
    for (auto& d : devices) {
        if (d.fd != fd) continue;
        std::string b;
        sockaddr_in from{};
        if (!read_datagram(fd, b, from)) return true;
        core.record('r', true, from.sin_addr.s_addr, d.address, b);
        datagram(core, d, b, from.sin_addr.s_addr, ntohs(from.sin_port));
        return true;
    }
    return false;
}

void RmlxSide::datagram(NetCore& core, Device& d, const std::string& b, uint32_t from,
                        uint16_t port) {
    auto send = [&](const std::string& frame) {
        core.send_udp(d.fd, 'r', d.address, from, port, frame);
    };
    if (b.size() < 12 || b.size() > 512 || get16(b, 10) != checksum(b, 0, 10) ||
        get16(b, 6) != b.size() - 12 || get16(b, 0) != frame_id_console) {
        core.note("rmlx", "dropped a malformed frame");
        return;
    }
    if (core.strike("rmlx", &NetFaults::silent)) return;
    uint16_t fsn = get16(b, 2);
    uint8_t op = uint8_t(b[4]);
    switch (op) {
    case op_qry:
        if (core.strike("rmlx", &NetFaults::act_fsn)) fsn = uint16_t(fsn + 1);
        send(rmlx_frame(frame_id_device, fsn, op_act, {}));
        return;
    case op_syn:
        if (core.strike("rmlx", &NetFaults::ignore_sync)) return;
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
        core.note("rmlx", "ignored an unknown opcode");
        return;
    }

    if (get16(b, 8) != checksum(b, 12, b.size())) {
        // Asks for the request again.
        core.note("rmlx", "refused a REQ with a wrong data checksum");
        send(rmlx_frame(frame_id_device, fsn, op_nak, {}));
        return;
    }
    if (core.strike("rmlx", &NetFaults::ignore_request)) return;
    bool repeat = d.answered && fsn == d.last_fsn;
    if (!d.synced || (fsn != d.expected && !repeat)) {
        send(rmlx_frame(frame_id_device, fsn, op_rst, {}));
        return;
    }
    if (core.strike("rmlx", &NetFaults::rst)) {
        d.synced = false;
        send(rmlx_frame(frame_id_device, fsn, op_rst, {}));
        return;
    }
    if (core.strike("rmlx", &NetFaults::nak)) {
        send(rmlx_frame(frame_id_device, fsn, op_nak, {}));
        return;
    }
    if (!repeat) {
        d.previous_reply = d.last_reply;
        d.last_reply = core.answer("rmlx", size_t(&d - devices.data()), b.substr(12));
        d.last_fsn = fsn;
        d.answered = true;
        d.expected = uint16_t(fsn + 1);
    }
    std::string reply = d.last_reply;
    if (repeat && core.strike("rmlx", &NetFaults::resend_differs)) reply += ".";
    if (core.strike("rmlx", &NetFaults::late))
        send(rmlx_frame(frame_id_device, uint16_t(fsn - 1), op_rep, d.previous_reply));
    if (core.strike("rmlx", &NetFaults::foreign) && core.foreign_fd >= 0)
        core.send_udp(core.foreign_fd, 'r', core.config.foreign_address, from, port,
                      rmlx_frame(frame_id_device, fsn, op_rep, reply));
    if (core.strike("rmlx", &NetFaults::bad_header_sum)) {
        std::string f = rmlx_frame(frame_id_device, fsn, op_rep, reply);
        put16(f, 10, uint16_t(get16(f, 10) + 1));
        send(f);
    }
    if (core.strike("rmlx", &NetFaults::wrong_length))
        send(rmlx_frame(frame_id_device, fsn, op_rep, reply, 2));
    if (core.strike("rmlx", &NetFaults::wrong_id))
        send(rmlx_frame(frame_id_console, fsn, op_rep, reply));
    if (core.strike("rmlx", &NetFaults::too_short))
        send(rmlx_frame(frame_id_device, fsn, op_rep, reply).substr(0, 11));
    if (core.strike("rmlx", &NetFaults::too_long)) {
        std::string f = rmlx_frame(frame_id_device, fsn, op_rep, std::string(501, 'L'));
        send(f);
    }
    std::string rep = rmlx_frame(frame_id_device, fsn, op_rep, reply);
    if (core.strike("rmlx", &NetFaults::bad_data_sum)) {
        put16(rep, 8, uint16_t(get16(rep, 8) + 1));
        put16(rep, 10, checksum(rep, 0, 10));
    }
    send(rep);
}

// A QRY sent to the broadcast address: every device answers from its own
// address, in order.
void RmlxSide::broadcast_datagram(NetCore& core) {
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
    core.record('r', true, from.sin_addr.s_addr, destination, b);
    if (destination != INADDR_BROADCAST) return;
    if (b.size() != 12 || uint8_t(b[4]) != op_qry || get16(b, 0) != frame_id_console ||
        get16(b, 10) != checksum(b, 0, 10))
        return;
    if (core.strike("rmlx", &NetFaults::silent)) return;
    for (auto& d : devices)
        core.send_udp(d.fd, 'r', d.address, from.sin_addr.s_addr, ntohs(from.sin_port),
                      rmlx_frame(frame_id_device, get16(b, 2), op_act, {}));
}
