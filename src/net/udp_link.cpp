#include "net/udp_link.h"

#include "base/log.h"
#include "net/net_connect.h"
#include "net/udp.h"

bool udp_connect() {
    return connect_link<udp_open>();
}

Result udp_link_transaction(const char* request, char* reply, size_t reply_size, bool /*details*/) {
    return udp_request(connection_link, request, reply, reply_size);
}

void udp_kind_chosen() {
    begin_network_selection();
    log_printf("Init UDP OK:");
    end_network_selection(false);
}
