// The TCP link: a connection carrying bare text. Every operation returns
// result_ok, net_socket_failure or net_protocol_failure and logs its reason
// before it fails.
#pragma once

#include "net/net_link.h"

#include <cstddef>
#include <cstdint>

inline constexpr uint16_t tcp_port = 9101;

int tcp_init(uint32_t address);
void tcp_close();
int tcp_open(NetLink& link, uint32_t address);
// On success reply holds the reply text, terminated (cut to reply_size - 1).
int tcp_request(NetLink& link, const char* request, char* reply, size_t reply_size);
int tcp_send(const char* data, size_t length);
// Reads what is pending, at most received_text_max bytes, into the link's
// received text.
int tcp_receive(NetLink& link, bool* received);

// What choosing the kind in the connection kind list does: an empty address
// list for the operator to type the address into.
void tcp_kind_chosen();
