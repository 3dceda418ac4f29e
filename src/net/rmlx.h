// The RMLX link: request/reply frames over UDP with device discovery. Every
// operation returns result_ok, net_socket_failure or net_protocol_failure and
// logs its reason before it fails. The frames are traced while the Details
// flag of the last request is set (set_net_details, net/net_trace.h).
#pragma once

#include "net/net_link.h"

#include <cstddef>
#include <cstdint>

inline constexpr uint16_t rmlx_port = 24222;
inline constexpr uint32_t discovered_max = 100; // addresses the caller keeps

Result rmlx_init();
void rmlx_close();
// Whether rmlx_open asks the device for its presence before it counts as
// open: Connect does.
enum class RmlxOpening { no_query, query_first };
Result rmlx_open(NetLink& link, uint32_t address, RmlxOpening opening);
// Broadcasts QRY for eight passes of 500 ms and lists each answering address
// once, in the order of their first answer, at most capacity of them.
Result rmlx_discover(uint32_t* list, uint32_t capacity, uint32_t* count);
// On success reply holds the REP data, terminated (cut to reply_size - 1).
Result rmlx_request(NetLink& link, const char* request, char* reply, size_t reply_size);
// Sends the transmit frame with length data bytes (at most 500).
Result rmlx_send_frame(NetLink& link, uint8_t opcode, uint8_t reserved, uint16_t fsn,
                       uint16_t length);
// Whether the last failure was a failed look for pending input ("RMLX: ioctl
// failed"), which the operator is shown in a box as well; asking clears it.
bool rmlx_take_input_check_failure();
// Restarts the pseudo-random fsn sequence (tests make it repeatable).
void rmlx_seed_random(uint32_t seed);
