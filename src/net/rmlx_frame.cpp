#include "net/rmlx_frame.h"

const char* opcode_name(uint8_t opcode) {
    struct Name {
        uint8_t opcode;
        const char* name;
    };
    static constexpr Name names[] = {
        {op_qry, "QRY"}, {op_act, "ACT"}, {op_rst, "RST"}, {op_syn, "SYN"},
        {op_ack, "ACK"}, {op_nak, "NAK"}, {op_req, "REQ"}, {op_rep, "REP"},
    };
    for (const Name& n : names)
        if (n.opcode == opcode) return n.name;
    return "???";
}

void seal_frame(RmlxFrame* frame) {
    size_t len = frame->header.length < frame_data_size ? frame->header.length : frame_data_size;
    frame->header.data_sum = rmlx_checksum(frame->data, len);
    frame->header.header_sum = rmlx_checksum(reinterpret_cast<const uint8_t*>(&frame->header), 10);
}

bool data_checksum_ok(const RmlxFrame& frame) {
    size_t len = frame.header.length;
    if (len == 0) return true;
    if (len > frame_data_size) return false;
    return rmlx_checksum(frame.data, len) == frame.header.data_sum;
}
