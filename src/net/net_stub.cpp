// Stubs until issue #4 (network links) fills them.
#include "net/net_links.h"

void rmlx_close() {}
void tcp_close() {}
void udp_close() {}
