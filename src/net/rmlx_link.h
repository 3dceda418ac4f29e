// The RMLX link as one kind of link: its row of the link table.
#pragma once

#include "base/results.h"

#include <cstddef>

// Connect: rmlx_init, then the device chosen, queried at once.
bool rmlx_connect();
// The link transaction on the connection's record. Its traces follow the
// Details flag that link_transaction handed to set_net_details.
Result rmlx_link_transaction(const char* request, char* reply, size_t reply_size, bool details);
// What choosing the kind in the connection kind list does, the network query:
// the devices that answer a discovery fill the address list.
void rmlx_kind_chosen();
