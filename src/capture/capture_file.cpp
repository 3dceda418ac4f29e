// The pcapng writer: a section header, one interface description per kind of
// link in the capture, and one enhanced packet block per packet. Blocks are
// in the host's byte order (the section's magic number tells readers which),
// the packets' own headers in network order.
#include "capture/capture_file.h"

#include "base/log.h"
#include "base/save_file.h"
#include "base/wall_clock.h"
#include "capture/wire_capture.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

namespace {

constexpr uint32_t block_section = 0x0A0D0D0A;
constexpr uint32_t block_interface = 1;
constexpr uint32_t block_packet = 6;
constexpr uint16_t linktype_ipv4 = 228;
constexpr uint16_t linktype_user0 = 147;
constexpr uint16_t opt_end = 0, opt_comment = 1;
constexpr uint16_t shb_userappl = 4;
constexpr uint16_t if_name = 2, if_description = 3;
constexpr uint16_t epb_flags = 2;
constexpr uint32_t flags_inbound = 1, flags_outbound = 2;
constexpr uint8_t ip_udp = 17, ip_tcp = 6;
constexpr uint8_t tcp_syn = 0x02, tcp_psh = 0x08, tcp_ack = 0x10;
// The console's and the device's first sequence numbers in every stream.
constexpr uint32_t console_isn = 0x10000000, device_isn = 0x20000000;

// One block's body; the largest is a packet of the largest record.
struct Block {
    uint8_t bytes[65536 + 256];
    size_t size = 0;

    void put(const void* data, size_t n) {
        if (n > 0) memcpy(bytes + size, data, n);
        size += n;
    }
    void u16(uint16_t v) { put(&v, 2); }
    void u32(uint32_t v) { put(&v, 4); }
    void pad() {
        while (size % 4 != 0) bytes[size++] = 0;
    }
    void option(uint16_t code, const void* data, size_t n) {
        u16(code);
        u16(uint16_t(n));
        put(data, n);
        pad();
    }
    void text_option(uint16_t code, const char* text) { option(code, text, strlen(text)); }
};

void be16(uint8_t* at, uint16_t v) {
    at[0] = uint8_t(v >> 8);
    at[1] = uint8_t(v);
}
void be32(uint8_t* at, uint32_t v) {
    be16(at, uint16_t(v >> 16));
    be16(at + 2, uint16_t(v));
}

// The Internet checksum's running sum of 16-bit words.
uint32_t sum_words(const uint8_t* data, size_t n, uint32_t sum = 0) {
    for (size_t i = 0; i + 1 < n; i += 2) sum += uint32_t(data[i] << 8 | data[i + 1]);
    if (n % 2 != 0) sum += uint32_t(data[n - 1] << 8);
    return sum;
}
uint16_t fold(uint32_t sum) {
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return uint16_t(~sum);
}

struct Stream {
    uint32_t local_address = 0, peer_address = 0;
    uint16_t local_port = 0, peer_port = 0;
    uint32_t console_next = 0, device_next = 0; // next sequence numbers
    bool used = false;
};

struct Writer {
    std::string out;
    bool has_network = false, has_serial = false;
    uint32_t network_interface = 0, serial_interface = 0;
    uint32_t packets = 0;
    Stream streams[16];
    size_t next_stream = 0;
    uint16_t ip_id = 0;
};

Block block; // large: not on the stack

void write_block(Writer& w, uint32_t type) {
    Block& b = block;
    b.pad();
    uint32_t total = uint32_t(b.size + 12);
    w.out.append(reinterpret_cast<const char*>(&type), 4);
    w.out.append(reinterpret_cast<const char*>(&total), 4);
    w.out.append(reinterpret_cast<const char*>(b.bytes), b.size);
    w.out.append(reinterpret_cast<const char*>(&total), 4);
    b.size = 0;
}

void write_section(Writer& w) {
    Block& b = block;
    b.u32(0x1A2B3C4D); // byte-order magic
    b.u16(1);          // version 1.0
    b.u16(0);
    b.u32(0xFFFFFFFF); // section length not given
    b.u32(0xFFFFFFFF);
    b.text_option(shb_userappl, "Varnoke");
    if (uint64_t dropped = wire_capture_dropped(); dropped > 0) {
        char text[120];
        snprintf(text, sizeof text,
                 "%llu older records were dropped to keep the capture within %u MB",
                 (unsigned long long)dropped, unsigned(wire_capture_capacity >> 20));
        b.text_option(opt_comment, text);
    }
    b.option(opt_end, nullptr, 0);
    write_block(w, block_section);
}

void write_interface(Writer& w, uint16_t linktype, const char* name, const char* description) {
    Block& b = block;
    b.u16(linktype);
    b.u16(0);
    b.u32(0); // no snapshot limit
    b.text_option(if_name, name);
    b.text_option(if_description, description);
    b.option(opt_end, nullptr, 0);
    write_block(w, block_interface);
}

// Starts a packet block; the packet's bytes follow at the block's end.
void begin_packet(uint32_t interface, uint64_t time_us, uint32_t captured, uint32_t length) {
    Block& b = block;
    b.u32(interface);
    b.u32(uint32_t(time_us >> 32));
    b.u32(uint32_t(time_us));
    b.u32(captured);
    b.u32(length);
}

void end_packet(Writer& w, WireDirection direction) {
    Block& b = block;
    b.pad();
    uint32_t flags = direction == WireDirection::inbound ? flags_inbound : flags_outbound;
    b.option(epb_flags, &flags, 4);
    b.option(opt_end, nullptr, 0);
    write_block(w, block_packet);
    ++w.packets;
}

// An IPv4 packet of the record's direction with a transport header of
// header_size bytes (filled in by the caller) and the data after it.
uint8_t* begin_ipv4(Writer& w, const WireCaptureRecord& r, uint8_t protocol, size_t header_size,
                    const uint8_t* data, uint32_t stored, uint32_t length) {
    size_t front = 20 + header_size;
    begin_packet(w.network_interface, r.time_us, uint32_t(front + stored),
                 uint32_t(front + length));
    uint8_t* ip = block.bytes + block.size;
    memset(ip, 0, front);
    bool out = r.direction == WireDirection::outbound;
    ip[0] = 0x45;
    be16(ip + 2, uint16_t(front + length));
    be16(ip + 4, ++w.ip_id);
    be16(ip + 6, 0x4000); // don't fragment
    ip[8] = 64;
    ip[9] = protocol;
    memcpy(ip + 12, out ? &r.local_address : &r.peer_address, 4);
    memcpy(ip + 16, out ? &r.peer_address : &r.local_address, 4);
    be16(ip + 10, fold(sum_words(ip, 20)));
    uint8_t* transport = ip + 20;
    be16(transport, out ? r.local_port : r.peer_port);
    be16(transport + 2, out ? r.peer_port : r.local_port);
    if (stored > 0) memcpy(transport + header_size, data, stored);
    block.size += front + stored;
    return transport;
}

// The transport checksum over the pseudo-header, the header and the data;
// only a packet captured whole has one that can be computed.
uint16_t transport_checksum(const uint8_t* transport, uint8_t protocol, size_t size) {
    const uint8_t* ip = transport - 20;
    uint8_t pseudo[12] = {};
    memcpy(pseudo, ip + 12, 8);
    pseudo[9] = protocol;
    be16(pseudo + 10, uint16_t(size));
    return fold(sum_words(transport, size, sum_words(pseudo, 12)));
}

void write_datagram(Writer& w, const WireCaptureRecord& r) {
    uint8_t* udp = begin_ipv4(w, r, ip_udp, 8, r.data, r.stored, r.length);
    be16(udp + 4, uint16_t(8 + r.length));
    if (r.stored == r.length) {
        uint16_t sum = transport_checksum(udp, ip_udp, 8 + r.length);
        be16(udp + 6, sum == 0 ? 0xFFFF : sum);
    }
    end_packet(w, r.direction);
}

void write_segment(Writer& w, const WireCaptureRecord& r, WireDirection direction, uint32_t seq,
                   uint32_t ack, uint8_t flags) {
    WireCaptureRecord packet = r;
    packet.direction = direction;
    uint8_t* tcp = begin_ipv4(w, packet, ip_tcp, 20, r.data, r.stored, r.stored);
    be32(tcp + 4, seq);
    be32(tcp + 8, ack);
    tcp[12] = 5 << 4; // header of five words
    tcp[13] = flags;
    be16(tcp + 14, 0xFFFF); // window
    be16(tcp + 16, transport_checksum(tcp, ip_tcp, 20 + r.stored));
    end_packet(w, direction);
}

// The stream of a record, opened with a handshake the first time it shows:
// at its connection, or at its first piece when it was made before the
// capture began.
Stream& stream_of(Writer& w, const WireCaptureRecord& r) {
    for (Stream& s : w.streams)
        if (s.used && s.local_address == r.local_address && s.local_port == r.local_port &&
            s.peer_address == r.peer_address && s.peer_port == r.peer_port)
            return s;
    Stream& s = w.streams[w.next_stream];
    w.next_stream = (w.next_stream + 1) % std::size(w.streams);
    s = Stream{r.local_address, r.peer_address, r.local_port, r.peer_port,
               console_isn + 1, device_isn + 1, true};
    WireCaptureRecord empty = r;
    empty.stored = 0;
    write_segment(w, empty, WireDirection::outbound, console_isn, 0, tcp_syn);
    write_segment(w, empty, WireDirection::inbound, device_isn, console_isn + 1, tcp_syn | tcp_ack);
    write_segment(w, empty, WireDirection::outbound, console_isn + 1, device_isn + 1, tcp_ack);
    return s;
}

void write_stream(Writer& w, const WireCaptureRecord& r) {
    Stream& s = stream_of(w, r);
    if (r.kind == WireKind::stream_start) return;
    bool out = r.direction == WireDirection::outbound;
    uint32_t& seq = out ? s.console_next : s.device_next;
    write_segment(w, r, r.direction, seq, out ? s.device_next : s.console_next, tcp_psh | tcp_ack);
    seq += r.stored;
}

void write_serial(Writer& w, const WireCaptureRecord& r) {
    begin_packet(w.serial_interface, r.time_us, r.stored, r.length);
    block.put(r.data, r.stored);
    end_packet(w, r.direction);
}

void note_kinds(const WireCaptureRecord& r, void* context) {
    auto& w = *static_cast<Writer*>(context);
    (r.kind == WireKind::serial ? w.has_serial : w.has_network) = true;
}

void write_record(const WireCaptureRecord& r, void* context) {
    auto& w = *static_cast<Writer*>(context);
    switch (r.kind) {
    case WireKind::serial:
        return write_serial(w, r);
    case WireKind::datagram:
        return write_datagram(w, r);
    case WireKind::stream:
    case WireKind::stream_start:
        return write_stream(w, r);
    }
}

void write_capture(Writer& w) {
    wire_capture_visit(note_kinds, &w);
    write_section(w);
    uint32_t interfaces = 0;
    if (w.has_network) {
        w.network_interface = interfaces++;
        write_interface(w, linktype_ipv4, "network", "the console's network links");
    }
    WireSerialLine line = wire_capture_serial_line();
    if (w.has_serial || line.port != 0) {
        w.serial_interface = interfaces++;
        char name[16], description[80];
        snprintf(name, sizeof name, "COM%d", line.port);
        snprintf(description, sizeof description, "COM%d at %lu baud, %lu%c%lu", line.port,
                 (unsigned long)line.baud, (unsigned long)line.data_bits, line.parity,
                 (unsigned long)line.stop_bits);
        write_interface(w, linktype_user0, name, description);
    }
    wire_capture_visit(write_record, &w);
}

} // namespace

bool save_wire_capture(const char* path, char* error, size_t error_size, uint32_t* packets) {
    if (path == nullptr || *path == '\0') {
        snprintf(error, error_size, "no file name given");
        return false;
    }
    Writer writer;
    block.size = 0;
    write_capture(writer);
    if (char why[128]; !write_whole_file(path, writer.out, why, sizeof why)) {
        snprintf(error, error_size, "cannot write %s: %s", path, why);
        return false;
    }
    if (packets != nullptr) *packets = writer.packets;
    return true;
}

void wire_capture_default_name(char* out, size_t size) {
    char stamp[clock_name_stamp_size];
    format_clock_name_stamp(clock_local_ms(), stamp);
    snprintf(out, size, "varnoke-%s.pcapng", stamp);
}

void save_wire_capture_command(const char* path) {
    char error[error_box_size];
    uint32_t packets = 0;
    if (!save_wire_capture(path, error, sizeof error, &packets)) {
        log_printf("Wire capture not saved: %s", error);
        show_error_box("Cannot save the wire capture: %s", error);
        return;
    }
    uint64_t dropped = wire_capture_dropped();
    if (dropped > 0)
        log_printf("Wire capture saved to %s: %u packets (%llu older records dropped)", path,
                   unsigned(packets), (unsigned long long)dropped);
    else
        log_printf("Wire capture saved to %s: %u packets", path, unsigned(packets));
}
