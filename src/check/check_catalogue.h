// The device check's catalogue: every rule of a device's side of the four
// links that the check can test, one row each, with what the check sends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

enum class CheckLink : uint8_t { serial, rmlx, tcp, udp };

// What a check may put on the wire, as bits: nothing that changes the
// device's fiscal records.
enum : uint16_t {
    sends_enq = 1u << 0,
    sends_ack = 1u << 1,
    sends_nak = 1u << 2,
    sends_can = 1u << 3,
    sends_syn = 1u << 4,     // RMLX SYN
    sends_qry = 1u << 5,     // RMLX QRY
    sends_v = 1u << 6,       // the request "v"
    sends_status = 1u << 7,  // the request "?"
    sends_spoiled = 1u << 8, // "v" in a frame with a spoiled checksum
};

struct CheckInfo {
    const char* id; // "serial.enq"
    CheckLink link;
    bool strict;        // run only with --strict
    uint16_t sends;     // sends_* bits
    const char* rule;   // the rule in one sentence
    const char* passes; // what makes it pass
};

inline constexpr CheckInfo check_catalogue[] = {
    // The serial line.
    {"serial.enq", CheckLink::serial, false, sends_can | sends_enq,
     "An enquiry (CAN CAN CAN, ENQ) is answered with ACK within 3000 ms.",
     "ACK is the first byte, in time"},
    {"serial.frame.ack", CheckLink::serial, false, sends_can | sends_enq | sends_v | sends_ack,
     "A request frame with a good checksum is acknowledged with ACK within 2000 ms.",
     "ACK is the first byte, in time"},
    {"serial.frame.badsum", CheckLink::serial, false, sends_can | sends_enq | sends_spoiled,
     "A request frame with a wrong checksum is answered with NAK and nothing else.",
     "NAK within 2000 ms, then 300 ms of silence"},
    {"serial.reply.frame", CheckLink::serial, false, sends_can | sends_enq | sends_v | sends_ack,
     "The reply frame starts with STX within 2000 ms, its bytes follow each other within 500 ms, "
     "it ends with ETX and carries at least 11 bytes ending in the right checksum.",
     "a frame the console accepts"},
    {"serial.reply.clean", CheckLink::serial, true, sends_can | sends_enq | sends_v | sends_ack,
     "No byte comes outside a frame: none before the reply's STX, none after its ETX.",
     "no stray byte, 300 ms watched after ETX"},
    {"serial.reply.status", CheckLink::serial, false, sends_can | sends_enq | sends_v | sends_ack,
     "The reply text begins with three status bytes in hexadecimal, \"HH/HH/HH\", and a \"/\" "
     "before any data.",
     "the layout holds"},
    {"serial.reply.size", CheckLink::serial, false, sends_can | sends_enq | sends_v | sends_ack,
     "The reply fits the console's reply buffer: at most 2047 bytes between STX and ETX.",
     "the longest reply seen fits"},
    {"serial.nak.resend", CheckLink::serial, false,
     sends_can | sends_enq | sends_v | sends_nak | sends_ack,
     "A NAK of a good reply makes the device send the same reply frame again.",
     "the second frame is byte for byte the first"},
    {"serial.status.query", CheckLink::serial, false,
     sends_can | sends_enq | sends_status | sends_ack,
     "The status query \"?\" is answered with a good reply frame with the status layout.",
     "a good reply with the layout"},
    // RMLX over UDP.
    {"rmlx.query", CheckLink::rmlx, false, sends_qry,
     "A presence query QRY is answered within 500 ms with ACT carrying the query's sequence "
     "number.",
     "ACT with the fsn, in time"},
    {"rmlx.sync", CheckLink::rmlx, false, sends_syn,
     "A SYN is answered within 400 ms with ACK carrying the SYN's sequence number.",
     "ACK with the fsn, in time"},
    {"rmlx.reply", CheckLink::rmlx, false, sends_syn | sends_v | sends_nak,
     "A REQ after the synchronisation is answered within 1000 ms with a REP carrying the REQ's "
     "sequence number and a good data checksum.",
     "REP with the fsn and data checksum, in time"},
    {"rmlx.frames", CheckLink::rmlx, false, sends_syn | sends_v | sends_nak,
     "Every datagram that comes back is a frame of the device's: from its address, 12 to 512 "
     "bytes, the id 0x7A2D, a good header checksum and a length field that counts the data.",
     "every datagram passes the console's checks"},
    {"rmlx.reply.status", CheckLink::rmlx, false, sends_syn | sends_v | sends_nak,
     "The REP text begins with three status bytes in hexadecimal, \"HH/HH/HH\", and a \"/\" "
     "before any data.",
     "the layout holds"},
    {"rmlx.repeat", CheckLink::rmlx, false, sends_syn | sends_v | sends_nak,
     "A REQ sent again with the same sequence number is answered with the same REP.",
     "the second REP's data are the first's"},
    {"rmlx.badsum", CheckLink::rmlx, false, sends_syn | sends_spoiled,
     "A REQ with a wrong data checksum is answered with NAK, not with a reply.",
     "NAK with the fsn within 1000 ms, no REP"},
    {"rmlx.nak.resend", CheckLink::rmlx, true, sends_syn | sends_v | sends_nak,
     "A NAK of a reply makes the device send the same REP again within 1000 ms.",
     "the REP again, the same data"},
    {"rmlx.status.query", CheckLink::rmlx, false, sends_syn | sends_status | sends_nak,
     "The status query \"?\" is answered with a REP with the status layout.",
     "a REP with the layout"},
    // TCP.
    {"tcp.reply", CheckLink::tcp, false, sends_v, "A request is answered within 5000 ms.",
     "bytes in time"},
    {"tcp.reply.quiet", CheckLink::tcp, false, sends_v,
     "Nothing comes after the reply: no byte in the 300 ms after its last piece.",
     "silence after the reply"},
    {"tcp.reply.status", CheckLink::tcp, false, sends_v,
     "The reply text begins with three status bytes in hexadecimal, \"HH/HH/HH\", and a \"/\" "
     "before any data.",
     "the layout holds"},
    {"tcp.reply.size", CheckLink::tcp, false, sends_v,
     "The reply fits the console's receive frame: at most 500 bytes.", "500 bytes or fewer"},
    {"tcp.status.query", CheckLink::tcp, false, sends_status,
     "The status query \"?\" is answered within 5000 ms with the status layout.",
     "a reply with the layout"},
    // Plain UDP.
    {"udp.enq", CheckLink::udp, false, sends_enq,
     "An ENQ datagram is answered within 400 ms with the one byte ACK (0x06).", "ACK, in time"},
    {"udp.reply", CheckLink::udp, false, sends_enq | sends_v | sends_ack,
     "A text datagram after ENQ/ACK is answered within 5000 ms with a text datagram: STX, "
     "text, \"/\", the right two checksum digits, ETX.",
     "a text the console accepts, in time"},
    {"udp.datagrams", CheckLink::udp, false, sends_enq | sends_v | sends_ack,
     "Every datagram that comes back is from the device and is ACK, NAK, 0x10 or a whole text "
     "datagram.",
     "no stray datagram"},
    {"udp.reply.status", CheckLink::udp, false, sends_enq | sends_v | sends_ack,
     "The reply text begins with three status bytes in hexadecimal, \"HH/HH/HH\", and a \"/\" "
     "before any data.",
     "the layout holds"},
    {"udp.badsum", CheckLink::udp, false, sends_enq | sends_spoiled,
     "A text datagram with wrong checksum digits is answered with NAK (0x16) and nothing else.",
     "NAK, then 300 ms of silence"},
    {"udp.nak.resend", CheckLink::udp, false, sends_enq | sends_v | sends_nak | sends_ack,
     "A NAK (0x16) of a good reply makes the device send the same text datagram again.",
     "the same datagram again"},
    {"udp.resync", CheckLink::udp, false, sends_enq | sends_v | sends_ack,
     "A text sent without its own ENQ/ACK after an accepted reply is answered with the "
     "resynchronise byte 0x10.",
     "0x10, not a reply"},
    {"udp.status.query", CheckLink::udp, false, sends_enq | sends_status | sends_ack,
     "The status query \"?\" is answered with a text datagram with the status layout.",
     "a reply with the layout"},
};
inline constexpr size_t check_count = sizeof check_catalogue / sizeof check_catalogue[0];

// The one-word name of a link ("serial") and the names of what sends holds,
// "ENQ, CAN, \"v\"", into out (always terminated).
const char* check_link_name(CheckLink link);
void check_sends_text(uint16_t sends, char* out, size_t cap);

// The requests a check may send: "v", "?", and frames of the protocol.
// A check that sent anything else could change the device's fiscal state.
inline constexpr std::string_view check_requests[] = {"v", "?"};
