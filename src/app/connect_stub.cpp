// Stubs until issue #6 (command layer, connecting, typed commands) fills them.
#include "app/handlers.h"

void connect_or_disconnect() {}
void network_query() {}
void tcp_selection() {}
void udp_selection() {}
