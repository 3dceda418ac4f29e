// What Connect and the connection kind list do alike for every network kind.
#pragma once

#include "net/net_link.h"

#include <cstddef>
#include <cstdint>

// The device address in the address box (the selected item, else the text
// typed in). An empty or unreadable text, 0.0.0.0 and 255.255.255.255 are
// refused with an error box that names the text: the link would go to the
// broadcast address, to every device at once.
bool read_device_address(uint32_t& address);

// Connect's part for a network kind, after the address was read: logs "init
// connection with %s", zeroes connection_link and opens the link to the
// address with open. False after the error box "Net device connection error".
using OpenLink = Result (*)(NetLink& link, uint32_t address);
bool open_connection_link(OpenLink open, uint32_t address);

// A network link's Connect, as its row of the link table takes it, from its
// open on a link record.
template <OpenLink open> bool connect_link() {
    uint32_t address;
    return read_device_address(address) && open_connection_link(open, address);
}

// The Querying state, in which a network kind's selection runs, and the
// Disconnected state that ends it, with the first address selected or none.
void begin_network_selection();
void end_network_selection(bool select_first);
