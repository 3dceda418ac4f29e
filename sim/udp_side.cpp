// The plain UDP side: the serial character protocol in datagrams on port
// 9101, every request after its own ENQ/ACK.
#include "codec/frame_checksum.h"
#include "net/udp.h"
#include "sim/net_serving.h"

#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr uint8_t enq_refused = 0x15; // what --net-enq-other answers

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

} // namespace

UdpSide::~UdpSide() {
    if (fd >= 0) close(fd);
}

bool UdpSide::open(NetCore& core, std::string& error) {
    if (core.config.udp_address == 0) return true;
    fd = open_udp(core.config.udp_address, udp_port, false, error);
    return fd >= 0;
}

void UdpSide::watch(std::vector<pollfd>& fds) const {
    if (fd >= 0) fds.push_back({fd, POLLIN, 0});
}

bool UdpSide::readable(NetCore& core, int readable_fd) {
    if (readable_fd != fd) return false;
    std::string b;
    sockaddr_in from{};
    if (!read_datagram(fd, b, from)) return true;
    core.record('u', true, from.sin_addr.s_addr, core.config.udp_address, b);
    datagram(core, b, from.sin_addr.s_addr, ntohs(from.sin_port));
    return true;
}

void UdpSide::datagram(NetCore& core, const std::string& b, uint32_t from, uint16_t port) {
    auto send = [&](const std::string& bytes) {
        core.send_udp(fd, 'u', core.config.udp_address, from, port, bytes);
    };
    if (core.strike("udp", &NetFaults::silent)) return;
    if (b.size() == 1) {
        switch (uint8_t(b[0])) {
        case udp_enq:
            if (core.strike("udp", &NetFaults::ignore_sync)) return;
            if (core.strike("udp", &NetFaults::enq_other)) {
                send(std::string(1, char(enq_refused)));
                return;
            }
            synced = true;
            send(std::string(1, char(udp_ack)));
            return;
        case udp_ack:
            last_reply.clear();
            return;
        case udp_nak:
            if (last_reply.empty()) return;
            if (core.strike("udp", &NetFaults::resend_differs)) {
                send(text_frame(last_text + ".", false));
                return;
            }
            send(last_reply);
            return;
        default:
            core.note("udp", "ignored a control byte");
            return;
        }
    }
    std::string_view text(b);
    if (b.size() < 5 || uint8_t(b.front()) != udp_stx || uint8_t(b.back()) != udp_etx ||
        text_frame(text.substr(1, b.size() - 5), false) != b) {
        send(std::string(1, char(udp_nak)));
        return;
    }
    if (core.strike("udp", &NetFaults::ignore_request)) return;
    if (!synced || core.strike("udp", &NetFaults::rst)) {
        synced = false;
        send(std::string(1, char(udp_resync)));
        return;
    }
    if (core.strike("udp", &NetFaults::nak)) {
        send(std::string(1, char(udp_nak)));
        return;
    }
    synced = false; // every request begins with its own ENQ
    std::string reply = core.answer("udp", 0, text.substr(1, b.size() - 5));
    std::string frame = text_frame(reply, false);
    if (core.strike("udp", &NetFaults::stray_ack)) send(std::string(1, char(udp_ack)));
    if (core.strike("udp", &NetFaults::stray_byte)) send("A");
    if (core.strike("udp", &NetFaults::foreign) && core.foreign_fd >= 0)
        core.send_udp(core.foreign_fd, 'u', core.config.foreign_address, from, port, frame);
    if (core.strike("udp", &NetFaults::too_short)) {
        send(std::string(1, char(udp_text)));
        send(std::string("\x02/1\x03", 4));
    }
    if (core.strike("udp", &NetFaults::too_long)) send(text_frame(std::string(595, 'L'), false));
    last_reply = frame;
    last_text = reply;
    send(core.strike("udp", &NetFaults::bad_data_sum) ? text_frame(reply, true) : frame);
}
