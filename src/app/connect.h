// The connection's network link record, zeroed before every network connect.
#pragma once

#include "net/net_link.h"

extern NetLink connection_link;
