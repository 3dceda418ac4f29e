// The RMLX link: request/reply frames over UDP with device discovery. Every
// operation returns result_ok, net_socket_failure or net_protocol_failure and
// logs its reason before it fails. Requests read `details` to decide whether
// they trace their frames.
#pragma once

#include "net/net_link.h"

#include <cstddef>
#include <cstdint>

inline constexpr uint16_t rmlx_port = 24222;
inline constexpr uint32_t discovered_max = 100; // addresses the caller keeps

int rmlx_init();
void rmlx_close();
int rmlx_open(NetLink& link, uint32_t address, uint8_t query);
int rmlx_query(NetLink& link);
// Broadcasts QRY for eight passes of 500 ms and lists each answering address
// once, in the order of their first answer, at most capacity of them.
int rmlx_discover(uint32_t* list, uint32_t capacity, uint32_t* count);
// On success reply holds the REP data, terminated (cut to reply_size - 1).
int rmlx_request(NetLink& link, const char* request, char* reply, size_t reply_size);
int rmlx_sync(NetLink& link);
// Sends the transmit frame with length data bytes (at most 500).
int rmlx_send_frame(NetLink& link, uint8_t opcode, uint8_t reserved, uint16_t fsn, uint16_t length);
// Accepts at most one frame into the receive frame; never blocks.
int rmlx_receive_frame(NetLink& link, bool* received);
// Restarts the pseudo-random fsn sequence (tests make it repeatable).
void rmlx_seed_random(uint32_t seed);

// Connect's part: rmlx_init, then the device chosen, queried at once.
bool rmlx_connect();
// What choosing the kind in the connection kind list does, the network query:
// the devices that answer a discovery fill the address list.
void rmlx_kind_chosen();
