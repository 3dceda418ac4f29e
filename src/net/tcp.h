// The TCP link: a connection carrying bare text. Every operation returns
// result_ok, net_socket_failure or net_protocol_failure and logs its reason
// before it fails.
#pragma once

#include "net/net_link.h"

#include <cstddef>
#include <cstdint>

inline constexpr uint16_t tcp_port = 9101;

void tcp_close();
Result tcp_open(NetLink& link, uint32_t address);
// On success reply holds the reply text, terminated (cut to reply_size - 1).
Result tcp_request(NetLink& link, const char* request, char* reply, size_t reply_size);
