#include "net/tcp_link.h"

#include "base/log.h"
#include "net/net_connect.h"
#include "net/tcp.h"

bool tcp_connect() {
    return connect_link<tcp_open>();
}

Result tcp_link_transaction(const char* request, char* reply, size_t reply_size, bool /*details*/) {
    return tcp_request(connection_link, request, reply, reply_size);
}

void tcp_kind_chosen() {
    begin_network_selection();
    log_printf("Init TCP OK:");
    end_network_selection(false);
}
