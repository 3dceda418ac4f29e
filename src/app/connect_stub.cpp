// Stubs until issue #6 (command layer, connecting, typed commands) fills them.
#include "app/handlers.h"

void connect_or_disconnect() {}
void network_query() {}
void tcp_selection() {}
void udp_selection() {}
void send_command() {}
void refresh_status() {}
void pick_sign_file() {}
void pick_batch_file() {}
