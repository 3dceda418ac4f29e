#include "command/links.h"

#include "base/state.h"
#include "command/command.h"
#include "net/net_trace.h"
#include "net/rmlx.h"
#include "net/rmlx_link.h"
#include "net/tcp.h"
#include "net/tcp_link.h"
#include "net/udp.h"
#include "net/udp_link.h"
#include "serial/serial_link.h"

namespace {

// A BASE64 request of a whole RMLX block (602 characters) would not fit the
// frame, so such a block goes in pieces of this many bytes: a multiple of 3,
// so that padding still comes only at the end of the file.
constexpr size_t rmlx_base64_block = (frame_data_size - 2) / 4 * 3;
constexpr size_t rmlx_sign_block = 450;
static_assert(rmlx_base64_block % 3 == 0);
static_assert(2 + rmlx_base64_block / 3 * 4 <= frame_data_size);
static_assert(2 + rmlx_sign_block <= frame_data_size);

} // namespace

constexpr std::array<LinkKind, 4> link_kinds{{
    {"COM", kind_first_com, kind_last_com, false, serial_connect, serial_link_transaction,
     serial_link_close, refill_baud_list, sign_block_max, sign_block_max},
    {"Network", kind_rmlx, kind_rmlx, true, rmlx_connect, rmlx_link_transaction, rmlx_close,
     rmlx_kind_chosen, rmlx_sign_block, rmlx_base64_block},
    {"TCP", kind_tcp, kind_tcp, true, tcp_connect, tcp_link_transaction, tcp_close, tcp_kind_chosen,
     sign_block_max, sign_block_max},
    {"UDP", kind_udp, kind_udp, true, udp_connect, udp_link_transaction, udp_close, udp_kind_chosen,
     sign_block_max, sign_block_max},
}};

static_assert([] {
    int32_t next = 1;
    for (const LinkKind& link : link_kinds) {
        if (link.first != next || link.last < link.first) return false;
        if (link.sign_block > sign_block_max || link.sign_base64_block > link.sign_block)
            return false;
        next = link.last + 1;
    }
    return true;
}());

const LinkKind& link_of(int32_t kind) {
    for (const LinkKind& link : link_kinds)
        if (kind >= link.first && kind <= link.last) return link;
    return link_kinds[0];
}

Result link_transaction(const char* request, bool details) {
    // The network traces keep the flag of the last request, whichever its
    // link: Connect's query and the discovery trace as that request did.
    set_net_details(details);
    return link_of(connection_kind)
        .transaction(request, reply_buffer, sizeof reply_buffer, details);
}
