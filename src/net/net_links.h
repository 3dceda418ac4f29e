// The three network links.
#pragma once

void rmlx_close();
void tcp_close();
void udp_close();
