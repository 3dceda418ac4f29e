// The TCP link as one kind of link: its row of the link table.
#pragma once

#include "base/results.h"

#include <cstddef>

// Connect: the device chosen in the address box.
bool tcp_connect();
// The link transaction on the connection's record. Its traces follow the
// Details flag that link_transaction handed to set_net_details.
Result tcp_link_transaction(const char* request, char* reply, size_t reply_size, bool details);
// What choosing the kind in the connection kind list does: an empty address
// list for the operator to type the address into.
void tcp_kind_chosen();
