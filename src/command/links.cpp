#include "app/connect.h"
#include "app/state.h"
#include "command/command.h"
#include "net/rmlx.h"
#include "net/tcp.h"
#include "net/udp.h"
#include "serial/serial_transaction.h"

int link_transaction(const char* request) {
    switch (connection_kind) {
    case kind_rmlx:
        return rmlx_request(connection_link, request, reply_buffer, sizeof reply_buffer);
    case kind_tcp:
        return tcp_request(connection_link, request, reply_buffer, sizeof reply_buffer);
    case kind_udp:
        return udp_request(connection_link, request, reply_buffer, sizeof reply_buffer);
    default:
        return serial_transaction(request, reply_buffer, sizeof reply_buffer, details);
    }
}
